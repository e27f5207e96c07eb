// UdpSocket on Linux: a socket bound to a unicast address does not hear 255.255.255.255, so
// BindToAdapter pins a 0.0.0.0 socket to the address's interface and names the source address
// in every datagram (IP_PKTINFO).
#include <ifaddrs.h>
#include <net/if.h>

#include <cerrno>
#include <cstring>

#include "common/net/udp_socket.h"
#include "common/platform/sockets/udp_system.h"

namespace kt::net {
namespace {

using udp_system::SystemError;
using udp_system::ToSockaddr;

// Name of the interface that carries `address`, or empty.
std::string InterfaceOf(uint32_t address) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return {};
  std::string name;
  for (ifaddrs* it = list; it; it = it->ifa_next) {
    if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
    const auto* sin = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
    if (ntohl(sin->sin_addr.s_addr) == address) {
      name = it->ifa_name;
      break;
    }
  }
  ::freeifaddrs(list);
  return name;
}
}  // namespace

Status UdpSocket::BindToAdapter(uint32_t address, uint16_t port) {
  if (address == kAnyAddress || address == kLimitedBroadcast) return Bind(address, port);
  const std::string device = InterfaceOf(address);
  if (!device.empty() &&
      ::setsockopt(handle_.get(), SOL_SOCKET, SO_BINDTODEVICE, device.c_str(),
                   static_cast<socklen_t>(device.size())) == 0) {
    const int on = 1;
    if (::setsockopt(handle_.get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0) {
      Status st = Bind(kAnyAddress, port);
      if (st.ok()) {
        source_address_ = address;
        return st;
      }
    }
    // Undo the device pin so the fallback bind behaves like a plain one.
    ::setsockopt(handle_.get(), SOL_SOCKET, SO_BINDTODEVICE, "", 0);
  }
  return Bind(address, port);
}

Result<std::size_t> UdpSocket::SendWithInfo(const UdpEndpoint& to, std::span<const std::byte> data,
                                            unsigned interface_index) {
  sockaddr_in sa = ToSockaddr(to.address, to.port);
  iovec iov{const_cast<std::byte*>(data.data()), data.size()};
  msghdr msg{};
  msg.msg_name = &sa;
  msg.msg_namelen = sizeof sa;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  if (source_address_ != 0 || interface_index != 0) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(source_address_);
    info.ipi_ifindex = static_cast<int>(interface_index);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
  }
  const ssize_t n = ::sendmsg(handle_.get(), &msg, MSG_NOSIGNAL);
  if (n < 0) return SystemError("sendto");
  return static_cast<std::size_t>(n);
}

Result<ReceivedDatagram> UdpSocket::Receive(std::span<std::byte> buffer) {
  sockaddr_in from{};
  iovec iov{buffer.data(), buffer.size()};
  msghdr msg{};
  msg.msg_name = &from;
  msg.msg_namelen = sizeof from;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  const ssize_t n = ::recvmsg(handle_.get(), &msg, 0);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Status::Unavailable("receive timed out");
    return SystemError("recvfrom");
  }
  ReceivedDatagram d;
  d.length = static_cast<std::size_t>(n);
  d.truncated = (msg.msg_flags & MSG_TRUNC) != 0;
  d.sender = {ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
  return d;
}

}  // namespace kt::net
