#include "server/net/echo_client.h"

#include "common/net/tcp_socket.h"
#include "server/net/server_flags.h"

namespace kt::net {

bool MYSOCKET::Connect(std::string_view ip, uint16_t port) {
  auto s = TcpConnect(ip, port, timeout_);
  if (!s.ok()) return false;
  socket_ = std::move(*s);
  return true;
}

int MYSOCKET::LineSend(std::string_view text) {
  if (!socket_.valid() || text.empty()) return 0;
  for (int attempt = 0;; ++attempt) {
    Status st = SendAll(socket_, text, timeout_);
    if (st.ok()) {
      if (status_handler) status_handler(std::string("S: ") + std::string(text));
      return static_cast<int>(text.size());
    }
    if (!st.IsUnavailable() || attempt + 1 >= retries_) return 0;
  }
}

KTECHOCLIENT::KTECHOCLIENT(ServerFlags& flags, std::string_view protocol,
                           std::chrono::milliseconds timeout)
    : flags_(flags), stream_(protocol != "UDP"), timeout_(timeout) {}

void KTECHOCLIENT::SENDCONNECT(uint16_t port, std::string_view text) {
  if (!stream_) return;
  MYSOCKET sock(timeout_, kSendRetries);
  if (sock.Connect("127.0.0.1", port) && sock.LineSend(text) > 0) flags_.probe_sent = true;
  sock.Disconnect();
}

}  // namespace kt::net
