#pragma once

#include <filesystem>

namespace orvenda {

// The lock file that marks a directory as belonging to a running instance of the program.
inline constexpr const char* kRunLockName = "Orvenda.lock";

// A file locked (flock, exclusive) by this process for as long as the object lives. The system
// drops the lock when the process ends in any way, a crash or a kill included, so a lock that can
// be taken tells that its owner is gone.
class RunLock {
 public:
  RunLock() = default;
  ~RunLock() { Release(); }
  RunLock(RunLock&& other) noexcept;
  RunLock& operator=(RunLock&& other) noexcept;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Creates `file` already locked: it is locked under a temporary name and renamed into place,
  // so that no other run can ever find it unlocked while we live. Fails with orvenda::Error.
  static RunLock Create(const std::filesystem::path& file);
  // Locks an existing file when nobody holds it, and only while the name still names the file
  // that was locked (a remover may have replaced it meanwhile). Not held otherwise.
  static RunLock TakeFree(const std::filesystem::path& file);

  bool Held() const { return fd_ >= 0; }
  void Release();

 private:
  explicit RunLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace orvenda
