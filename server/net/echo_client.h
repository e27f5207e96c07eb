// The loopback self-test client: proves that the server's own port can be reached.
//
// MYSOCKET is a client stream socket whose line send writes exactly the bytes given (no line
// end) and retries a send that timed out. KTECHOCLIENT::SENDCONNECT connects to 127.0.0.1 at
// the port, sends the test text once and sets the probe-sent flag when at least one byte went
// out. A new client object is made for every probe; nothing is logged on failure (the next
// check simply probes again).
//
// Thread safety: one object per thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/net/socket_handle.h"

namespace kt::net {

struct ServerFlags;

class MYSOCKET {
 public:
  MYSOCKET(std::chrono::milliseconds timeout, int retry_limit) : timeout_(timeout), retries_(retry_limit) {}

  bool Connect(std::string_view ip, uint16_t port);
  // Sends `text`; a timed-out send is tried again while fewer than the retry limit attempts
  // failed. Returns the bytes sent (> 0) or 0 on failure. Reports "S: " + text to the status
  // handler on success.
  int LineSend(std::string_view text);
  void Disconnect() { socket_.Close(); }

  std::function<void(std::string_view)> status_handler;

 private:
  SocketHandle socket_;
  const std::chrono::milliseconds timeout_;
  const int retries_;
};

class KTECHOCLIENT {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeout{1000};
  static constexpr int kSendRetries = 3;

  // `protocol` "TCP" (or anything but "UDP") selects a stream socket; only stream probes are
  // made, a datagram client sends nothing.
  KTECHOCLIENT(ServerFlags& flags, std::string_view protocol = "TCP",
               std::chrono::milliseconds timeout = kDefaultTimeout);

  // One probe of `port` on 127.0.0.1 carrying `text`.
  void SENDCONNECT(uint16_t port, std::string_view text);

 private:
  ServerFlags& flags_;
  const bool stream_;
  const std::chrono::milliseconds timeout_;
};

}  // namespace kt::net
