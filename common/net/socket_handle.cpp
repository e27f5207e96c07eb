#include "common/net/socket_handle.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include "common/platform/sockets/socket_system.h"

namespace kt::net {

void SocketHandle::Shutdown() {
  if (!valid()) return;
  sys::ShutdownBoth(s_);
}

void SocketHandle::Close() {
  if (!valid()) return;
  sys::Forget(s_);
#ifdef _WIN32
  ::closesocket(s_);
#else
  ::close(s_);
#endif
  s_ = kInvalidSocket;
}

}  // namespace kt::net
