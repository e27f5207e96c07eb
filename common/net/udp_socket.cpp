#include "common/net/udp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace kt::net {
namespace {

Status SystemError(const char* what) {
  const int err = errno;
  return Status::IOError(std::string(what) + ": " + std::strerror(err));
}

sockaddr_in ToSockaddr(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

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
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return SystemError("socket");
  return UdpSocket(SocketHandle(fd));
}

Status UdpSocket::Bind(uint32_t address, uint16_t port) {
  const sockaddr_in sa = ToSockaddr(address, port);
  if (::bind(handle_.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    return SystemError("bind");
  }
  return Status::Ok();
}

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

Status UdpSocket::EnableBroadcast() {
  const int on = 1;
  if (::setsockopt(handle_.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    return SystemError("setsockopt(SO_BROADCAST)");
  }
  return Status::Ok();
}

Status UdpSocket::SetReceiveBuffer(int bytes) {
  if (::setsockopt(handle_.get(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) {
    return SystemError("setsockopt(SO_RCVBUF)");
  }
  return Status::Ok();
}

Status UdpSocket::SetReceiveTimeout(std::chrono::milliseconds timeout) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  if (::setsockopt(handle_.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) {
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

Result<UdpEndpoint> UdpSocket::LocalEndpoint() const {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(handle_.get(), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    return SystemError("getsockname");
  }
  return UdpEndpoint{ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
}

}  // namespace kt::net
