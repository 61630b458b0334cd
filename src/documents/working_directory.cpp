#include "documents/working_directory.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "base/cp1250.h"
#include "base/error.h"

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
    if (std::filesystem::create_directory(dir, ec) && !ec) {
      // The temporary directory may be shared with other users; the project is the user's own.
      std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace, ec);
      return dir;
    }
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

WorkingDirectoryMark WorkingDirectoryMark::Mark(const std::filesystem::path& dir) {
  return Adopt(dir, RunLock::Create(dir / kRunLockName));
}

WorkingDirectoryMark WorkingDirectoryMark::Adopt(const std::filesystem::path& dir, RunLock lock) {
  WorkingDirectoryMark mark;
  mark.dir_ = dir;
  mark.lock_ = std::move(lock);
  return mark;
}

void WorkingDirectoryMark::SetProjectFile(const std::filesystem::path& file) const {
  if (dir_.empty()) return;
  const auto target = dir_ / kProjectNameFile;
  auto temporary = target;
  temporary += ".new";
  std::error_code ec;
  // The next start may run in another directory than the one a relative name was given in.
  const auto absolute = file.empty() ? file : std::filesystem::absolute(file, ec);
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << (ec ? file : absolute).string();
    out.close();
    if (!out) throw Error(W("Nelze zapsat soubor ") + PathToText(temporary));
  }
  std::filesystem::rename(temporary, target, ec);
  if (ec) throw Error(W("Nelze zapsat soubor ") + PathToText(target) + ": " + ec.message());
}

void WorkingDirectoryMark::Release() {
  lock_.Release();
  dir_.clear();
}

std::optional<std::filesystem::path> ReadProjectFileName(const std::filesystem::path& dir) {
  std::ifstream in(dir / kProjectNameFile, std::ios::binary);
  if (!in) return std::nullopt;
  std::string name{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return std::filesystem::path(name);
}

}  // namespace orvenda
