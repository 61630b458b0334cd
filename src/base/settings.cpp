#include "base/settings.h"

#include <system_error>

namespace orvenda {
namespace {

bool ReadFlag(const SettingsStore& store, const char* name) {
  const auto value = store.ReadInteger(kSetUpKey, name);
  return !value || *value != 0;
}

}  // namespace

Settings LoadSettings(SettingsStore& store) {
  if (!store.KeyExists(kSetUpKey)) store.CreateKey(kSetUpKey);
  Settings settings;
  settings.AskDelete = ReadFlag(store, "AskDelete");
  settings.AskExit = ReadFlag(store, "AskExit");
  settings.CountAverage = ReadFlag(store, "CountAverage");
  return settings;
}

void SaveSettings(SettingsStore& store, const Settings& settings) {
  if (!store.KeyExists(kSetUpKey)) store.CreateKey(kSetUpKey);
  store.WriteInteger(kSetUpKey, "AskDelete", settings.AskDelete ? 1 : 0);
  store.WriteInteger(kSetUpKey, "AskExit", settings.AskExit ? 1 : 0);
  store.WriteInteger(kSetUpKey, "CountAverage", settings.CountAverage ? 1 : 0);
}

std::filesystem::path DefaultAdminMarkerPath() {
#ifdef _WIN32
  return "C:\\Admin.set";
#else
  return "/Admin.set";
#endif
}

bool IsAdministratorMode(const std::filesystem::path& marker) {
  if (marker.empty()) return false;
  std::error_code ec;
  return std::filesystem::exists(marker, ec);
}

PageSetup SavePageSetup(const SettingsStore& store) {
  PageSetup saved;
  if (!store.KeyExists(kPageSetupKey)) return saved;
  for (int i = 0; i < 6; ++i) {
    saved.values[i] = store.ReadString(kPageSetupKey, PageSetup::kNames[i]).value_or("");
  }
  return saved;
}

void RestorePageSetup(SettingsStore& store, const PageSetup& saved) {
  if (!store.KeyExists(kPageSetupKey)) return;
  for (int i = 0; i < 6; ++i) {
    store.WriteString(kPageSetupKey, PageSetup::kNames[i], saved.values[i]);
  }
}

}  // namespace orvenda
