#include "base/file_lock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "base/cp1250.h"
#include "base/error.h"
#include "support/test_support.h"

namespace orvenda {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

// A child process that holds the lock of `file` until it is killed; returns its pid once the
// lock is taken.
pid_t HoldInChild(const std::filesystem::path& file) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    FileLock lock = FileLock::Take(file);
    const char held = lock.Held() ? 'y' : 'n';
    (void)!::write(ready[1], &held, 1);
    for (;;) ::pause();
  }
  char held = 0;
  (void)!::read(ready[0], &held, 1);
  ::close(ready[0]);
  ::close(ready[1]);
  return held == 'y' ? child : -1;
}

void Kill(pid_t child) {
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

TEST(FileLock, OneHolderAtATimeNamedToTheOthersAndGoneWithItsProcess) {
  test::TempDir dir;
  const auto file = dir / "Dilna.RSK";
  const pid_t child = HoldInChild(file);
  ASSERT_GT(child, 0);

  LockHolder holder;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(FileLock::Take(file, 200ms, &holder).Held());
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms) << "it waited";
  EXPECT_EQ(holder.pid, child);
  EXPECT_FALSE(holder.user.empty());
  const std::string error = test::ErrorText([&] { FileLock::TakeOrFail(file, 0ms); });
  EXPECT_THAT(error, HasSubstr(file.string()));
  EXPECT_THAT(error, HasSubstr(W("proces ") + std::to_string(child)));

  // Another file of the folder is free; the lock goes with a killed holder.
  EXPECT_TRUE(FileLock::Take(dir / "Jiny.RSK").Held());
  Kill(child);
  FileLock taken = FileLock::Take(file);
  ASSERT_TRUE(taken.Held());
  EXPECT_TRUE(std::filesystem::exists(FileLock::LockFileOf(file)));

  // Released: the lock file goes, and the next taker does not wait.
  taken.Release();
  EXPECT_FALSE(std::filesystem::exists(FileLock::LockFileOf(file)));
  EXPECT_TRUE(FileLock::Take(file).Held());
}

TEST(FileLock, AWaiterGetsTheLockOnceTheHolderLetsGo) {
  test::TempDir dir;
  const auto file = dir / "UserLib.LIB";
  const pid_t child = HoldInChild(file);
  ASSERT_GT(child, 0);
  const pid_t killer = ::fork();
  if (killer == 0) {
    ::usleep(150000);
    ::kill(child, SIGKILL);
    ::_exit(0);
  }
  EXPECT_TRUE(FileLock::Take(file, 5s).Held());
  ::waitpid(killer, nullptr, 0);
  ::waitpid(child, nullptr, 0);
}

}  // namespace
}  // namespace orvenda
