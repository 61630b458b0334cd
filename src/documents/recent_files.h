#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/settings_store.h"

namespace orvenda {

// The recent-file list of the "Soubor" menu: up to ten full file names, newest first.
class MRUManager {
 public:
  static constexpr int kMaxItems = 10;
  // The list's registry key: the window's class name and the component's name under the
  // program's key, as the form's placement storage names it.
  static constexpr const char* kKey = "\\Software\\Tumbek\\Orvenda\\TMainForm.MRUManager1";

  const std::vector<std::filesystem::path>& Items() const { return items_; }

  // Puts the name at the top; a name already listed (letter case aside) moves there instead
  // of being listed twice, and the oldest name drops out beyond ten.
  void Add(const std::filesystem::path& file);
  void Clear();

  // Reads "Item_9" down to "Item_0", putting each non-empty value at the top, so that item 0
  // ends up first. Names read are added to what the list holds already.
  void Load(const SettingsStore& store);
  // Deletes the key, then writes "Item_0".. for the current names; the unused user numbers
  // "User_%d" go with the key.
  void Save(SettingsStore& store) const;

  // Called after every change so that the window rebuilds the menu items.
  std::function<void()> OnChange;

 private:
  void Changed();

  std::vector<std::filesystem::path> items_;
};

}  // namespace orvenda
