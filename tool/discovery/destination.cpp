#include "tool/discovery/destination.h"

#include <cstdlib>
#include <string>

#include "common/text/text.h"
#include "tool/config/record_header.h"

namespace kt::discovery {

Result<net::UdpEndpoint> ParseDestination(std::string_view text) {
  std::string_view address = text, port;
  if (const auto colon = text.find(':'); colon != std::string_view::npos) {
    address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  const std::optional<uint32_t> ip = net::ParseIpv4(address);
  if (!ip) return Status::InvalidArgument("'" + std::string(text) + "' is not an IPv4 address");
  net::UdpEndpoint to{*ip, config::kTerminalPort};
  if (text.find(':') != std::string_view::npos) {
    const std::optional<long long> value = text::ParseInteger(port, 1, 65535);
    if (!value) return Status::InvalidArgument("bad port in '" + std::string(text) + "'");
    to.port = static_cast<uint16_t>(*value);
  }
  return to;
}

Result<std::optional<net::UdpEndpoint>> DestinationFromEnvironment() {
  const char* value = std::getenv(kDestinationVariable);
  if (value == nullptr || *value == '\0') return std::optional<net::UdpEndpoint>();
  Result<net::UdpEndpoint> parsed = ParseDestination(value);
  if (!parsed.ok()) return Status::InvalidArgument(std::string(kDestinationVariable) + ": " + parsed.status().message());
  return std::optional<net::UdpEndpoint>(*parsed);
}

}  // namespace kt::discovery
