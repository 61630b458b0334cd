#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "base/run_lock.h"

namespace orvenda {

// Makes a new, empty directory with a unique name "<prefix>XXXXXXXX.TMP" in `tempDir` and
// returns its name without a trailing separator. Fails with orvenda::Error when no directory
// can be made there.
std::filesystem::path MakeWorkingDirectory(const std::filesystem::path& tempDir,
                                           const std::string& prefix = "RZK");

// Removes a working directory with everything in it; errors are ignored, since this runs on
// the way out and on error paths.
void RemoveWorkingDirectory(const std::filesystem::path& dir);

// Beside the lock file, a project working directory names the project file its table belongs
// to (empty text for a new project). A marked directory without it holds no project.
inline constexpr const char* kProjectNameFile = "Orvenda.project";

// This run's mark on one of its working directories: the lock that tells later runs that the
// directory is in use, and for the project working directory the project file's name, so that
// the work can be offered back after a crash. Library working directories only take the lock.
class WorkingDirectoryMark {
 public:
  WorkingDirectoryMark() = default;
  // Locks `dir` as this run's. Fails with orvenda::Error.
  static WorkingDirectoryMark Mark(const std::filesystem::path& dir);
  // Takes over a directory whose lock is already held (an earlier run's, found dead).
  static WorkingDirectoryMark Adopt(const std::filesystem::path& dir, RunLock lock);

  // Names the project file of the directory's table (empty: a new project), replacing the name
  // as a whole, so that a crash leaves either the old name or the new one.
  void SetProjectFile(const std::filesystem::path& file) const;

  const std::filesystem::path& Dir() const { return dir_; }
  bool Held() const { return lock_.Held(); }
  void Release();

 private:
  std::filesystem::path dir_;
  RunLock lock_;
};

// The project file named in a marked directory; nullopt when it names none (no project).
std::optional<std::filesystem::path> ReadProjectFileName(const std::filesystem::path& dir);

}  // namespace orvenda
