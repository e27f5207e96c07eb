// Where discovery requests go. Programs take the destination from the environment variable
// KX25_DISCOVERY_TO ("ADDR" or "ADDR:PORT"), so that tests and demonstrations can point them at
// simulated terminals on loopback instead of broadcasting onto a real network.
#pragma once

#include <optional>
#include <string_view>

#include "common/net/udp_socket.h"
#include "common/status.h"

namespace kt::discovery {

inline constexpr const char* kDestinationVariable = "KX25_DISCOVERY_TO";

// "10.1.2.3" or "10.1.2.3:10010"; the port defaults to the terminals' port.
Result<net::UdpEndpoint> ParseDestination(std::string_view text);

// The variable's value parsed; nullopt when unset or empty (the limited broadcast applies).
// A malformed value is an error, so a typo never turns into a broadcast.
Result<std::optional<net::UdpEndpoint>> DestinationFromEnvironment();

}  // namespace kt::discovery
