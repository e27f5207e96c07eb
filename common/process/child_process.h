// A child process started from an argument list (no shell), with a bounded, cancellable wait.
//
// The program is found on PATH like a shell would find it; its standard input is /dev/null or a
// descriptor the caller hands over (a bound socket for a server run the inetd way), and its
// standard output and error are captured through one pipe and handed to the waiter line by line.
// No other descriptor of this process reaches the child. The child leads a process group of its
// own, so Terminate() also ends the helpers it forked.
//
// Thread safety: one thread waits; Cancel() (through the cancel descriptor of Wait) may come from
// any thread. Destroying a running ChildProcess terminates it: nothing is ever left behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace kt::proc {

struct SpawnOptions {
  // Descriptor that becomes the child's standard input; -1 means /dev/null. Borrowed: the caller
  // keeps it open until Spawn returns.
  int stdin_fd = -1;
  // Extra environment entries ("NAME=value") added to this process's environment.
  std::vector<std::string> extra_env;
};

// How a child ended.
struct ExitInfo {
  bool exited = false;  // ended by exit(): `code` holds its status
  int code = 0;
  int signal = 0;       // killed by this signal when !exited
  bool success() const { return exited && code == 0; }
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Starts argv[0] (searched on PATH) with the given arguments. Fails with NotFound when the
  // program does not exist, IOError with the system's text for any other failure to start.
  // REQUIRES: !argv.empty()
  static Result<ChildProcess> Spawn(const std::vector<std::string>& argv, const SpawnOptions& options);

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Waits up to `timeout` for the child to end, passing every line it writes (without the line
  // end) to `on_output` on the calling thread. Returns how it ended; Unavailable when it is still
  // running at the limit; Aborted when `cancel_fd` (if >= 0) became readable first. The child is
  // left running in both of those cases; IOError when the wait itself failed.
  Result<ExitInfo> Wait(std::chrono::milliseconds timeout,
                        const std::function<void(std::string_view)>& on_output = {},
                        int cancel_fd = -1);

  // Ends the child and its process group: SIGTERM, then SIGKILL if it is still there after
  // `grace`; the child is reaped before this returns. No-op when nothing runs.
  void Terminate(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

 private:
  ChildProcess(pid_t pid, int pidfd, int output_fd) : pid_(pid), pidfd_(pidfd), output_fd_(output_fd) {}
  void DrainOutput(const std::function<void(std::string_view)>& on_output, bool flush_partial);
  void CloseFds();

  pid_t pid_ = -1;
  int pidfd_ = -1;      // becomes readable when the child ends; -1 where pidfds are missing
  int output_fd_ = -1;  // read end of the child's stdout/stderr pipe
  std::string partial_;  // output after the last line end
};

}  // namespace kt::proc
