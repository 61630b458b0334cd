#pragma once

#include <filesystem>
#include <string>

#include "base/settings_store.h"

namespace orvenda {

// Registry keys of the program (HKEY_CURRENT_USER).
inline constexpr const char* kProgramKey = "\\Software\\Tumbek\\Orvenda";
inline constexpr const char* kSetUpKey = "\\Software\\Tumbek\\Orvenda\\SetUp";
inline constexpr const char* kPageSetupKey = "Software\\Microsoft\\Internet Explorer\\PageSetup";

// The three user settings; each is on unless the store says otherwise.
struct Settings {
  bool AskDelete = true;
  bool AskExit = true;
  bool CountAverage = true;

  bool operator==(const Settings&) const = default;
};

// Reads the settings, creating the key when it is missing. A missing value reads as true,
// any non-zero number as true.
Settings LoadSettings(SettingsStore& store);
// Writes all three values as 1 or 0, creating the key when it is missing.
void SaveSettings(SettingsStore& store, const Settings& settings);

// Administrator mode is on while the marker file exists; its contents are not read.
std::filesystem::path DefaultAdminMarkerPath();
bool IsAdministratorMode(const std::filesystem::path& marker);

// The browser's page-setup values, kept for the length of a run so that the preview's
// changes do not outlive it.
struct PageSetup {
  static constexpr const char* kNames[6] = {"header",      "footer",        "margin_top",
                                            "margin_left", "margin_bottom", "margin_right"};
  std::string values[6];  // in the order of kNames; empty until read

  bool operator==(const PageSetup&) const = default;
};

// Reads the six values when the page-setup key exists (a missing value reads as empty);
// otherwise everything stays empty. The key is never created.
PageSetup SavePageSetup(const SettingsStore& store);
// Writes the six values back under the same names, only when the key exists.
void RestorePageSetup(SettingsStore& store, const PageSetup& saved);

}  // namespace orvenda
