// A blocking IPv4 UDP socket with the few options the terminal protocol needs.
//
// Addresses are host-order 32-bit values (0x7F000001 is 127.0.0.1) and ports host-order 16-bit
// values. Every call returns a Status carrying the system's error text on failure, so callers can
// show "the system's text for the last socket error" without touching errno.
//
// Broadcast reception on Linux: a socket bound to a unicast address does not receive datagrams
// sent to 255.255.255.255. BindToAdapter() therefore binds to 0.0.0.0 and pins the socket to the
// interface that owns the address (SO_BINDTODEVICE), and SendTo() then names that address as the
// source of every datagram (IP_PKTINFO). See BindToAdapter() for the fallbacks.
//
// Thread safety: one thread may block in Receive() while another calls SendTo() or Shutdown();
// everything else belongs to one thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/net/socket_handle.h"
#include "common/status.h"

namespace kt::net {

inline constexpr uint32_t kAnyAddress = 0;                // 0.0.0.0
inline constexpr uint32_t kLimitedBroadcast = 0xFFFFFFFFu;  // 255.255.255.255

// Parses dotted IPv4 text ("192.168.1.20") into a host-order value; nullopt unless it is exactly
// four decimal numbers of at most three digits, each 0-255.
std::optional<uint32_t> ParseIpv4(std::string_view text);
// Host-order value to dotted text, first octet = most significant byte.
std::string FormatIpv4(uint32_t address);

struct UdpEndpoint {
  uint32_t address = 0;  // host order
  uint16_t port = 0;
};

struct ReceivedDatagram {
  std::size_t length = 0;  // bytes stored in the caller's buffer
  bool truncated = false;  // the datagram was longer than the buffer; the rest is gone
  UdpEndpoint sender;
};

class UdpSocket {
 public:
  UdpSocket() = default;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;
  UdpSocket(UdpSocket&&) = default;
  UdpSocket& operator=(UdpSocket&&) = default;

  // Creates an IPv4 datagram socket.
  static Result<UdpSocket> Open();

  bool valid() const { return handle_.valid(); }

  // Plain bind to address:port.
  Status Bind(uint32_t address, uint16_t port);

  // Binds so that the socket sends from `address` and also hears broadcasts arriving on the
  // interface that owns it. 0.0.0.0 is a plain bind to any address. For a unicast address the
  // socket binds 0.0.0.0:port on that interface; when the interface cannot be found or pinned
  // (no privilege, not a local address), it falls back to a plain bind to address:port, which
  // still hears unicast replies.
  Status BindToAdapter(uint32_t address, uint16_t port);

  Status EnableBroadcast();
  // Asks for a receive buffer of `bytes`; the system may grant less.
  Status SetReceiveBuffer(int bytes);
  Status SetReceiveTimeout(std::chrono::milliseconds timeout);

  // Sends one datagram; returns the number of bytes the system accepted.
  Result<std::size_t> SendTo(const UdpEndpoint& to, std::span<const std::byte> data);
  // Sends one datagram out of the interface with this index (a limited broadcast otherwise
  // leaves only by the default route's interface).
  Result<std::size_t> SendVia(unsigned interface_index, const UdpEndpoint& to, std::span<const std::byte> data);

  // Waits for one datagram (bounded by the receive time-out). A time-out is Unavailable.
  Result<ReceivedDatagram> Receive(std::span<std::byte> buffer);

  // The local endpoint the system assigned.
  Result<UdpEndpoint> LocalEndpoint() const;

  // Wakes a thread blocked in Receive(); the socket stays open.
  void Shutdown() { handle_.Shutdown(); }
  void Close() { handle_.Close(); }

 private:
  explicit UdpSocket(SocketHandle h) : handle_(std::move(h)) {}
  // interface_index 0 = the routing table decides.
  Result<std::size_t> SendWithInfo(const UdpEndpoint& to, std::span<const std::byte> data, unsigned interface_index);

  SocketHandle handle_;
  uint32_t source_address_ = 0;  // set by BindToAdapter when bound to 0.0.0.0 on a device
};

}  // namespace kt::net
