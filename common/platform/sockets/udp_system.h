// Shared helpers of UdpSocket's portable part (common/net/udp_socket.cpp) and its system parts
// (udp_system_linux.cpp, udp_system_windows.cpp: BindToAdapter, SendWithInfo, Receive).
#pragma once

#include <cstdint>
#include <string>

#include "common/platform/sockets/socket_system.h"

namespace kt::net::udp_system {

inline Status SystemError(const char* what) { return Status::IOError(sys::LastErrorText(what)); }

inline sockaddr_in ToSockaddr(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

}  // namespace kt::net::udp_system
