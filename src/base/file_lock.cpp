#include "base/file_lock.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <thread>
#include <utility>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"

namespace orvenda {
namespace fs = std::filesystem;
namespace {

bool SameFile(int fd, const fs::path& file) {
  struct stat held {
  }, named{};
  return ::fstat(fd, &held) == 0 && ::stat(file.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

std::string UserName() {
  if (const passwd* entry = ::getpwuid(::getuid())) return entry->pw_name;
  return std::to_string(::getuid());
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "?";
  return name;
}

LockHolder ReadHolder(const fs::path& lockFile) {
  LockHolder holder;
  const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return holder;
  char buffer[600] = {};
  const ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (got <= 0) return holder;
  std::istringstream in(std::string(buffer, got));
  in >> holder.pid >> holder.user >> holder.host;
  return holder;
}

}  // namespace

std::string LockHolderText(const LockHolder& holder) {
  if (holder.pid == 0) return Msg(107);
  return Msg(108,
             {Utf8ToCp1250(holder.user), Utf8ToCp1250(holder.host), std::to_string(holder.pid)});
}

FileLock::FileLock(FileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      held_(std::exchange(other.held_, false)),
      file_(std::move(other.file_)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    held_ = std::exchange(other.held_, false);
    file_ = std::move(other.file_);
  }
  return *this;
}

fs::path FileLock::LockFileOf(const fs::path& file) {
  return file.parent_path() / ("." + file.filename().string() + ".lock");
}

void FileLock::Release() {
  if (fd_ >= 0) {
    // Unlinked while still locked: whoever opened the old name finds it gone and tries again.
    const fs::path lockFile = LockFileOf(file_);
    if (SameFile(fd_, lockFile)) ::unlink(lockFile.c_str());
    ::close(fd_);
  }
  fd_ = -1;
  held_ = false;
}

FileLock FileLock::Take(const fs::path& file, std::chrono::milliseconds wait, LockHolder* holder) {
  const fs::path lockFile = LockFileOf(file);
  const auto deadline = std::chrono::steady_clock::now() + wait;
  FileLock lock;
  lock.file_ = file;
  for (;;) {
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      if (errno == EACCES || errno == EROFS || errno == EPERM) {
        lock.held_ = true;  // a folder nobody may write into needs no lock
        return lock;
      }
      throw Error(Msg(106, {Utf8ToCp1250(lockFile.string()), std::strerror(errno)}));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      if (!SameFile(fd, lockFile)) {  // released and removed meanwhile: take the new one
        ::close(fd);
        continue;
      }
      const std::string who =
          std::to_string(::getpid()) + " " + UserName() + " " + HostName() + "\n";
      if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, who.data(), who.size(), 0) < 0) {
        // The lock holds without the note; only the waiter's message is poorer.
      }
      lock.fd_ = fd;
      lock.held_ = true;
      return lock;
    }
    ::close(fd);
    if (std::chrono::steady_clock::now() >= deadline) {
      if (holder != nullptr) *holder = ReadHolder(lockFile);
      return lock;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

FileLock FileLock::TakeOrFail(const fs::path& file, std::chrono::milliseconds wait) {
  LockHolder holder;
  FileLock lock = Take(file, wait, &holder);
  if (!lock.Held()) {
    throw Error(Msg(109, {Utf8ToCp1250(file.string()), LockHolderText(holder)}));
  }
  return lock;
}

}  // namespace orvenda
