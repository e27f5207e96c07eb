#include "common/net/udp_socket.h"

#include "common/platform/sockets/socket_system.h"
#include "common/platform/sockets/udp_system.h"

namespace kt::net {

using udp_system::SystemError;
using udp_system::ToSockaddr;

std::optional<uint32_t> ParseIpv4(std::string_view text) {
  uint32_t result = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    uint32_t value = 0;
    int digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (++digits > 3) return std::nullopt;
      value = value * 10 + static_cast<uint32_t>(text[i] - '0');
      ++i;
    }
    if (value > 255) return std::nullopt;
    result = (result << 8) | value;
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return result;
}

std::string FormatIpv4(uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
         std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

Result<UdpSocket> UdpSocket::Open() {
  SocketHandle h(sys::Open(SOCK_DGRAM, IPPROTO_UDP));
  if (!h.valid()) return SystemError("socket");
  return UdpSocket(std::move(h));
}

Status UdpSocket::Bind(uint32_t address, uint16_t port) {
  const sockaddr_in sa = ToSockaddr(address, port);
  if (::bind(handle_.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    return SystemError("bind");
  }
  return Status::Ok();
}

Status UdpSocket::EnableBroadcast() {
  const int on = 1;
  if (::setsockopt(handle_.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
    return SystemError("setsockopt(SO_BROADCAST)");
  }
  return Status::Ok();
}

Status UdpSocket::SetReceiveBuffer(int bytes) {
  if (::setsockopt(handle_.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes) != 0) {
    return SystemError("setsockopt(SO_RCVBUF)");
  }
  return Status::Ok();
}

Status UdpSocket::SetReceiveTimeout(std::chrono::milliseconds timeout) {
  if (!sys::SetReceiveTimeout(handle_.get(), timeout)) {
    return SystemError("setsockopt(SO_RCVTIMEO)");
  }
  return Status::Ok();
}

Result<std::size_t> UdpSocket::SendTo(const UdpEndpoint& to, std::span<const std::byte> data) {
  return SendWithInfo(to, data, 0);
}

Result<std::size_t> UdpSocket::SendVia(unsigned interface_index, const UdpEndpoint& to,
                                       std::span<const std::byte> data) {
  return SendWithInfo(to, data, interface_index);
}

Result<UdpEndpoint> UdpSocket::LocalEndpoint() const {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(handle_.get(), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    return SystemError("getsockname");
  }
  return UdpEndpoint{ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
}

}  // namespace kt::net
