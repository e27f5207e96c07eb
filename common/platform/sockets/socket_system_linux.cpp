#include "common/platform/sockets/socket_system.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kt::net::sys {

int LastError() { return errno; }

std::string ErrorText(std::string_view what, int code) {
  return std::string(what) + ": " + std::strerror(code);
}

bool WouldBlock(int code) { return code == EAGAIN || code == EWOULDBLOCK; }
bool Interrupted(int code) { return code == EINTR; }
bool ConnectPending(int code) { return code == EINPROGRESS; }
bool AcceptRetry(int code) { return code == EAGAIN || code == ECONNABORTED || code == EINTR; }
bool TimedOut(int code) { return code == EAGAIN || code == EWOULDBLOCK; }

Result<bool> WaitReady(NativeSocket s, Ready what, Millis timeout) {
  pollfd p{s, static_cast<short>(what == Ready::kRead ? POLLIN : POLLOUT), 0};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) left = Millis(0);
    int n = ::poll(&p, 1, static_cast<int>(left.count()));
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) return Status::IOError(ErrorText("poll", errno));
  }
}

NativeSocket Open(int type, int protocol) { return ::socket(AF_INET, type | SOCK_CLOEXEC, protocol); }

NativeSocket Accept(NativeSocket listener) { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }

// Linux sockets stay blocking: SendNow and RecvNow pass MSG_DONTWAIT.
void PrepareStream(NativeSocket) {}

int StartConnect(NativeSocket s, const sockaddr_in& to) {
  // Non-blocking only for the connect, so the wait is bounded; blocking again afterwards.
  const int flags = ::fcntl(s, F_GETFL, 0);
  ::fcntl(s, F_SETFL, flags | O_NONBLOCK);
  const int rc = ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  const int err = errno;
  if (rc == 0) ::fcntl(s, F_SETFL, flags);
  errno = err;
  return rc;
}

int ConnectResult(NativeSocket s) {
  int err = 0;
  socklen_t len = sizeof err;
  ::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
  if (err == 0) ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL, 0) & ~O_NONBLOCK);
  return err;
}

void SetListenerAddressOption(NativeSocket s) {
  int one = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
}

long long SendNow(NativeSocket s, const char* data, std::size_t size) {
  return ::send(s, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

long long RecvNow(NativeSocket s, char* data, std::size_t size, bool peek) {
  return ::recv(s, data, size, MSG_DONTWAIT | (peek ? MSG_PEEK : 0));
}

// A shut-down socket wakes poll() by itself.
void ShutdownBoth(NativeSocket s) { ::shutdown(s, SHUT_RDWR); }
void Forget(NativeSocket) {}

bool SetKeepAlive(NativeSocket s, int idle_seconds, int interval_seconds, int count) {
  const int on = 1;
  return ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
         ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle_seconds, sizeof idle_seconds) == 0 &&
         ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &interval_seconds, sizeof interval_seconds) == 0 &&
         ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) == 0;
}

bool SetReceiveTimeout(NativeSocket s, Millis timeout) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  return ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

}  // namespace kt::net::sys
