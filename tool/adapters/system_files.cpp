#include "tool/adapters/system_files.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "common/net/udp_socket.h"
#include "common/text/text.h"

namespace kt::adapters {
namespace {

constexpr unsigned kRouteGatewayFlag = 0x2;  // RTF_GATEWAY

std::vector<std::string_view> Split(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

std::optional<uint32_t> Hex(std::string_view s) {
  const std::optional<long long> v = text::ParseInteger(s, 0, UINT32_MAX, 16);
  if (!v) return std::nullopt;
  return static_cast<uint32_t>(*v);
}

template <typename F>
void ForEachLine(std::string_view text, F f) {
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    f(text.substr(0, nl));
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
}

// A value of a system file: blanks and tabs before it; after it also a CR and the ";" some
// files end a value with.
std::string_view Trim(std::string_view s) {
  return text::TrimRight(text::TrimLeft(s, " \t"), " \t\r;");
}

std::optional<std::string> Ipv4Text(std::string_view s) {
  if (!net::ParseIpv4(s)) return std::nullopt;
  return std::string(s);
}

}  // namespace

std::map<std::string, std::string> DefaultGateways(std::string_view proc_net_route) {
  // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; addresses are the network-order
  // bytes printed as a little-endian host number (010200C0 is 192.0.2.1).
  std::map<std::string, std::pair<uint32_t, std::string>> best;
  ForEachLine(proc_net_route, [&](std::string_view line) {
    const std::vector<std::string_view> f = Split(line);
    if (f.size() < 8) return;
    const auto dest = Hex(f[1]), gw = Hex(f[2]), flags = Hex(f[3]), mask = Hex(f[7]);
    uint32_t metric = 0;
    const auto [end, ec] = std::from_chars(f[6].data(), f[6].data() + f[6].size(), metric);
    if (!dest || !gw || !flags || !mask || ec != std::errc()) return;  // also skips the header line
    if (*dest != 0 || *mask != 0 || (*flags & kRouteGatewayFlag) == 0) return;
    const uint32_t host = ((*gw & 0xFF) << 24) | ((*gw & 0xFF00) << 8) | ((*gw >> 8) & 0xFF00) | (*gw >> 24);
    const std::string name(f[0]);
    auto it = best.find(name);
    if (it == best.end() || metric < it->second.first) best[name] = {metric, net::FormatIpv4(host)};
  });
  std::map<std::string, std::string> out;
  for (auto& [name, v] : best) out[name] = v.second;
  return out;
}

std::optional<std::string> DhcpServerFromDhclientLease(std::string_view text) {
  constexpr std::string_view kKey = "option dhcp-server-identifier ";
  std::optional<std::string> last;
  ForEachLine(text, [&](std::string_view line) {
    line = Trim(line);
    if (line.substr(0, kKey.size()) != kKey) return;
    if (auto ip = Ipv4Text(Trim(line.substr(kKey.size())))) last = ip;
  });
  return last;
}

std::optional<std::string> DhcpServerFromNetworkdLease(std::string_view text) {
  constexpr std::string_view kKey = "SERVER_ADDRESS=";
  std::optional<std::string> found;
  ForEachLine(text, [&](std::string_view line) {
    line = Trim(line);
    if (line.substr(0, kKey.size()) == kKey) found = Ipv4Text(line.substr(kKey.size()));
  });
  return found;
}

}  // namespace kt::adapters
