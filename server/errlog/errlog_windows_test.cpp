// Windows process tests of the instance lock and the crash handler: the probe program fails for
// real (C++ exception, access violation, stack overflow) and the handler reports and restarts it.
// The Linux counterparts are instance_lock_test.cpp and crash_handler_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/testing/files.h"
#include "common/version.h"
#include "server/errlog/crash_handler.h"
#include "server/errlog/instance_lock.h"
#include "server/errlog/restart_guard.h"

namespace kt::errlog {
namespace {

using namespace std::chrono_literals;
using test_support::ReadFileBytes;

// The probe is built beside this test program.
std::filesystem::path ProbePath() {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(std::wstring(self, n)).parent_path() / "errlog_crash_probe.exe";
}

// A started probe; terminated if still running when destroyed.
class Probe {
 public:
  Probe(const std::filesystem::path& dir, const char* mode) {
    std::wstring line = L"\"" + ProbePath().wstring() + L"\" \"" + dir.wstring() + L"\" " +
                        std::filesystem::path(mode).wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      CloseHandle(info.hThread);
      process_ = info.hProcess;
    }
  }
  ~Probe() {
    if (process_ == nullptr) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, INFINITE);
    }
    CloseHandle(process_);
  }
  bool started() const { return process_ != nullptr; }
  // The exit code, or -1 when it is still running after `limit`.
  long Wait(std::chrono::milliseconds limit = 60s) {
    if (WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<long>(code);
  }
  void Kill() {
    TerminateProcess(process_, 9);
    WaitForSingleObject(process_, INFINITE);
  }

 private:
  HANDLE process_ = nullptr;
};

// Wine's ntdll exports its version; Windows' does not.
bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int CountReports(const std::string& log) {
  int n = 0;
  for (std::size_t pos = 0; (pos = log.find(kReportRule, pos)) != std::string::npos; pos += 1) ++n;
  return n;
}

class ErrlogWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetEnvironmentVariableA(kRestartChainVariable, nullptr); }

  template <typename Pred>
  bool WaitFor(Pred done, std::chrono::milliseconds limit = 60s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (done()) return true;
      std::this_thread::sleep_for(50ms);
    }
    return done();
  }

  const std::filesystem::path& dir() const { return scratch_.path(); }
  std::filesystem::path log() const { return dir() / "ZKERROR.LOG"; }
  std::filesystem::path successor() const { return dir() / "successor.txt"; }

 private:
  test_support::ScratchFolder scratch_{"errlog_win", ""};
};

TEST_F(ErrlogWindowsTest, SecondHolderIsRefusedUntilTheFirstReleases) {
  auto first = InstanceLock::Acquire(dir());
  ASSERT_TRUE(first.ok()) << first.status().ToString();
  std::string line;
  std::getline(std::ifstream(dir() / kLockFileName), line);  // readable while held
  EXPECT_FALSE(line.empty());

  auto second = InstanceLock::Acquire(dir(), 120ms);
  ASSERT_FALSE(second.ok());
  EXPECT_TRUE(second.status().IsUnavailable()) << second.status().ToString();

  first->Release();
  auto third = InstanceLock::Acquire(dir());
  EXPECT_TRUE(third.ok()) << third.status().ToString();
}

TEST_F(ErrlogWindowsTest, LockOfAKilledHolderDoesNotBlock) {
  Probe holder(dir(), "hold");
  ASSERT_TRUE(holder.started());
  ASSERT_TRUE(WaitFor([&] { return !InstanceLock::Acquire(dir()).ok(); }));
  holder.Kill();
  EXPECT_TRUE(InstanceLock::Acquire(dir()).ok());  // the file is still there; its lock is gone
}

TEST_F(ErrlogWindowsTest, MissingFolderIsAnIoError) {
  auto lock = InstanceLock::Acquire(dir() / "nowhere");
  ASSERT_FALSE(lock.ok());
  EXPECT_TRUE(lock.status().IsIOError()) << lock.status().ToString();
}

struct FailureCase {
  const char* mode;
  const char* description;  // part of the report
  const char* first_frame;  // the function the call stack starts with
  long exit_code;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.mode; }

