#pragma once

#include <QSettings>
#include <memory>
#include <set>

#include "base/settings_store.h"

namespace orvenda {

// The settings store on QSettings in native format (the registry on Windows, an INI file
// under ~/.config on Linux) for organisation "Tumbek", application "Orvenda". Key paths under
// "\Software\Tumbek\Orvenda" become groups of that store, so "\Software\Tumbek\Orvenda\SetUp"
// is the group "SetUp"; any other path keeps its components as nested groups.
class QtSettingsStore : public SettingsStore {
 public:
  QtSettingsStore();
  // A store in a given file (tests).
  explicit QtSettingsStore(const QString& ini_file);

  bool KeyExists(const std::string& key) const override;
  void CreateKey(const std::string& key) override;
  void DeleteKey(const std::string& key) override;
  std::optional<int32_t> ReadInteger(const std::string& key,
                                     const std::string& name) const override;
  void WriteInteger(const std::string& key, const std::string& name, int32_t value) override;
  std::optional<std::string> ReadString(const std::string& key,
                                        const std::string& name) const override;
  void WriteString(const std::string& key, const std::string& name,
                   const std::string& value) override;
  void DeleteValue(const std::string& key, const std::string& name) override;

  void Sync() { settings_->sync(); }

  // The group of the store that a registry-style key path maps to.
  static QString GroupOf(const std::string& key);

 private:
  QString Path(const std::string& key, const std::string& name) const;

  std::unique_ptr<QSettings> settings_;
  // QSettings cannot hold an empty group; keys created empty are remembered for the run.
  std::set<QString> created_;
};

}  // namespace orvenda
