// Whether the tool may bind its UDP sockets to a local port. On Linux a port below 1024 needs
// privilege (root or CAP_NET_BIND_SERVICE); the adapter dialog says so instead of letting every
// scan fall back silently to a port the system chooses. Windows needs no privilege for any port
// (port_check_windows.cpp).
#pragma once

#include <cstdint>

namespace kt::adapters {

enum class PortCheck { kUsable, kNeedsPrivilege, kInUse, kOtherError };

// Tries to bind a UDP socket to 0.0.0.0:port and releases it at once. Port 0 is always usable.
PortCheck CheckLocalPort(uint16_t port);

}  // namespace kt::adapters
