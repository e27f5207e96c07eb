#include "tool/adapters/port_check.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace kt::adapters {

PortCheck CheckLocalPort(uint16_t port) {
  if (port == 0) return PortCheck::kUsable;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return PortCheck::kOtherError;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(INADDR_ANY);
  const int rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  const int error = errno;
  ::close(fd);
  if (rc == 0) return PortCheck::kUsable;
  if (error == EACCES || error == EPERM) return PortCheck::kNeedsPrivilege;
  if (error == EADDRINUSE) return PortCheck::kInUse;
  return PortCheck::kOtherError;
}

}  // namespace kt::adapters
