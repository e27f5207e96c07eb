#include "common/net/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kt::net {
namespace {

std::string Errno(std::string_view what) {
  return std::string(what) + ": " + std::strerror(errno);
}

// Waits for `events` on `s`; true when ready (or in error, so the next call reports it).
Result<bool> WaitFor(NativeSocket s, short events, Millis timeout) {
  pollfd p{s, events, 0};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) left = Millis(0);
    int n = ::poll(&p, 1, static_cast<int>(left.count()));
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) return Status::IOError(Errno("poll"));
  }
}

Result<sockaddr_in> MakeAddress(std::string_view ip, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  if (ip.empty() || ip == "0.0.0.0") {
    a.sin_addr.s_addr = htonl(INADDR_ANY);
  } else {
    std::string text(ip);
    if (::inet_pton(AF_INET, text.c_str(), &a.sin_addr) != 1)
      return Status::InvalidArgument("not an IPv4 address: \"" + text + "\"");
  }
  return a;
}

std::string DottedText(const in_addr& a) {
  char buf[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a, buf, sizeof buf);
  return buf;
}

}  // namespace

Result<SocketHandle> TcpListen(std::string_view bind_ip, uint16_t port, int backlog) {
  KT_ASSIGN_OR_RETURN(sockaddr_in addr, MakeAddress(bind_ip, port));
  SocketHandle s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s.valid()) return Status::IOError(Errno("socket"));
  int one = 1;
  ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    return Status::Unavailable(Errno("bind port " + std::to_string(port)));
  if (::listen(s.get(), backlog) != 0) return Status::IOError(Errno("listen"));
  return s;
}

Result<uint16_t> LocalPort(const SocketHandle& s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(s.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return Status::IOError(Errno("getsockname"));
  return static_cast<uint16_t>(ntohs(a.sin_port));
}

Result<SocketHandle> TcpAccept(const SocketHandle& listener, Millis timeout) {
  KT_ASSIGN_OR_RETURN(bool ready, WaitFor(listener.get(), POLLIN, timeout));
  if (!ready) return Status::Unavailable("no connection within the accept wait");
  SocketHandle c(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!c.valid()) {
    // The peer may have given up between poll and accept, or the listener was shut down.
    if (errno == EAGAIN || errno == ECONNABORTED || errno == EINTR)
      return Status::Unavailable(Errno("accept"));
    return Status::IOError(Errno("accept"));
  }
  return c;
}

Result<SocketHandle> TcpConnect(std::string_view ip, uint16_t port, Millis timeout,
                                std::string_view source_ip) {
  KT_ASSIGN_OR_RETURN(sockaddr_in addr, MakeAddress(ip, port));
  SocketHandle s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s.valid()) return Status::IOError(Errno("socket"));
  if (!source_ip.empty()) {
    KT_ASSIGN_OR_RETURN(sockaddr_in local, MakeAddress(source_ip, 0));
    if (::bind(s.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
      return Status::IOError(Errno("bind source " + std::string(source_ip)));
  }
  // Non-blocking connect so the wait is bounded, then back to blocking mode.
  const int flags = ::fcntl(s.get(), F_GETFL, 0);
  ::fcntl(s.get(), F_SETFL, flags | O_NONBLOCK);
  if (::connect(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno != EINPROGRESS) return Status::IOError(Errno("connect"));
    KT_ASSIGN_OR_RETURN(bool ready, WaitFor(s.get(), POLLOUT, timeout));
    if (!ready) return Status::Unavailable("connect timed out");
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &err, &len);
    if (err != 0) {
      errno = err;
      return Status::IOError(Errno("connect"));
    }
  }
  ::fcntl(s.get(), F_SETFL, flags);
  return s;
}

Status SendAll(const SocketHandle& s, std::string_view data, Millis timeout) {
  // A reply nearly always fits the send buffer: send at once, and wait only when it is full.
  bool wait = false;
  while (!data.empty()) {
    if (wait) {
      KT_ASSIGN_OR_RETURN(bool ready, WaitFor(s.get(), POLLOUT, timeout));
      if (!ready) return Status::Unavailable("send timed out");
    }
    ssize_t n = ::send(s.get(), data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        wait = true;
        continue;
      }
      return Status::IOError(Errno("send"));
    }
    data.remove_prefix(static_cast<std::size_t>(n));
    wait = !data.empty();
  }
  return Status::Ok();
}

Result<std::size_t> RecvSome(const SocketHandle& s, std::span<char> buf, Millis timeout) {
  KT_ASSIGN_OR_RETURN(bool ready, WaitFor(s.get(), POLLIN, timeout));
  if (!ready) return Status::Unavailable("nothing received within the read wait");
  for (;;) {
    ssize_t n = ::recv(s.get(), buf.data(), buf.size(), MSG_DONTWAIT);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n == 0) return Status::NotFound("connection closed by peer");
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Status::Unavailable("spurious wake-up");
    return Status::IOError(Errno("recv"));
  }
}

bool PeerHasClosed(const SocketHandle& s) {
  char c;
  ssize_t n = ::recv(s.get(), &c, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n == 0) return true;
  return n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
}

Result<PeerAddress> GetPeerAddress(const SocketHandle& s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getpeername(s.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET)
    return Status::IOError(Errno("getpeername"));
  return PeerAddress{DottedText(a.sin_addr), static_cast<uint16_t>(ntohs(a.sin_port))};
}

void SetNoDelay(const SocketHandle& s) {
  int one = 1;
  ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool SetKeepAlive(const SocketHandle& s, std::chrono::seconds idle, std::chrono::seconds interval, int count) {
  const int on = 1;
  const int idle_s = static_cast<int>(idle.count());
  const int interval_s = static_cast<int>(interval.count());
  return ::setsockopt(s.get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
         ::setsockopt(s.get(), IPPROTO_TCP, TCP_KEEPIDLE, &idle_s, sizeof idle_s) == 0 &&
         ::setsockopt(s.get(), IPPROTO_TCP, TCP_KEEPINTVL, &interval_s, sizeof interval_s) == 0 &&
         ::setsockopt(s.get(), IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) == 0;
}

}  // namespace kt::net
