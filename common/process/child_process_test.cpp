#include "common/process/child_process.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace kt::proc {
namespace {

using namespace std::chrono_literals;

struct ShellRun {
  Result<ExitInfo> exit = Status::Unavailable("not run");
  std::vector<std::string> lines;
};

ShellRun RunShell(const std::string& script, std::chrono::milliseconds limit = 20s) {
  ShellRun r;
  auto child = ChildProcess::Spawn({"sh", "-c", script}, {});
  if (!child.ok()) {
    r.exit = child.status();
    return r;
  }
  r.exit = child->Wait(limit, [&](std::string_view line) { r.lines.emplace_back(line); });
  return r;
}

TEST(ChildProcess, ReportsExitCodesSignalsAndOutputLines) {
  ShellRun ok = RunShell("echo one; echo two >&2; printf 'three'");
  ASSERT_TRUE(ok.exit.ok()) << ok.exit.status().ToString();
  EXPECT_TRUE(ok.exit->success());
  EXPECT_EQ(ok.lines, (std::vector<std::string>{"one", "two", "three"}));

  ShellRun failed = RunShell("exit 255");
  ASSERT_TRUE(failed.exit.ok());
  EXPECT_TRUE(failed.exit->exited);
  EXPECT_EQ(failed.exit->code, 255);

  ShellRun killed = RunShell("kill -9 $$");
  ASSERT_TRUE(killed.exit.ok());
  EXPECT_FALSE(killed.exit->exited);
  EXPECT_EQ(killed.exit->signal, 9);
}

TEST(ChildProcess, MissingProgramIsNotFound) {
  auto child = ChildProcess::Spawn({"kx-no-such-program-here"}, {});
  ASSERT_FALSE(child.ok());
  EXPECT_TRUE(child.status().IsNotFound()) << child.status().ToString();
}

TEST(ChildProcess, TimeoutLeavesItRunningAndTerminateEndsTheWholeGroup) {
  // The shell forks a helper that would outlive it; both must go.
  auto child = ChildProcess::Spawn({"sh", "-c", "sleep 30 & echo $!; wait"}, {});
  ASSERT_TRUE(child.ok());
  std::string helper;
  auto first = child->Wait(100ms, [&](std::string_view l) { helper = std::string(l); });
  while (helper.empty() && !first.ok() && first.status().IsUnavailable()) {
    first = child->Wait(100ms, [&](std::string_view l) { helper = std::string(l); });
  }
  ASSERT_FALSE(helper.empty());
  EXPECT_TRUE(child->running());
  child->Terminate(2s);
  EXPECT_FALSE(child->running());
  const pid_t helper_pid = std::stoi(helper);
  const auto until = std::chrono::steady_clock::now() + 10s;
  // The helper is reparented; once killed it disappears (or stays a zombie of init briefly).
  bool gone = false;
  while (!gone && std::chrono::steady_clock::now() < until) {
    const std::string stat_path = "/proc/" + std::to_string(helper_pid) + "/stat";
    const int fd = ::open(stat_path.c_str(), O_RDONLY);
    if (fd < 0) {
      gone = true;
    } else {
      char buf[512] = {};
      const ssize_t n = ::read(fd, buf, sizeof buf - 1);
      ::close(fd);
      const char* state = n > 0 ? std::strrchr(buf, ')') : nullptr;
      gone = state && state[2] == 'Z';
      if (!gone) std::this_thread::sleep_for(10ms);
    }
  }
  EXPECT_TRUE(gone) << "helper " << helper_pid << " outlived Terminate()";
}

TEST(ChildProcess, CancelEndsTheWaitAndNoDescriptorIsInherited) {
  const int cancel = ::eventfd(0, EFD_CLOEXEC);
  ASSERT_GE(cancel, 0);
  // A descriptor without CLOEXEC must still not reach the child.
  const int leaky = ::open("/dev/null", O_RDONLY);
  auto child = ChildProcess::Spawn({"sh", "-c", "ls /proc/self/fd; echo done; sleep 30"}, {});
  ASSERT_TRUE(child.ok());
  std::vector<std::string> fds;
  auto r = child->Wait(
      20s,
      [&](std::string_view l) {
        if (l != "done") {
          fds.emplace_back(l);
          return;
        }
        uint64_t one = 1;  // cancel from "another party" once the listing is complete
        ASSERT_EQ(::write(cancel, &one, sizeof one), 8);
      },
      cancel);
  EXPECT_TRUE(!r.ok() && r.status().IsAborted()) << r.status().ToString();
  EXPECT_TRUE(child->running());
  child->Terminate();
  EXPECT_FALSE(child->running());
  // 0, 1, 2 and the one ls opens for /proc/self/fd.
  EXPECT_EQ(fds.size(), 4u);
  for (const std::string& f : fds) EXPECT_NE(f, std::to_string(leaky));
  ::close(leaky);
  ::close(cancel);
}

}  // namespace
}  // namespace kt::proc
