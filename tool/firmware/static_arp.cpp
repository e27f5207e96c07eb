#include "tool/firmware/static_arp.h"

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "common/net/udp_socket.h"

namespace kt::firmware {
namespace {

using Outcome = ArpEntryResult::Outcome;

// A netlink request: header, family message, then attributes, each aligned as netlink wants.
class NetlinkRequest {
 public:
  NetlinkRequest(uint16_t type, uint16_t flags, const void* body, std::size_t body_len) {
    Append(nullptr, NLMSG_HDRLEN);
    Append(body, body_len);
    Header().nlmsg_type = type;
    Header().nlmsg_flags = flags;
    Header().nlmsg_seq = 1;
  }
  void AddAttribute(uint16_t type, const void* data, std::size_t len) {
    rtattr a{};
    a.rta_type = type;
    a.rta_len = static_cast<unsigned short>(RTA_LENGTH(len));
    Append(&a, sizeof a);
    Append(data, len);
  }
  const char* data() { Header().nlmsg_len = static_cast<uint32_t>(bytes_.size()); return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }

 private:
  nlmsghdr& Header() { return *reinterpret_cast<nlmsghdr*>(bytes_.data()); }
  void Append(const void* p, std::size_t len) {
    const std::size_t at = bytes_.size();
    bytes_.resize(at + NLMSG_ALIGN(len), 0);
    if (p) std::memcpy(bytes_.data() + at, p, len);
  }
  std::string bytes_;
};

class NetlinkSocket {
 public:
  NetlinkSocket() : fd_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {
    if (fd_ >= 0) {
      timeval tv{2, 0};  // the kernel answers at once; this only bounds a broken exchange
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
  }
  ~NetlinkSocket() { if (fd_ >= 0) ::close(fd_); }
  NetlinkSocket(const NetlinkSocket&) = delete;
  NetlinkSocket& operator=(const NetlinkSocket&) = delete;
  bool ok() const { return fd_ >= 0; }

  // Sends the request and returns the first answer message (or an errno as a negative value in
  // `error` for an NLMSG_ERROR answer; 0 for an acknowledgement).
  bool Exchange(NetlinkRequest& req, std::string& answer, int& error) {
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd_, req.data(), req.size(), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
      error = -errno;
      return false;
    }
    char buf[8192];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n < 0) {
      error = -errno;
      return false;
    }
    const auto* h = reinterpret_cast<const nlmsghdr*>(buf);
    if (!NLMSG_OK(h, static_cast<unsigned>(n))) {
      error = -EPROTO;
      return false;
    }
    if (h->nlmsg_type == NLMSG_ERROR) {
      if (h->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr))) {
        error = -EPROTO;
        return false;
      }
      error = static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
      answer.clear();
      return true;
    }
    error = 0;
    answer.assign(buf, h->nlmsg_len);
    return true;
  }

 private:
  int fd_;
};

struct Route {
  int ifindex = 0;
  bool local = false;         // one of this machine's own addresses
  bool via_gateway = false;
};

std::optional<Route> FindRoute(NetlinkSocket& nl, uint32_t ip, std::string& why) {
  rtmsg rt{};
  rt.rtm_family = AF_INET;
  rt.rtm_dst_len = 32;
  NetlinkRequest req(RTM_GETROUTE, NLM_F_REQUEST, &rt, sizeof rt);
  const uint32_t dst = htonl(ip);
  req.AddAttribute(RTA_DST, &dst, sizeof dst);
  std::string answer;
  int error = 0;
  if (!nl.Exchange(req, answer, error) || error != 0 || answer.empty()) {
    why = std::strerror(error ? -error : EPROTO);
    return std::nullopt;
  }
  const auto* h = reinterpret_cast<const nlmsghdr*>(answer.data());
  if (h->nlmsg_type != RTM_NEWROUTE || h->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) {
    why = "unexpected route answer";
    return std::nullopt;
  }
  const auto* r = static_cast<const rtmsg*>(NLMSG_DATA(h));
  Route route;
  route.local = r->rtm_type == RTN_LOCAL;
  int len = static_cast<int>(RTM_PAYLOAD(h));
  for (const rtattr* a = RTM_RTA(r); RTA_OK(a, len); a = RTA_NEXT(a, len)) {
    if (a->rta_type == RTA_OIF && RTA_PAYLOAD(a) >= sizeof(uint32_t)) {
      uint32_t oif = 0;
      std::memcpy(&oif, RTA_DATA(a), sizeof oif);
      route.ifindex = static_cast<int>(oif);
    } else if (a->rta_type == RTA_GATEWAY) {
      route.via_gateway = true;
    }
  }
  if (route.ifindex == 0) {
    why = "no outgoing interface";
    return std::nullopt;
  }
  return route;
}

