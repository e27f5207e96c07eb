// Owning handle of one OS socket, in the shape Winsock and BSD sockets share.
//
// Move-only; closes the socket when destroyed. The native type is `int` on POSIX and `SOCKET`
// on Windows, so callers never carry #ifdefs. Closing a socket that another thread is blocked on
// is the shutdown signal for that thread: use Shutdown() first so blocked calls return at once.
#pragma once

#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#endif

namespace kt::net {

#ifdef _WIN32
using NativeSocket = SOCKET;
inline constexpr NativeSocket kInvalidSocket = INVALID_SOCKET;
#else
using NativeSocket = int;
inline constexpr NativeSocket kInvalidSocket = -1;
#endif

class SocketHandle {
 public:
  SocketHandle() = default;
  explicit SocketHandle(NativeSocket s) : s_(s) {}
  ~SocketHandle() { Close(); }

  SocketHandle(const SocketHandle&) = delete;
  SocketHandle& operator=(const SocketHandle&) = delete;
  SocketHandle(SocketHandle&& o) noexcept : s_(std::exchange(o.s_, kInvalidSocket)) {}
  SocketHandle& operator=(SocketHandle&& o) noexcept {
    if (this != &o) {
      Close();
      s_ = std::exchange(o.s_, kInvalidSocket);
    }
    return *this;
  }

  bool valid() const { return s_ != kInvalidSocket; }
  NativeSocket get() const { return s_; }
  NativeSocket release() { return std::exchange(s_, kInvalidSocket); }

  // Wakes any thread blocked in a call on this socket (both directions); the handle stays open.
  void Shutdown();
  void Close();

 private:
  NativeSocket s_ = kInvalidSocket;
};

}  // namespace kt::net