class ErrlogWindowsFailureTest : public ErrlogWindowsTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ErrlogWindowsFailureTest, WorkerFailureLeavesOneReportWithAStackAndASuccessor) {
  const FailureCase& c = GetParam();
  if (std::string_view(c.mode) == "overflow" && RunningUnderWine()) {
    GTEST_SKIP() << "Wine ends a thread that overflows its stack without raising the exception to the "
                    "process (it ignores SetThreadStackGuarantee); Windows reports it";
  }
  Probe probe(dir(), c.mode);
  ASSERT_TRUE(probe.started());
  EXPECT_EQ(probe.Wait(), c.exit_code);

  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(successor()); }))
      << "no successor started; log:\n" << ReadFileBytes(log());
  // The successor wrote its restart count in text mode.
  EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(successor()) == "1\r\n"; })) << ReadFileBytes(successor());

  const std::string text = ReadFileBytes(log());
  EXPECT_EQ(CountReports(text), 1) << text;
  EXPECT_NE(text.find("KT-Vistrand TCP Server, Build: 3, Version: " KT_VERSION_STRING "\r\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\r\nWindows "), std::string::npos) << text;
  EXPECT_NE(text.find(c.description), std::string::npos) << text;
  // The stack starts at the failing function, named from the mingw debug information.
  const std::size_t stack = text.find("Call Stack:\r\n   - ");
  ASSERT_NE(stack, std::string::npos) << text;
  const std::string first = text.substr(stack + 13, text.find("\r\n", stack + 13) - stack - 13);
  EXPECT_NE(first.find(c.first_frame), std::string::npos) << text;
  EXPECT_NE(first.find("crash_probe.cpp"), std::string::npos) << first;
  EXPECT_EQ(first.find("(Line: 0)"), std::string::npos) << first;
  EXPECT_NE(text.find("main"), std::string::npos) << text;  // the walk goes on past the first frame

  EXPECT_TRUE(WaitFor([&] { return InstanceLock::Acquire(dir()).ok(); }, 10s));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ErrlogWindowsFailureTest,
    ::testing::Values(
        FailureCase{"throw", "Description      : probe failure in throw mode\r\n", "ProbeSessionWork", 3},
        FailureCase{"segv", "Sub System       : EXCEPTION_ACCESS_VIOLATION\r\n", "WriteNowhere",
                    static_cast<long>(EXCEPTION_ACCESS_VIOLATION)},
        FailureCase{"overflow", "Sub System       : EXCEPTION_STACK_OVERFLOW\r\n", "RecurseForever",
                    static_cast<long>(EXCEPTION_STACK_OVERFLOW)}),
    [](const auto& info) { return std::string(info.param.mode); });

class ErrlogWindowsStormTest : public ErrlogWindowsTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ErrlogWindowsStormTest, ReportsAccumulateAndTheChainStops) {
  Probe probe(dir(), GetParam());
  ASSERT_TRUE(probe.started());
  const int expected = 1 + kMaxQuickRestarts;
  EXPECT_TRUE(WaitFor([&] { return CountReports(ReadFileBytes(log())) >= expected; }));
  // The last instance does not restart: once it has ended, the lock is free and stays free.
  EXPECT_TRUE(WaitFor([&] { return InstanceLock::Acquire(dir()).ok(); }, 20s));
  std::this_thread::sleep_for(1500ms);
  const std::string text = ReadFileBytes(log());
  EXPECT_EQ(CountReports(text), expected) << text;
  EXPECT_NE(text.find("\r\n\r\n\r\n\r\n" + std::string(kReportRule)), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Storms, ErrlogWindowsStormTest, ::testing::Values("storm-throw", "storm-segv"),
                         [](const auto& info) { return std::string(info.param).substr(6); });

TEST_F(ErrlogWindowsTest, AHangWhileCollectingTheStackStillRestarts) {
  Probe probe(dir(), "hang-capture");
  ASSERT_TRUE(probe.started());
  EXPECT_EQ(probe.Wait(), 70) << "the probe hung in its crash handler";
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(successor()); }));
  EXPECT_TRUE(WaitFor([&] { return InstanceLock::Acquire(dir()).ok(); }, 10s));
}

TEST_F(ErrlogWindowsTest, SecondInstanceEndsSilently) {
  Probe holder(dir(), "hold");
  ASSERT_TRUE(holder.started());
  ASSERT_TRUE(WaitFor([&] { return !InstanceLock::Acquire(dir()).ok(); }));
  Probe second(dir(), "throw");
  EXPECT_EQ(second.Wait(), 3);
  EXPECT_FALSE(std::filesystem::exists(log()));
}

}  // namespace
}  // namespace kt::errlog
