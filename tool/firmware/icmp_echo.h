// One ICMP echo request and its reply: the reachability check of the terminal window.
//
// Linux (icmp_echo.cpp): the socket is an ICMP datagram socket when the system allows it to this
// user (net.ipv4.ping_group_range), a raw ICMP socket otherwise (root or CAP_NET_RAW). When
// neither is permitted, Open() fails with Unavailable and a text that says so: the caller then
// does without the check (a terminal must never be given up because this PC may not ping).
// Windows (icmp_echo_windows.cpp): IcmpCreateFile/IcmpSendEcho, which need no privilege.
//
// A check sends `data_size` bytes of 0x45 ('E') and succeeds only when the matching reply comes
// back within the time-out with exactly those bytes. Fragmenting is allowed unless
// dont_fragment is set (the kernel's default would set DF).
//
// Thread safety: one IcmpEcho per thread; move-only.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/net/socket_handle.h"
#include "common/status.h"

namespace kt::firmware {

struct EchoOptions {
  uint8_t ttl = 10;
  std::chrono::milliseconds timeout{500};
  std::size_t data_size = 32;
  uint8_t tos = 0;
  bool dont_fragment = false;
};

struct EchoReply {
  uint32_t from = 0;  // host order
  std::chrono::microseconds round_trip{0};
};

class IcmpEcho {
 public:
  // Unavailable("ICMP echo not permitted ...") when this process may open no ICMP socket;
  // IOError for other failures.
  static Result<IcmpEcho> Open();

  // Sends one echo request to `ip` (host order) and waits for its reply. Unavailable on time-out;
  // Corruption when the reply's data differs; IOError when sending fails.
  Result<EchoReply> Check(uint32_t ip, const EchoOptions& options = {});

  bool raw() const { return raw_; }

 private:
#ifdef _WIN32
  struct CloseIcmp {
    void operator()(void* handle) const;
  };
  explicit IcmpEcho(void* handle) : icmp_(handle) {}
  std::unique_ptr<void, CloseIcmp> icmp_;  // from IcmpCreateFile
#else
  IcmpEcho(net::SocketHandle s, bool raw) : socket_(std::move(s)), raw_(raw) {}

  net::SocketHandle socket_;
#endif
  bool raw_ = false;
  uint16_t id_ = 0;
  uint16_t sequence_ = 0;
};

// Dotted IPv4 text or a host name (first IPv4 address) to a host-order address.
std::optional<uint32_t> ResolveIpv4(std::string_view host);

}  // namespace kt::firmware
