#include <winsock2.h>
#include <ws2tcpip.h>
// IP Helper after Winsock.
#include <iphlpapi.h>

#include <algorithm>
#include <vector>

#include "tool/adapters/adapter_list.h"

namespace kt::adapters {
namespace {

std::string Dotted(const SOCKADDR* address) {
  if (address == nullptr || address->sa_family != AF_INET) return {};
  char text[INET_ADDRSTRLEN] = {};
  const auto* in = reinterpret_cast<const sockaddr_in*>(address);
  InetNtopA(AF_INET, &in->sin_addr, text, sizeof text);
  return text;
}

std::string Narrow(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(std::max(n - 1, 0)));
  return out;
}

// The IPv4 adapters with their gateways. ERROR_NO_DATA: no adapter at all.
Result<std::vector<std::byte>> QueryAdapters() {
  ULONG size = 16 * 1024;
  std::vector<std::byte> buffer;
  for (int attempt = 0; attempt < 4; ++attempt) {
    buffer.resize(size);
    const ULONG rc = GetAdaptersAddresses(AF_INET, GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_SKIP_DNS_SERVER |
                                                       GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_ANYCAST,
                                          nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    if (rc == NO_ERROR) return buffer;
    if (rc == ERROR_NO_DATA) return std::vector<std::byte>{};
    if (rc == ERROR_NOT_SUPPORTED) {
      return Status::Unavailable("GetAdaptersAddresses is not supported by the operating system running on the local "
                                 "computer");
    }
    if (rc != ERROR_BUFFER_OVERFLOW) return Status::IOError("cannot list the network adapters (error " +
                                                            std::to_string(rc) + ")");
  }
  return Status::IOError("cannot list the network adapters: the list keeps growing");
}

}  // namespace

Result<std::vector<config::AdapterInfo>> ListAdapters() {
  KT_ASSIGN_OR_RETURN(std::vector<std::byte> buffer, QueryAdapters());
  std::vector<config::AdapterInfo> out;
  if (buffer.empty()) return out;
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a != nullptr; a = a->Next) {
    if (a->IfType == IF_TYPE_SOFTWARE_LOOPBACK || a->PhysicalAddressLength != 6) continue;
    config::AdapterInfo info;
    info.name = Narrow(a->Description);
    if (info.name.empty()) info.name = a->AdapterName;
    std::copy_n(a->PhysicalAddress, 6, info.hardware_address.begin());
    info.ethernet = a->IfType == IF_TYPE_ETHERNET_CSMACD;
    info.wireless = a->IfType == IF_TYPE_IEEE80211;
    for (auto* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
      if (std::string dotted = Dotted(u->Address.lpSockaddr); !dotted.empty()) info.ipv4_addresses.push_back(dotted);
    }
    if (info.ipv4_addresses.empty()) info.ipv4_addresses.push_back("0.0.0.0");
    for (auto* g = a->FirstGatewayAddress; g != nullptr && info.gateway.empty(); g = g->Next) {
      info.gateway = Dotted(g->Address.lpSockaddr);
    }
    info.dhcp_enabled = (a->Flags & IP_ADAPTER_DHCP_ENABLED) != 0;
    if (info.dhcp_enabled) info.dhcp_server = Dotted(a->Dhcpv4Server.lpSockaddr);
    out.push_back(std::move(info));
  }
  return out;
}

std::vector<unsigned> BroadcastInterfaces() {
  std::vector<unsigned> out;
  auto buffer = QueryAdapters();
  if (!buffer.ok() || buffer->empty()) return out;
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer->data()); a != nullptr; a = a->Next) {
    if (a->OperStatus != IfOperStatusUp || a->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
    if (a->FirstUnicastAddress == nullptr) continue;
    out.push_back(static_cast<unsigned>(a->IfIndex));
  }
  return out;
}

}  // namespace kt::adapters
