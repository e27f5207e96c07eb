// The long-message record: message lines of 60 instead of 20 text bytes (firmware 2.10 on).
//
//   0 header(14)  14 idle1(64)  78 idle2  142 idle3  206 error1  270 error2  334 offline
//   [398 checksum]
// Each 64-byte line: text(60), font, X, Y, alignment code. Command 5 in the reply, 6 when set.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "common/status.h"
#include "tool/config/configuration.h"

namespace kt::config {

namespace long_message_record {
inline constexpr std::size_t kLength = 398;
inline constexpr std::size_t kLengthWithChecksum = 399;
inline constexpr std::size_t kLines = 14;  // idle 1-3, error 1-2, offline, 64 bytes each
inline constexpr std::size_t kLineLength = 64;
inline constexpr std::size_t kLineTextLength = 60;
}  // namespace long_message_record

struct LongMessages {
  uint16_t version = 0;
  Mac mac{};
  std::array<MessageLine, kLineCount> lines;  // in LineIndex order
};

// Decodes a long-message reply; texts use `codepage` (the configuration record's). Needs 398
// bytes or more and the magic; version, command and MAC are the caller's to judge.
Result<LongMessages> DecodeLongMessages(std::span<const std::byte> data, int codepage);

// Takes an accepted reply into `c`: idle and error lines always; the offline line, and version 2
// as the terminal's version, only from a version-2 reply.
void TakeLongMessages(Configuration& c, const LongMessages& m);

// The set-long-messages datagram (command 6) with the terminal's reported version: 398 bytes,
// 399 with the checksum from firmware 3.00 on.
std::vector<std::byte> EncodeLongMessages(const Configuration& c);

}  // namespace kt::config
