#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "base/dialogs.h"
#include "base/error.h"
#include "base/settings_store.h"

namespace orvenda {

// Without a window nobody answers: a warning or question ends the batch command with its text.
class BatchDialogs : public Dialogs {
 public:
  bool AskYesNo(const std::string& text, const std::string&) override { throw Error(text); }
  void Warning(const std::string& text) override { throw Error(text); }
  void ShowError(const std::string& text) override { throw Error(text); }
  void Information(const std::string&, const std::string&) override {}
  std::optional<std::filesystem::path> OpenFile(const std::string&,
                                                const std::filesystem::path&) override {
    return std::nullopt;
  }
  std::optional<std::filesystem::path> SaveFile(const std::string&,
                                                const std::filesystem::path&) override {
    return std::nullopt;
  }
};

// A batch command reads no settings and leaves the user's alone.
class EmptySettingsStore : public SettingsStore {
 public:
  bool KeyExists(const std::string&) const override { return false; }
  void CreateKey(const std::string&) override {}
  void DeleteKey(const std::string&) override {}
  std::optional<int32_t> ReadInteger(const std::string&, const std::string&) const override {
    return std::nullopt;
  }
  void WriteInteger(const std::string&, const std::string&, int32_t) override {}
  std::optional<std::string> ReadString(const std::string&, const std::string&) const override {
    return std::nullopt;
  }
  void WriteString(const std::string&, const std::string&, const std::string&) override {}
  void DeleteValue(const std::string&, const std::string&) override {}
};

}  // namespace orvenda
