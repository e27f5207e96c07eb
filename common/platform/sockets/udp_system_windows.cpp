// UdpSocket on Windows: a socket bound to an adapter's unicast address already hears the
// broadcasts that arrive on that adapter and sends from that address, so BindToAdapter is a
// plain bind there.
#include <cerrno>

#include "common/net/udp_socket.h"
#include "common/platform/sockets/udp_system.h"

namespace kt::net {

using udp_system::SystemError;
using udp_system::ToSockaddr;

Status UdpSocket::BindToAdapter(uint32_t address, uint16_t port) { return Bind(address, port); }

Result<std::size_t> UdpSocket::SendWithInfo(const UdpEndpoint& to, std::span<const std::byte> data,
                                            unsigned interface_index) {
  if (interface_index != 0) {
    // Sends (broadcasts too) leave by this interface; IP_UNICAST_IF takes network byte order.
    const DWORD index = htonl(interface_index);
    ::setsockopt(handle_.get(), IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&index), sizeof index);
  }
  const sockaddr_in sa = ToSockaddr(to.address, to.port);
  const int n = ::sendto(handle_.get(), reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()), 0,
                         reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  if (n == SOCKET_ERROR) return SystemError("sendto");
  return static_cast<std::size_t>(n);
}

Result<ReceivedDatagram> UdpSocket::Receive(std::span<std::byte> buffer) {
  sockaddr_in from{};
  int from_len = sizeof from;
  const int n = ::recvfrom(handle_.get(), reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0,
                           reinterpret_cast<sockaddr*>(&from), &from_len);
  ReceivedDatagram d;
  if (n == SOCKET_ERROR) {
    const int err = sys::LastError();
    if (sys::TimedOut(err)) return Status::Unavailable("receive timed out");
    // Winsock fills the buffer and reports the rest of a long datagram as an error.
    if (err != WSAEMSGSIZE) return Status::IOError(sys::ErrorText("recvfrom", err));
    d.length = buffer.size();
    d.truncated = true;
  } else {
    d.length = static_cast<std::size_t>(n);
  }
  d.sender = {ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
  return d;
}

}  // namespace kt::net
