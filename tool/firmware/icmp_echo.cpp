#include "tool/firmware/icmp_echo.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/net/udp_socket.h"

namespace kt::firmware {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint8_t kFill = 0x45;
constexpr std::size_t kIcmpHeader = 8;  // type, code, checksum, id, sequence

uint16_t Checksum(const uint8_t* p, std::size_t n) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < n; i += 2) sum += static_cast<uint32_t>(p[i] << 8 | p[i + 1]);
  if (n & 1) sum += static_cast<uint32_t>(p[n - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

std::atomic<uint16_t> g_next_id{static_cast<uint16_t>(::getpid())};

}  // namespace

Result<IcmpEcho> IcmpEcho::Open() {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  bool raw = false;
  int dgram_error = fd < 0 ? errno : 0;
  if (fd < 0) {
    fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    raw = true;
  }
  if (fd < 0) {
    const int err = errno;
    if ((err == EPERM || err == EACCES) && (dgram_error == EPERM || dgram_error == EACCES)) {
      return Status::Unavailable(
          "ICMP echo not permitted for this user (needs net.ipv4.ping_group_range or CAP_NET_RAW)");
    }
    return Status::IOError(std::string("icmp socket: ") + std::strerror(err));
  }
  IcmpEcho e(net::SocketHandle(fd), raw);
  e.id_ = g_next_id.fetch_add(1);
  return e;
}

Result<EchoReply> IcmpEcho::Check(uint32_t ip, const EchoOptions& o) {
  const int fd = socket_.get();
  const int ttl = o.ttl, tos = o.tos;
  const int pmtu = o.dont_fragment ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
  ::setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
  ::setsockopt(fd, IPPROTO_IP, IP_TOS, &tos, sizeof tos);
  ::setsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &pmtu, sizeof pmtu);

  const uint16_t seq = ++sequence_;
  std::vector<uint8_t> packet(kIcmpHeader + o.data_size, kFill);
  packet[0] = ICMP_ECHO;
  packet[1] = 0;
  packet[2] = packet[3] = 0;
  packet[4] = static_cast<uint8_t>(id_ >> 8);
  packet[5] = static_cast<uint8_t>(id_);
  packet[6] = static_cast<uint8_t>(seq >> 8);
  packet[7] = static_cast<uint8_t>(seq);
  const uint16_t sum = Checksum(packet.data(), packet.size());  // the datagram socket redoes it
  packet[2] = static_cast<uint8_t>(sum >> 8);
  packet[3] = static_cast<uint8_t>(sum);

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(ip);
  const auto start = Clock::now();
  if (::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
    return Status::IOError(std::string("echo request: ") + std::strerror(errno));
  }
  const auto deadline = start + o.timeout;
  std::vector<uint8_t> buf(65536);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return Status::Unavailable("no echo reply within " + std::to_string(o.timeout.count()) + " ms");
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno != EINTR) return Status::IOError(std::string("poll: ") + std::strerror(errno));
    if (ready <= 0) continue;
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    const ssize_t n = ::recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &from_len);
    if (n < 0) continue;
    const uint8_t* icmp = buf.data();
    std::size_t len = static_cast<std::size_t>(n);
    if (raw_) {  // a raw socket sees the IP header, and every ICMP packet of the host
      if (len < 20) continue;
      const std::size_t ihl = static_cast<std::size_t>(buf[0] & 0x0F) * 4;
      if (ihl < 20 || len < ihl) continue;
      icmp += ihl;
      len -= ihl;
    }
    if (len < kIcmpHeader || icmp[0] != ICMP_ECHOREPLY) continue;
    if (Get16(icmp + 6) != seq) continue;
    if (raw_ && Get16(icmp + 4) != id_) continue;  // the datagram socket filters by its own id
    if (ntohl(from.sin_addr.s_addr) != ip) continue;
    const bool data_ok = len - kIcmpHeader == o.data_size &&
                         std::all_of(icmp + kIcmpHeader, icmp + len, [](uint8_t b) { return b == kFill; });
    if (!data_ok) return Status::Corruption("echo reply with other data");
    EchoReply r;
    r.from = ip;
    r.round_trip = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    return r;
  }
}

std::optional<uint32_t> ResolveIpv4(std::string_view host) {
  if (auto ip = net::ParseIpv4(host)) return ip;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* list = nullptr;
  if (::getaddrinfo(std::string(host).c_str(), nullptr, &hints, &list) != 0 || !list) return std::nullopt;
  const uint32_t ip = ntohl(reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(list);
  return ip;
}

}  // namespace kt::firmware
