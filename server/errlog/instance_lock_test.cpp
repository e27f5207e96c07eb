#include "server/errlog/instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kt::errlog {
namespace {

class InstanceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("errlog_lock_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstReleases) {
  auto first = InstanceLock::Acquire(dir_);
  ASSERT_TRUE(first.ok()) << first.status().ToString();
  std::string line;
  std::getline(std::ifstream(dir_ / kLockFileName), line);
  EXPECT_FALSE(line.empty());

  auto second = InstanceLock::Acquire(dir_, std::chrono::milliseconds(120));
  ASSERT_FALSE(second.ok());
  EXPECT_TRUE(second.status().IsUnavailable()) << second.status().ToString();

  first->Release();
  auto third = InstanceLock::Acquire(dir_);
  EXPECT_TRUE(third.ok()) << third.status().ToString();
}

TEST_F(InstanceLockTest, LockOfAKilledHolderDoesNotBlock) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto lock = InstanceLock::Acquire(dir_);
    char c = lock.ok() ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    ::pause();
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  EXPECT_FALSE(InstanceLock::Acquire(dir_).ok());
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(InstanceLock::Acquire(dir_).ok());  // the file is still there; its lock is gone
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST_F(InstanceLockTest, MissingFolderIsAnIoError) {
  auto lock = InstanceLock::Acquire(dir_ / "nowhere");
  ASSERT_FALSE(lock.ok());
  EXPECT_TRUE(lock.status().IsIOError()) << lock.status().ToString();
}

}  // namespace
}  // namespace kt::errlog
