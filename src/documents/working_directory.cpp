#include "documents/working_directory.h"

#include <cstdio>
#include <random>
#include <system_error>

#include "base/error.h"
#include "documents/recent_files.h"

namespace orvenda {

std::filesystem::path MakeWorkingDirectory(const std::filesystem::path& tempDir,
                                           const std::string& prefix) {
  static std::mt19937 random{std::random_device{}()};
  std::error_code ec;
  // create_directory is atomic: of two runs picking the same name only one gets it.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char unique[16];
    std::snprintf(unique, sizeof unique, "%08X", static_cast<unsigned>(random()));
    const auto dir = tempDir / (prefix + unique + ".TMP");
    if (std::filesystem::exists(dir, ec)) continue;
    if (std::filesystem::create_directory(dir, ec) && !ec) return dir;
    if (ec && ec != std::errc::file_exists) break;
  }
  throw Error("Unable to create a working directory in " + PathToText(tempDir) +
              (ec ? ": " + ec.message() : ""));
}

void RemoveWorkingDirectory(const std::filesystem::path& dir) {
  if (dir.empty() || dir == dir.root_path()) return;
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace orvenda
