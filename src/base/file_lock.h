#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace orvenda {

// Who holds a FileLock: written into the lock file by the holder, read by whoever waits.
struct LockHolder {
  std::string user, host;
  long pid = 0;
};

// "uživatel jana na počítači dilna (proces 4711)", windows-1250.
std::string LockHolderText(const LockHolder& holder);

// An exclusive lock on a file of the user's (a project, a library archive) for as long as the
// object lives, so that two runs never write the same file over each other. It is an flock on
// a hidden lock file beside the file (".NAME.lock"), which the system drops when the process
// ends in any way; the lock file goes when the lock is released.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  static std::filesystem::path LockFileOf(const std::filesystem::path& file);

  // Takes the lock of `file`, waiting up to `wait` for another holder to let it go. Not held
  // when another run keeps it; then `holder` (if given) says who. A folder where no lock file
  // can be made (read-only) gives a held lock without a file: nobody can write there anyway.
  // Other failures throw orvenda::Error.
  static FileLock Take(const std::filesystem::path& file,
                       std::chrono::milliseconds wait = std::chrono::milliseconds(0),
                       LockHolder* holder = nullptr);
  // Takes it or throws orvenda::Error naming the file and its holder.
  static FileLock TakeOrFail(const std::filesystem::path& file, std::chrono::milliseconds wait);

  bool Held() const { return held_; }
  const std::filesystem::path& File() const { return file_; }
  void Release();

 private:
  int fd_ = -1;
  bool held_ = false;
  std::filesystem::path file_;  // the file locked, not the lock file
};

}  // namespace orvenda
