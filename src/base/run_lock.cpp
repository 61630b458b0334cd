#include "base/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "base/cp1250.h"
#include "base/error.h"
#include "base/messages.h"

namespace orvenda {
namespace {

bool SameFile(int fd, const std::filesystem::path& file) {
  struct stat held {
  }, named{};
  return ::fstat(fd, &held) == 0 && ::stat(file.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

RunLock::RunLock(RunLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

RunLock& RunLock::operator=(RunLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void RunLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

RunLock RunLock::Create(const std::filesystem::path& file) {
  std::string pattern = file.string() + ".XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    throw Error(Msg(106, {Utf8ToCp1250(file.string()), std::strerror(errno)}));
  }
  RunLock lock(fd);
  const std::string pid = std::to_string(::getpid()) + "\n";
  const bool ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                  ::write(fd, pid.data(), pid.size()) == static_cast<ssize_t>(pid.size()) &&
                  ::rename(pattern.c_str(), file.c_str()) == 0;
  if (!ok) {
    const int error = errno;
    ::unlink(pattern.c_str());
    throw Error(Msg(106, {Utf8ToCp1250(file.string()), std::strerror(error)}));
  }
  return lock;
}

RunLock RunLock::TakeFree(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return RunLock();
  RunLock lock(fd);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !SameFile(fd, file)) return RunLock();
  return lock;
}

}  // namespace orvenda
