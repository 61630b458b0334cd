#include "documents/recent_files.h"

#include <algorithm>

#include "base/cp1250.h"

namespace orvenda {
namespace {

bool SameName(const std::filesystem::path& a, const std::filesystem::path& b) {
  return Cp1250Upper(PathToText(a)) == Cp1250Upper(PathToText(b));
}

std::string ValueName(const char* prefix, int i) { return prefix + std::to_string(i); }

}  // namespace

void MRUManager::Add(const std::filesystem::path& file) {
  if (file.empty()) return;
  auto found = std::find_if(items_.begin(), items_.end(),
                            [&](const auto& item) { return SameName(item, file); });
  if (found != items_.end()) items_.erase(found);
  items_.insert(items_.begin(), file);
  if (items_.size() > static_cast<size_t>(kMaxItems)) items_.resize(kMaxItems);
  Changed();
}

void MRUManager::Clear() {
  items_.clear();
  Changed();
}

void MRUManager::Load(const SettingsStore& store) {
  if (!store.KeyExists(kKey)) return;
  for (int i = kMaxItems - 1; i >= 0; --i) {
    const auto value = store.ReadString(kKey, ValueName("Item_", i));
    if (value && !value->empty()) Add(TextToPath(*value));
  }
  Changed();
}

void MRUManager::Save(SettingsStore& store) const {
  store.DeleteKey(kKey);
  store.CreateKey(kKey);
  int n = 0;
  for (const auto& item : items_) {
    const std::string text = PathToText(item);
    // A name windows-1250 cannot hold would come back as some other name.
    if (TextToPath(text) != item) continue;
    store.WriteString(kKey, ValueName("Item_", n), text);
    store.DeleteValue(kKey, ValueName("User_", n));
    ++n;
  }
}

void MRUManager::Changed() {
  if (OnChange) OnChange();
}

}  // namespace orvenda
