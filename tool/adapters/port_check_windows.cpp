#include <winsock2.h>

#include "tool/adapters/port_check.h"

namespace kt::adapters {

PortCheck CheckLocalPort(uint16_t port) {
  if (port == 0) return PortCheck::kUsable;
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return PortCheck::kOtherError;
  // Taken by another program only when it holds the port exclusively; no port needs privilege.
  BOOL exclusive = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(INADDR_ANY);
  const int rc = ::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  const int error = WSAGetLastError();
  ::closesocket(s);
  if (rc == 0) return PortCheck::kUsable;
  if (error == WSAEACCES) return PortCheck::kInUse;  // another program holds it exclusively
  if (error == WSAEADDRINUSE) return PortCheck::kInUse;
  return PortCheck::kOtherError;
}

}  // namespace kt::adapters
