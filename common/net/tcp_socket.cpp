#include "common/net/tcp_socket.h"

#include <cstring>

#include "common/platform/sockets/socket_system.h"

namespace kt::net {
namespace {

using sys::LastErrorText;
using sys::Ready;
using sys::WaitReady;

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
  SocketHandle s(sys::Open(SOCK_STREAM, 0));
  if (!s.valid()) return Status::IOError(LastErrorText("socket"));
  sys::SetListenerAddressOption(s.get());
  if (::bind(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    return Status::Unavailable(LastErrorText("bind port " + std::to_string(port)));
  if (::listen(s.get(), backlog) != 0) return Status::IOError(LastErrorText("listen"));
  sys::PrepareStream(s.get());
  return s;
}

Result<uint16_t> LocalPort(const SocketHandle& s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(s.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return Status::IOError(LastErrorText("getsockname"));
  return static_cast<uint16_t>(ntohs(a.sin_port));
}

Result<SocketHandle> TcpAccept(const SocketHandle& listener, Millis timeout) {
  KT_ASSIGN_OR_RETURN(bool ready, WaitReady(listener.get(), Ready::kRead, timeout));
  if (!ready) return Status::Unavailable("no connection within the accept wait");
  SocketHandle c(sys::Accept(listener.get()));
  if (!c.valid()) {
    // The peer may have given up between the wait and accept, or the listener was shut down.
    const int err = sys::LastError();
    if (sys::AcceptRetry(err)) return Status::Unavailable(sys::ErrorText("accept", err));
    return Status::IOError(sys::ErrorText("accept", err));
  }
  sys::PrepareStream(c.get());
  return c;
}

Result<SocketHandle> TcpConnect(std::string_view ip, uint16_t port, Millis timeout,
                                std::string_view source_ip) {
  KT_ASSIGN_OR_RETURN(sockaddr_in addr, MakeAddress(ip, port));
  SocketHandle s(sys::Open(SOCK_STREAM, 0));
  if (!s.valid()) return Status::IOError(LastErrorText("socket"));
  if (!source_ip.empty()) {
    KT_ASSIGN_OR_RETURN(sockaddr_in local, MakeAddress(source_ip, 0));
    if (::bind(s.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
      return Status::IOError(LastErrorText("bind source " + std::string(source_ip)));
  }
  // A non-blocking connect, so the wait is bounded.
  if (sys::StartConnect(s.get(), addr) != 0) {
    const int pending = sys::LastError();
    if (!sys::ConnectPending(pending)) return Status::IOError(sys::ErrorText("connect", pending));
    KT_ASSIGN_OR_RETURN(bool ready, WaitReady(s.get(), Ready::kWrite, timeout));
    if (!ready) return Status::Unavailable("connect timed out");
    const int err = sys::ConnectResult(s.get());
    if (err != 0) return Status::IOError(sys::ErrorText("connect", err));
  }
  return s;
}

Status SendAll(const SocketHandle& s, std::string_view data, Millis timeout) {
  // A reply nearly always fits the send buffer: send at once, and wait only when it is full.
  bool wait = false;
  while (!data.empty()) {
    if (wait) {
      KT_ASSIGN_OR_RETURN(bool ready, WaitReady(s.get(), Ready::kWrite, timeout));
      if (!ready) return Status::Unavailable("send timed out");
    }
    const long long n = sys::SendNow(s.get(), data.data(), data.size());
    if (n < 0) {
      const int err = sys::LastError();
      if (sys::Interrupted(err)) continue;
      if (sys::WouldBlock(err)) {
        wait = true;
        continue;
      }
      return Status::IOError(sys::ErrorText("send", err));
    }
    data.remove_prefix(static_cast<std::size_t>(n));
    wait = !data.empty();
  }
  return Status::Ok();
}

Result<std::size_t> RecvSome(const SocketHandle& s, std::span<char> buf, Millis timeout) {
  KT_ASSIGN_OR_RETURN(bool ready, WaitReady(s.get(), Ready::kRead, timeout));
  if (!ready) return Status::Unavailable("nothing received within the read wait");
  for (;;) {
    const long long n = sys::RecvNow(s.get(), buf.data(), buf.size());
    if (n > 0) return static_cast<std::size_t>(n);
    if (n == 0) return Status::NotFound("connection closed by peer");
    const int err = sys::LastError();
    if (sys::Interrupted(err)) continue;
    if (sys::WouldBlock(err)) return Status::Unavailable("spurious wake-up");
    return Status::IOError(sys::ErrorText("recv", err));
  }
}

bool PeerHasClosed(const SocketHandle& s) {
  char c;
  const long long n = sys::RecvNow(s.get(), &c, 1, /*peek=*/true);
  if (n == 0) return true;
  if (n > 0) return false;
  const int err = sys::LastError();
  return !sys::WouldBlock(err) && !sys::Interrupted(err);
}

Result<PeerAddress> GetPeerAddress(const SocketHandle& s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getpeername(s.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET)
    return Status::IOError(LastErrorText("getpeername"));
  return PeerAddress{DottedText(a.sin_addr), static_cast<uint16_t>(ntohs(a.sin_port))};
}

void SetNoDelay(const SocketHandle& s) {
  int one = 1;
  ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

bool SetKeepAlive(const SocketHandle& s, std::chrono::seconds idle, std::chrono::seconds interval, int count) {
  return sys::SetKeepAlive(s.get(), static_cast<int>(idle.count()), static_cast<int>(interval.count()), count);
}

}  // namespace kt::net
