#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvenda {

// The per-user settings store with registry-style key paths such as
// "\Software\Tumbek\Orvenda\SetUp" (a leading backslash is optional and ignored). The Qt
// application backs it with QSettings in native format; tests with an in-memory map.
// Strings are windows-1250.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  virtual bool KeyExists(const std::string& key) const = 0;
  virtual void CreateKey(const std::string& key) = 0;
  virtual void DeleteKey(const std::string& key) = 0;  // with its values and subkeys

  virtual std::optional<int32_t> ReadInteger(const std::string& key,
                                             const std::string& name) const = 0;
  virtual void WriteInteger(const std::string& key, const std::string& name, int32_t value) = 0;
  virtual std::optional<std::string> ReadString(const std::string& key,
                                                const std::string& name) const = 0;
  virtual void WriteString(const std::string& key, const std::string& name,
                           const std::string& value) = 0;
  virtual void DeleteValue(const std::string& key, const std::string& name) = 0;
};

}  // namespace orvenda
