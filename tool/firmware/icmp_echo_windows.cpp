#include <winsock2.h>
#include <ws2tcpip.h>
// IP Helper after Winsock.
#include <iphlpapi.h>
#include <icmpapi.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "common/net/udp_socket.h"
#include "common/platform/windows_error.h"
#include "tool/firmware/icmp_echo.h"

namespace kt::firmware {
namespace {

constexpr uint8_t kFill = 0x45;

}  // namespace

void IcmpEcho::CloseIcmp::operator()(void* handle) const { IcmpCloseHandle(handle); }

Result<IcmpEcho> IcmpEcho::Open() {
  HANDLE h = IcmpCreateFile();
  if (h == INVALID_HANDLE_VALUE) {
    return Status::IOError("icmp handle: " + platform::WindowsErrorText(GetLastError()));
  }
  return IcmpEcho(h);
}

Result<EchoReply> IcmpEcho::Check(uint32_t ip, const EchoOptions& o) {
  std::vector<uint8_t> data(o.data_size, kFill);
  // Room for the reply structure, the echoed data and an ICMP error (8 bytes) with the header.
  std::vector<uint8_t> reply(sizeof(ICMP_ECHO_REPLY) + o.data_size + 8 + 64);
  IP_OPTION_INFORMATION options{};
  options.Ttl = o.ttl;
  options.Tos = o.tos;
  options.Flags = o.dont_fragment ? IP_FLAG_DF : 0;
  IPAddr to = htonl(ip);
  const auto started = std::chrono::steady_clock::now();
  const DWORD n = IcmpSendEcho(icmp_.get(), to, data.data(), static_cast<WORD>(data.size()), &options, reply.data(),
                               static_cast<DWORD>(reply.size()), static_cast<DWORD>(o.timeout.count()));
  if (n == 0) {
    const DWORD err = GetLastError();
    if (err == IP_REQ_TIMED_OUT || err == ERROR_TIMEOUT) {
      return Status::Unavailable("no echo reply within " + std::to_string(o.timeout.count()) + " ms");
    }
    return Status::IOError("echo request: " + platform::WindowsErrorText(err));
  }
  const auto* r = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
  if (r->Status == IP_REQ_TIMED_OUT) {
    return Status::Unavailable("no echo reply within " + std::to_string(o.timeout.count()) + " ms");
  }
  if (r->Status != IP_SUCCESS) return Status::Unavailable("echo failed: IP status " + std::to_string(r->Status));
  const auto* got = static_cast<const uint8_t*>(r->Data);
  const bool data_ok = r->DataSize == o.data_size && std::all_of(got, got + r->DataSize, [](uint8_t b) {
                         return b == kFill;
                       });
  if (!data_ok) return Status::Corruption("echo reply with other data");
  EchoReply out;
  out.from = ntohl(r->Address);
  out.round_trip = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
  return out;
}

std::optional<uint32_t> ResolveIpv4(std::string_view host) {
  if (auto ip = net::ParseIpv4(host)) return ip;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* list = nullptr;
  if (::getaddrinfo(std::string(host).c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return std::nullopt;
  const uint32_t ip = ntohl(reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(list);
  return ip;
}

}  // namespace kt::firmware
