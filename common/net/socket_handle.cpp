#include "common/net/socket_handle.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kt::net {

void SocketHandle::Shutdown() {
  if (!valid()) return;
#ifdef _WIN32
  ::shutdown(s_, SD_BOTH);
#else
  ::shutdown(s_, SHUT_RDWR);
#endif
}

void SocketHandle::Close() {
  if (!valid()) return;
#ifdef _WIN32
  ::closesocket(s_);
#else
  ::close(s_);
#endif
  s_ = kInvalidSocket;
}

}  // namespace kt::net
