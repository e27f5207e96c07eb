// The 7-byte datagram header every UDP exchange with a terminal starts with, the MAC that
// follows it in addressed datagrams, the command codes, and the trailing checksum byte.
//
//   0      4        6         7        8                 14
//   +------+--------+---------+--------+-----------------+
//   | KVMP | version| command | byte 7 | MAC (6 bytes)   |   all numbers big-endian
//   +------+--------+---------+--------+-----------------+
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tool/config/configuration.h"

namespace kt::config {

inline constexpr uint16_t kTerminalPort = 10004;

namespace header {
inline constexpr std::size_t kMagic = 0;
inline constexpr std::size_t kVersion = 4;
inline constexpr std::size_t kCommand = 6;
inline constexpr std::size_t kByte7 = 7;
inline constexpr std::size_t kMac = 8;
inline constexpr std::size_t kShortLength = 7;  // the discovery request: header alone
inline constexpr std::size_t kLength = 14;      // header, byte 7 and MAC
}  // namespace header

enum Command : uint8_t {
  kDiscoveryRequest = 0,
  kDiscoveryReply = 1,
  kSetConfig = 2,
  kSetRetalixActivation = 3,
  kRequestLongMessages = 4,
  kLongMessagesReply = 5,
  kSetLongMessages = 6,
  kRequestWireless = 7,
  kWirelessReply = 8,
  kSetWireless = 9,
};

struct Header {
  uint16_t version = 0;
  uint8_t command = 0;
  uint8_t byte7 = 0;
  Mac mac{};
};

// True when `data` holds at least the 7-byte header with the magic "KVMP".
bool HasMagic(std::span<const std::byte> data);
// Version and command of a datagram with the magic; MAC and byte 7 when present (else zero).
// REQUIRES: HasMagic(data)
Header DecodeHeader(std::span<const std::byte> data);
// Writes the 14-byte header at the start of `out` (which must hold 14 bytes).
void EncodeHeader(const Header& h, std::span<std::byte> out);

// The 7-byte discovery request: "KVMP", version 2, command 0.
std::vector<std::byte> EncodeDiscoveryRequest();
// The 14-byte request for command 4 (version 2) or 7 (version 4) to the terminal `mac`.
std::vector<std::byte> EncodeFetchRequest(Command command, const Mac& mac);

// Sum modulo 256 of all bytes.
uint8_t Checksum(std::span<const std::byte> data);
// Appends the checksum of everything before it.
void AppendChecksum(std::vector<std::byte>& datagram);

}  // namespace kt::config
