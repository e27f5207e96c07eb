// Process tests: the probe program fails for real and the handler reports and restarts it.
#include "server/errlog/crash_handler.h"

#include <gtest/gtest.h>

#include "common/testing/files.h"
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/version.h"
#include "server/errlog/instance_lock.h"
#include "server/errlog/restart_guard.h"

extern char** environ;

namespace kt::errlog {
namespace {

using namespace std::chrono_literals;

int CountReports(const std::string& log) {
  int n = 0;
  for (std::size_t pos = 0; (pos = log.find(kReportRule, pos)) != std::string::npos; pos += 1) ++n;
  return n;
}

class CrashHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv(kRestartChainVariable);
    dir_ = std::filesystem::temp_directory_path() /
           ("errlog_crash_" + std::to_string(::getpid()) + "_" + kt::test_support::TestNameForPath());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs the probe and returns its exit status as waitpid reports it.
  int RunProbe(const std::string& mode) {
    std::vector<std::string> args = {KT_CRASH_PROBE, dir_.string(), mode};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, KT_CRASH_PROBE, nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  }

  // Waits until `done` holds or the time runs out.
  template <typename Pred>
  bool WaitFor(Pred done, std::chrono::milliseconds limit = 30s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (done()) return true;
      std::this_thread::sleep_for(50ms);
    }
    return done();
  }

  std::filesystem::path log() const { return dir_ / "ZKERROR.LOG"; }
  std::filesystem::path successor() const { return dir_ / "successor.txt"; }
  std::filesystem::path dir_;
};

struct FailureCase {
  const char* mode;
  const char* description;  // part of the Description line
  const char* first_frame;  // the function the call stack starts with
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.mode; }

class CrashHandlerFailureTest : public CrashHandlerTest,
                                public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CrashHandlerFailureTest, WorkerFailureLeavesOneReportAndASuccessor) {
  const FailureCase& c = GetParam();
  const int status = RunProbe(c.mode);
  EXPECT_TRUE(WIFEXITED(status)) << "the handler ends the process with _exit, status " << status;

  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(successor()); }))
      << "no successor started; log:\n" << kt::test_support::ReadFileBytes(log());
  EXPECT_EQ(kt::test_support::ReadFileBytes(successor()), "1\n");

  const std::string text = kt::test_support::ReadFileBytes(log());
  EXPECT_EQ(CountReports(text), 1) << text;
  EXPECT_NE(text.find("KT-Vistrand TCP Server, Build: 3, Version: " KT_VERSION_STRING "\r\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find(c.description), std::string::npos) << text;
  // The stack starts at the failing function, with file and line from the debug information.
  const std::size_t stack = text.find("Call Stack:\r\n   - ");
  ASSERT_NE(stack, std::string::npos) << text;
  const std::string first = text.substr(stack + 13, text.find("\r\n", stack + 13) - stack - 13);
  EXPECT_NE(first.find(c.first_frame), std::string::npos) << text;
  EXPECT_NE(first.find("crash_probe.cpp"), std::string::npos) << first;
  EXPECT_EQ(first.find("(Line: 0)"), std::string::npos) << first;

  // The successor has ended; the lock it released is free again.
  EXPECT_TRUE(WaitFor([&] { return InstanceLock::Acquire(dir_).ok(); }, 10s));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CrashHandlerFailureTest,
    ::testing::Values(FailureCase{"throw", "Description      : probe failure in throw mode\r\n", "ProbeSessionWork"},
                      FailureCase{"segv", "Sub System       : SIGSEGV\r\n", "WriteNowhere"},
                      // A worker thread that overflows its stack reports on its alternate stack.
                      FailureCase{"overflow", "Sub System       : SIGSEGV\r\n", "RecurseForever"}),
    [](const auto& info) { return std::string(info.param.mode); });

class CrashHandlerStormTest : public CrashHandlerTest, public ::testing::WithParamInterface<const char*> {};

// Every instance fails at once: each successor must itself report and restart (a successor that
// inherited a blocked SIGSEGV would die silently), until the guard stops the chain.
TEST_P(CrashHandlerStormTest, ReportsAccumulateAndTheChainStops) {
  RunProbe(GetParam());
  const int expected = 1 + kMaxQuickRestarts;
  EXPECT_TRUE(WaitFor([&] { return CountReports(kt::test_support::ReadFileBytes(log())) >= expected; }));
  std::this_thread::sleep_for(1500ms);
  const std::string text = kt::test_support::ReadFileBytes(log());
  EXPECT_EQ(CountReports(text), expected) << text;
  // Reports are separated by three empty lines.
  EXPECT_NE(text.find("\r\n\r\n\r\n\r\n" + std::string(kReportRule)), std::string::npos);
  EXPECT_TRUE(WaitFor([&] { return InstanceLock::Acquire(dir_).ok(); }, 10s));
}

INSTANTIATE_TEST_SUITE_P(Storms, CrashHandlerStormTest, ::testing::Values("storm-throw", "storm-segv"),
                         [](const auto& info) { return std::string(info.param).substr(6); });

// Collecting the stack hangs (a lock that never comes free): the watchdog, armed before it, still
// starts the successor and ends the process.
TEST_F(CrashHandlerTest, AHangWhileCollectingTheStackStillRestarts) {
  std::vector<std::string> args = {KT_CRASH_PROBE, dir_.string(), "hang-capture"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, KT_CRASH_PROBE, nullptr, nullptr, argv.data(), environ), 0);
  int status = 0;
  const bool ended = WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 30s);
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(ended) << "the probe hung in its crash handler";
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 70);
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(successor()); }));
  EXPECT_TRUE(WaitFor([&] { return InstanceLock::Acquire(dir_).ok(); }, 10s));
}

TEST_F(CrashHandlerTest, SecondInstanceEndsSilently) {
  std::vector<std::string> args = {KT_CRASH_PROBE, dir_.string(), "hold"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t holder = 0;
  ASSERT_EQ(::posix_spawn(&holder, KT_CRASH_PROBE, nullptr, nullptr, argv.data(), environ), 0);
  ASSERT_TRUE(WaitFor([&] { return !InstanceLock::Acquire(dir_).ok(); }, 10s));

  const int status = RunProbe("throw");
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_FALSE(std::filesystem::exists(log()));

  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
}

}  // namespace
}  // namespace kt::errlog
