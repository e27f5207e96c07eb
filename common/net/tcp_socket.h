// A thin blocking TCP layer over SocketHandle, in the shape BSD sockets and Winsock share.
//
// Every call that can block takes a timeout, so no thread ever waits without bound: a reader
// wakes up at least once per timeout to re-check whether it should go on. Timeouts are reported
// as Status::Unavailable ("nothing yet, try again"); a peer that closed the connection as
// NotFound from RecvSome; anything else as IOError. Sends never raise SIGPIPE.
//
// Thread safety: free functions; one socket may be read by one thread while another thread
// calls Shutdown() on it to wake the reader.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/net/socket_handle.h"
#include "common/status.h"

namespace kt::net {

using Millis = std::chrono::milliseconds;

struct PeerAddress {
  std::string ip;  // dotted IPv4 text
  uint16_t port = 0;
};

// Binds a stream socket to `bind_ip`:`port` (an empty ip or "0.0.0.0" means every local
// address; port 0 picks a free one) and listens with `backlog`. SO_REUSEADDR is set so a
// restarted server can bind at once while old connections linger in TIME_WAIT.
Result<SocketHandle> TcpListen(std::string_view bind_ip, uint16_t port, int backlog);

// The local port a bound socket got (useful after binding port 0).
Result<uint16_t> LocalPort(const SocketHandle& s);

// Waits up to `timeout` for a connection. Unavailable when none came in time.
Result<SocketHandle> TcpAccept(const SocketHandle& listener, Millis timeout);

// Connects to `ip`:`port` within `timeout`. With a non-empty `source_ip` the socket is bound to
// that local address first (tests and the simulator use 127.x.y.z to look like many terminals).
Result<SocketHandle> TcpConnect(std::string_view ip, uint16_t port, Millis timeout,
                                std::string_view source_ip = {});

// Sends every byte of `data`, waiting at most `timeout` for room in the send buffer each time.
// Unavailable when the peer did not drain in time; IOError when the connection failed.
Status SendAll(const SocketHandle& s, std::string_view data, Millis timeout);

// Receives what is there, up to buf.size() bytes, waiting at most `timeout` for the first byte.
// Returns the count (> 0); Unavailable on timeout; NotFound when the peer closed the connection;
// IOError on a reset or other failure.
Result<std::size_t> RecvSome(const SocketHandle& s, std::span<char> buf, Millis timeout);

// True when the peer has closed its side (an orderly end or a reset) without consuming data.
bool PeerHasClosed(const SocketHandle& s);

// The remote end of a connected socket.
Result<PeerAddress> GetPeerAddress(const SocketHandle& s);

// Disables Nagle's algorithm: replies are small and must leave at once.
void SetNoDelay(const SocketHandle& s);

// Turns TCP keepalive on: after `idle` without traffic the system probes the peer every
// `interval`; after `count` unanswered probes (or a reset in answer) the connection fails and a
// waiting read returns an error. A peer that vanished without closing (power cut, cable pulled)
// is noticed this way. False when the system refused an option.
bool SetKeepAlive(const SocketHandle& s, std::chrono::seconds idle, std::chrono::seconds interval, int count);

}  // namespace kt::net