std::optional<unsigned> InterfaceFlags(const std::string& name) {
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return std::nullopt;
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, name.c_str(), IFNAMSIZ - 1);
  const int rc = ::ioctl(s, SIOCGIFFLAGS, &ifr);
  ::close(s);
  if (rc != 0) return std::nullopt;
  return static_cast<unsigned short>(ifr.ifr_flags);
}

}  // namespace

ArpEntryResult PinTerminalAddress(uint32_t ip, const config::Mac& mac) {
  ArpEntryResult result;
  const std::string target = net::FormatIpv4(ip) + " -> " + config::FormatMac(mac, ':');
  NetlinkSocket nl;
  if (!nl.ok()) {
    result.detail = "no static ARP entry for " + target + ": netlink socket: " + std::strerror(errno);
    return result;
  }
  std::string why;
  const std::optional<Route> route = FindRoute(nl, ip, why);
  if (!route) {
    result.detail = "no static ARP entry for " + target + ": no route (" + why + ")";
    return result;
  }
  char name[IF_NAMESIZE] = {};
  result.interface_name = ::if_indextoname(static_cast<unsigned>(route->ifindex), name) ? name : "";
  const unsigned flags = InterfaceFlags(result.interface_name).value_or(0);
  const char* skip = nullptr;
  if (route->local || (flags & IFF_LOOPBACK)) skip = "loopback";
  else if (flags & IFF_POINTOPOINT) skip = "point-to-point";
  else if (flags & IFF_NOARP) skip = "no ARP";
  else if (route->via_gateway) skip = "through a gateway";
  if (skip) {
    result.outcome = Outcome::kSkipped;
    result.detail = "no static ARP entry for " + target + ": reached through " + result.interface_name + " (" +
                    skip + ")";
    return result;
  }

  ndmsg nd{};
  nd.ndm_family = AF_INET;
  nd.ndm_ifindex = route->ifindex;
  nd.ndm_state = NUD_PERMANENT;
  NetlinkRequest req(RTM_NEWNEIGH, NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE | NLM_F_REPLACE, &nd, sizeof nd);
  const uint32_t dst = htonl(ip);
  req.AddAttribute(NDA_DST, &dst, sizeof dst);
  req.AddAttribute(NDA_LLADDR, mac.data(), mac.size());
  std::string answer;
  int error = 0;
  if (!nl.Exchange(req, answer, error) || error != 0) {
    if (error == -EPERM || error == -EACCES) {
      result.outcome = Outcome::kNotPermitted;
      result.detail = "warning: no static ARP entry for " + target + " on " + result.interface_name +
                      ": not permitted (needs CAP_NET_ADMIN); going on without it";
    } else {
      result.detail = "no static ARP entry for " + target + " on " + result.interface_name + ": " +
                      std::strerror(error ? -error : EPROTO);
    }
    return result;
  }
  result.outcome = Outcome::kSet;
  result.detail = "static ARP entry " + target + " on " + result.interface_name;
  return result;
}

}  // namespace kt::firmware
