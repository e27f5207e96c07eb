#include <winsock2.h>
#include <ws2tcpip.h>
// IP Helper after Winsock.
#include <iphlpapi.h>
#include <netioapi.h>

#include <string>

#include "common/net/udp_socket.h"
#include "common/platform/windows_error.h"
#include "tool/firmware/static_arp.h"

namespace kt::firmware {

ArpEntryResult PinTerminalAddress(uint32_t ip, const config::Mac& mac) {
  using Outcome = ArpEntryResult::Outcome;
  ArpEntryResult result;
  const std::string target = net::FormatIpv4(ip);

  // The interface Windows routes the address through, and whether the route is direct.
  MIB_IPFORWARDROW route{};
  if (const DWORD rc = GetBestRoute(htonl(ip), 0, &route); rc != NO_ERROR) {
    result.detail = "no static ARP entry for " + target + ": no route (" + platform::WindowsErrorText(rc) + ")";
    return result;
  }
  MIB_IF_ROW2 row{};
  row.InterfaceIndex = route.dwForwardIfIndex;
  const bool known = GetIfEntry2(&row) == NO_ERROR;
  result.interface_name = known ? std::to_string(row.InterfaceIndex) + " (" + [&] {
    char alias[256] = {};
    WideCharToMultiByte(CP_UTF8, 0, row.Alias, -1, alias, sizeof alias, nullptr, nullptr);
    return std::string(alias);
  }() + ")" : std::to_string(route.dwForwardIfIndex);
  const char* skip = nullptr;
  if (known && row.Type == IF_TYPE_SOFTWARE_LOOPBACK) skip = "loopback";
  else if (known && (row.Type == IF_TYPE_PPP || row.Type == IF_TYPE_TUNNEL)) skip = "point-to-point";
  else if (route.dwForwardType == MIB_IPROUTE_TYPE_INDIRECT) skip = "through a gateway";
  if (skip != nullptr) {
    result.outcome = Outcome::kSkipped;
    result.detail = "no static ARP entry for " + target + ": reached through " + result.interface_name + " (" + skip + ")";
    return result;
  }

  MIB_IPNET_ROW2 entry{};
  entry.Address.si_family = AF_INET;
  entry.Address.Ipv4.sin_family = AF_INET;
  entry.Address.Ipv4.sin_addr.s_addr = htonl(ip);
  entry.InterfaceIndex = route.dwForwardIfIndex;
  entry.PhysicalAddressLength = static_cast<ULONG>(mac.size());
  for (std::size_t i = 0; i < mac.size(); ++i) entry.PhysicalAddress[i] = mac[i];
  entry.State = NlnsPermanent;
  DWORD rc = CreateIpNetEntry2(&entry);
  if (rc == ERROR_OBJECT_ALREADY_EXISTS) rc = SetIpNetEntry2(&entry);  // replace an older entry
  if (rc != NO_ERROR) {
    if (rc == ERROR_ACCESS_DENIED) {
      result.outcome = Outcome::kNotPermitted;
      result.detail = "warning: no static ARP entry for " + target + " on " + result.interface_name +
                      ": not permitted (needs an administrator); going on without it";
    } else {
      result.detail = "no static ARP entry for " + target + " on " + result.interface_name + ": " +
                      platform::WindowsErrorText(rc);
    }
    return result;
  }
  result.outcome = Outcome::kSet;
  result.detail = "static ARP entry " + target + " on " + result.interface_name;
  return result;
}

}  // namespace kt::firmware
