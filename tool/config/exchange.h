// The configuration exchanges with one terminal: fetching the long-message and wireless records,
// reading a terminal's whole configuration, and the apply sequence 6 -> 9 -> 3 -> 2.
//
// Every exchange opens its own UDP socket bound to the chosen adapter address and port, sends to
// the destination (255.255.255.255:10004 unless told otherwise) and addresses the terminal by the
// MAC inside the datagram. Failures of the socket calls go to an ExchangeErrors sink, which the
// window shows in a box captioned kErrorCaption and kx25ctl prints; a fetch that gets no answer
// reports nothing. Writing is fire-and-forget: no acknowledgement is read.
//
// Thread safety: each call is self-contained; the caller's thread blocks for its duration (a fetch
// about 2 s at most, an apply up to three 2000 ms pauses).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/net/udp_socket.h"
#include "common/status.h"
#include "tool/config/configuration.h"
#include "tool/config/long_message_record.h"
#include "tool/config/record_header.h"
#include "tool/config/wireless_record.h"

namespace kt::config {

inline constexpr const char* kErrorCaption = "An error has occurred...";

// Where errors go. ShowError gets the system's text for a failed socket call, or the reason an
// apply was refused.
class ExchangeErrors {
 public:
  virtual ~ExchangeErrors() = default;
  virtual void ShowError(const std::string& system_text) = 0;
};

struct ExchangeOptions {
  uint32_t bind_address = net::kAnyAddress;  // adapter address of the tool settings
  uint16_t bind_port = 0;                    // broadcast port of the tool settings
  net::UdpEndpoint destination{net::kLimitedBroadcast, kTerminalPort};
  int fetch_rounds = 10;
  std::chrono::milliseconds fetch_round_pause{200};
  std::chrono::milliseconds apply_pause{2000};  // after commands 6, 9 and 3
};

// Requests the long-message record of `mac` (command 4) and returns the first reply with command
// 5, version 2, 3 or 4 and the same MAC; nullopt when none came within the rounds or a socket
// call failed (reported).
std::optional<LongMessages> FetchLongMessages(const ExchangeOptions& o, const Mac& mac,
                                              int codepage, ExchangeErrors& errors);
// The same for the wireless record (command 7; reply command 8, version exactly 4).
std::optional<WirelessRecord> FetchWireless(const ExchangeOptions& o, const Mac& mac,
                                            ExchangeErrors& errors);

// Completes a configuration decoded from a discovery reply: from firmware 2.10 on, when a short
// line may continue past its 20 bytes, the long lines replace the short ones; from firmware 3.00
// on the wireless record replaces the wireless values. A fetch without answer keeps the short
// values and leaves the configuration marked as lacking that record, so it cannot be applied.
Configuration CompleteConfiguration(Configuration c, const ExchangeOptions& o,
                                    ExchangeErrors& errors);

struct ApplyOptions {
  bool retail_chain_mode = false;  // the "MARLO" start word: send command 3 before command 2
};

// What the apply sequence sent, in order, with the size of each datagram and whether it left
// whole.
struct SentDatagram {
  Command command;
  std::size_t size;
  bool complete;
};

// Where the apply sequence sends its datagrams; returns the bytes the system took.
class DatagramSender {
 public:
  virtual ~DatagramSender() = default;
  virtual Result<std::size_t> Send(std::span<const std::byte> datagram) = 0;
};

// The apply sequence over any sender. A configuration that lacks an extension record the
// terminal holds (MissingForApply) is refused: the reason goes to `errors` and nothing is sent.
// Otherwise: command 6 (firmware 2.10 on and a line needing more than 20 bytes),
// command 9 (firmware 3.00 on), command 3 (retail-chain mode; a failed send stops the sequence
// before command 2), command 2. Pauses o.apply_pause after each complete 6, 9 and 3.
std::vector<SentDatagram> RunApplySequence(const Configuration& c, const ApplyOptions& a,
                                           DatagramSender& sender, std::chrono::milliseconds pause,
                                           ExchangeErrors& errors);

// The apply sequence on its own socket, sent to o.destination.
std::vector<SentDatagram> ApplyConfiguration(const Configuration& c, const ApplyOptions& a,
                                             const ExchangeOptions& o, ExchangeErrors& errors);

// Opens a socket the way every exchange does: bound to the adapter, broadcast on, 1000 ms
// receive time-out; `receive_buffer` > 0 also asks for that receive buffer.
Result<net::UdpSocket> OpenExchangeSocket(const ExchangeOptions& o, int receive_buffer);

}  // namespace kt::config
