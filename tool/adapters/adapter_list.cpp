#include "tool/adapters/adapter_list.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netpacket/packet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "common/net/udp_socket.h"
#include "tool/adapters/system_files.h"

namespace kt::adapters {
namespace {

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// (interface index, host-order address) of every IPv4 address that has a finite lifetime.
std::set<std::pair<unsigned, uint32_t>> LeasedAddresses() {
  std::set<std::pair<unsigned, uint32_t>> leased;
  const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return leased;
  struct {
    nlmsghdr header;
    ifaddrmsg body;
  } request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETADDR;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = 1;
  request.body.ifa_family = AF_INET;
  if (::send(fd, &request, sizeof request, 0) < 0) {
    ::close(fd);
    return leased;
  }
  alignas(nlmsghdr) char buffer[16384];
  bool done = false;
  while (!done) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    int left = static_cast<int>(n);
    for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
      if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) {
        done = true;
        break;
      }
      if (h->nlmsg_type != RTM_NEWADDR) continue;
      const auto* a = static_cast<const ifaddrmsg*>(NLMSG_DATA(h));
      uint32_t flags = a->ifa_flags;
      std::optional<uint32_t> address;
      int attr_left = static_cast<int>(IFA_PAYLOAD(h));
      for (auto* r = IFA_RTA(a); RTA_OK(r, attr_left); r = RTA_NEXT(r, attr_left)) {
        if (r->rta_type == IFA_FLAGS && RTA_PAYLOAD(r) >= 4) std::memcpy(&flags, RTA_DATA(r), 4);
        if (r->rta_type == IFA_LOCAL && RTA_PAYLOAD(r) >= 4) {
          uint32_t network;
          std::memcpy(&network, RTA_DATA(r), 4);
          address = ntohl(network);
        }
      }
      if (address && (flags & IFA_F_PERMANENT) == 0) leased.insert({a->ifa_index, *address});
    }
  }
  ::close(fd);
  return leased;
}

std::optional<std::string> LeaseServer(const std::string& name, unsigned index) {
  if (auto s = DhcpServerFromDhclientLease(ReadFile("/var/lib/dhcp/dhclient." + name + ".leases"))) return s;
  return DhcpServerFromNetworkdLease(ReadFile("/run/systemd/netif/leases/" + std::to_string(index)));
}

std::string Description(const std::string& name) {
  std::error_code ec;
  const auto driver = std::filesystem::read_symlink("/sys/class/net/" + name + "/device/driver", ec);
  if (ec || driver.filename().empty()) return name;
  return name + " (" + driver.filename().string() + ")";
}

bool IsWireless(const std::string& name) {
  std::error_code ec;
  return std::filesystem::exists("/sys/class/net/" + name + "/wireless", ec) ||
         std::filesystem::exists("/sys/class/net/" + name + "/phy80211", ec);
}

}  // namespace

Result<std::vector<config::AdapterInfo>> ListAdapters() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return Status::IOError(std::string("getifaddrs: ") + std::strerror(errno));
  struct Found {
    config::AdapterInfo info;
    unsigned index = 0;
    bool listed = false;
  };
  std::vector<Found> found;
  auto entry = [&](const char* name) -> Found& {
    for (Found& f : found) if (f.info.name == name) return f;
    found.push_back({});
    found.back().info.name = name;
    return found.back();
  };
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || (i->ifa_flags & IFF_LOOPBACK)) continue;
    if (i->ifa_addr->sa_family == AF_PACKET) {
      const auto* ll = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
      if (ll->sll_halen != 6 || ll->sll_hatype != ARPHRD_ETHER) continue;
      Found& f = entry(i->ifa_name);
      f.listed = true;
      f.index = static_cast<unsigned>(ll->sll_ifindex);
      std::copy_n(ll->sll_addr, 6, f.info.hardware_address.begin());
    } else if (i->ifa_addr->sa_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
      entry(i->ifa_name).info.ipv4_addresses.push_back(net::FormatIpv4(ntohl(in->sin_addr.s_addr)));
    }
  }
  ::freeifaddrs(list);

  const std::map<std::string, std::string> gateways = DefaultGateways(ReadFile("/proc/thread-self/net/route"));
  const auto leased = LeasedAddresses();
  std::vector<config::AdapterInfo> adapters;
  for (Found& f : found) {
    if (!f.listed) continue;
    config::AdapterInfo& a = f.info;
    a.wireless = IsWireless(a.name);
    a.ethernet = !a.wireless;
    for (const std::string& ip : a.ipv4_addresses) {
      a.dhcp_enabled = a.dhcp_enabled || leased.count({f.index, net::ParseIpv4(ip).value_or(0)}) > 0;
    }
    if (a.ipv4_addresses.empty()) a.ipv4_addresses.push_back(config::kDefaultAdapterIp);
    auto gw = gateways.find(a.name);
    a.gateway = gw != gateways.end() ? gw->second : "0.0.0.0";
    if (a.dhcp_enabled) a.dhcp_server = LeaseServer(a.name, f.index).value_or("");
    a.name = Description(a.name);
    adapters.push_back(std::move(a));
  }
  return adapters;
}

std::vector<unsigned> BroadcastInterfaces() {
  std::vector<unsigned> out;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return out;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_LOOPBACK) || (i->ifa_flags & IFF_BROADCAST) == 0) continue;
    if (!i->ifa_broadaddr) continue;
    const unsigned index = ::if_nametoindex(i->ifa_name);
    if (index != 0 && std::find(out.begin(), out.end(), index) == out.end()) out.push_back(index);
  }
  ::freeifaddrs(list);
  return out;
}


}  // namespace kt::adapters
