// The port the price-check server listens on unless its settings name another: the one default
// for the settings table, the server's start-up and the listener.
#pragma once

#include <cstdint>

namespace kt::net {

inline constexpr uint16_t kDefaultServerPort = 9101;

}  // namespace kt::net
