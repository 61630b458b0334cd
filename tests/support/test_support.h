#pragma once

#include <filesystem>
#include <string>

#include "base/error.h"

namespace orvenda::test {

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);

// Runs `action` and returns the text of the orvenda::Error it throws ("" when none).
template <typename Action>
std::string ErrorText(Action&& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

// Runs a shell command and returns its exit status; its standard output goes to `output`.
int RunCommand(const std::string& command, std::string* output = nullptr);

}  // namespace orvenda::test
