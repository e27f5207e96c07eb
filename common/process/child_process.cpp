#include "common/process/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

extern char** environ;

namespace kt::proc {
namespace {

using Clock = std::chrono::steady_clock;

std::string SystemText(int err) { return std::strerror(err); }

int OpenPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  const long fd = ::syscall(SYS_pidfd_open, pid, 0);
  if (fd >= 0) {
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    return static_cast<int>(fd);
  }
#endif
  return -1;  // older kernel: Wait() falls back to polling waitpid
}

ExitInfo FromWaitStatus(int status) {
  ExitInfo e;
  if (WIFEXITED(status)) {
    e.exited = true;
    e.code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    e.signal = WTERMSIG(status);
  }
  return e;
}

int MillisUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& o) noexcept
    : pid_(std::exchange(o.pid_, -1)),
      pidfd_(std::exchange(o.pidfd_, -1)),
      output_fd_(std::exchange(o.output_fd_, -1)),
      partial_(std::move(o.partial_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& o) noexcept {
  if (this != &o) {
    Terminate();
    CloseFds();
    pid_ = std::exchange(o.pid_, -1);
    pidfd_ = std::exchange(o.pidfd_, -1);
    output_fd_ = std::exchange(o.output_fd_, -1);
    partial_ = std::move(o.partial_);
  }
  return *this;
}

ChildProcess::~ChildProcess() {
  Terminate();
  CloseFds();
}

void ChildProcess::CloseFds() {
  if (pidfd_ >= 0) ::close(pidfd_);
  if (output_fd_ >= 0) ::close(output_fd_);
  pidfd_ = output_fd_ = -1;
}

Result<ChildProcess> ChildProcess::Spawn(const std::vector<std::string>& argv, const SpawnOptions& options) {
  if (argv.empty() || argv[0].empty()) return Status::InvalidArgument("no program to start");
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return Status::IOError("pipe: " + SystemText(errno));
  int null_fd = -1;
  if (options.stdin_fd < 0) {
    null_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null_fd < 0) {
      const int err = errno;
      ::close(out[0]);
      ::close(out[1]);
      return Status::IOError("/dev/null: " + SystemText(err));
    }
  }
  const int in_fd = options.stdin_fd >= 0 ? options.stdin_fd : null_fd;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_fd, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);  // no inherited descriptors

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env_store;
  std::vector<char*> env;
  for (char** e = environ; e && *e; ++e) env.push_back(*e);
  for (const std::string& e : options.extra_env) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);

  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(out[1]);
  if (null_fd >= 0) ::close(null_fd);
  if (rc != 0) {
    ::close(out[0]);
    std::string text = argv[0] + ": " + SystemText(rc);
    return rc == ENOENT ? Status::NotFound(std::move(text)) : Status::IOError(std::move(text));
  }
  ::fcntl(out[0], F_SETFL, ::fcntl(out[0], F_GETFL) | O_NONBLOCK);
  return ChildProcess(pid, OpenPidfd(pid), out[0]);
}

void ChildProcess::DrainOutput(const std::function<void(std::string_view)>& on_output, bool flush_partial) {
  char buf[4096];
  while (output_fd_ >= 0) {
    const ssize_t n = ::read(output_fd_, buf, sizeof buf);
    if (n > 0) {
      partial_.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      ::close(output_fd_);  // end of output (or a broken pipe): nothing more will come
      output_fd_ = -1;
    }
    break;
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i < partial_.size(); ++i) {
    if (partial_[i] == '\n' || partial_[i] == '\r') {
      if (i > start && on_output) on_output(std::string_view(partial_).substr(start, i - start));
      start = i + 1;
    }
  }
  partial_.erase(0, start);
  if (flush_partial && !partial_.empty()) {
    if (on_output) on_output(partial_);
    partial_.clear();
  }
}

Result<ExitInfo> ChildProcess::Wait(std::chrono::milliseconds timeout,
                                    const std::function<void(std::string_view)>& on_output, int cancel_fd) {
  if (pid_ <= 0) return Status::InvalidArgument("no child process to wait for");
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    pollfd fds[3];
    nfds_t n = 0;
    int pid_slot = -1, out_slot = -1, cancel_slot = -1;
    if (pidfd_ >= 0) { pid_slot = static_cast<int>(n); fds[n++] = {pidfd_, POLLIN, 0}; }
    if (output_fd_ >= 0) { out_slot = static_cast<int>(n); fds[n++] = {output_fd_, POLLIN, 0}; }
    if (cancel_fd >= 0) { cancel_slot = static_cast<int>(n); fds[n++] = {cancel_fd, POLLIN, 0}; }
    int wait_ms = MillisUntil(deadline);
    if (pidfd_ < 0) wait_ms = std::min(wait_ms, 20);  // no pidfd: look at waitpid now and then
    const int ready = ::poll(fds, n, wait_ms);
    if (ready < 0 && errno != EINTR) return Status::IOError("poll: " + SystemText(errno));
    if (ready > 0 && out_slot >= 0 && fds[out_slot].revents) DrainOutput(on_output, false);
    if (ready > 0 && cancel_slot >= 0 && fds[cancel_slot].revents) return Status::Aborted("wait cancelled");

    const bool may_have_ended = pidfd_ < 0 || (ready > 0 && pid_slot >= 0 && fds[pid_slot].revents);
    if (may_have_ended) {
      int status = 0;
      const pid_t r = ::waitpid(pid_, &status, pidfd_ >= 0 ? 0 : WNOHANG);
      if (r == pid_) {
        pid_ = -1;
        DrainOutput(on_output, true);  // what is already in the pipe; helpers may keep it open
        return FromWaitStatus(status);
      }
      if (r < 0 && errno != EINTR) {
        const int err = errno;
        pid_ = -1;
        return Status::IOError("waitpid: " + SystemText(err));
      }
    }
    if (Clock::now() >= deadline) return Status::Unavailable("still running");
  }
}

void ChildProcess::Terminate(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return;
  ::kill(-pid_, SIGTERM);
  ::kill(pid_, SIGTERM);  // in case it left its group
  Result<ExitInfo> ended = Wait(grace);
  if (!ended.ok() && pid_ > 0) {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    int ignored = 0;
    while (::waitpid(pid_, &ignored, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
}

}  // namespace kt::proc
