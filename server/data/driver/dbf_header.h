// The table file header: the 32-byte prefix plus the field descriptors, decoded and encoded here
// and nowhere else.
//
//   offset 0                 32                      32+32*n
//   +------------------------+-----------------------+----+---------+----------------------+
//   | prefix (32 bytes)      | n descriptors (32 ea) | 0D | padding | records from          |
//   +------------------------+-----------------------+----+---------+ header_length        |
//
//   prefix:     0 version | 1-3 last update Y M D | 4 record count u32 | 8 header length u16 |
//               10 record length u16 | 12-27 reserved | 28 table flags | 29 code page | 30 reserved
//   descriptor: 0 name (11, NUL padded) | 11 type | 12 offset u32 | 16 width | 17 decimals |
//               18 flags | 19-31 reserved
// All integers little-endian. A C field's width is width + 256 * decimals (long character fields).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace kt::data {

struct DbfField {
  std::string name;     // as stored, up to the first NUL
  char type = 'C';
  uint16_t width = 0;   // real width (long C widths resolved)
  uint8_t decimals = 0; // 0 for long C fields
  uint8_t flags = 0;    // descriptor byte 18
  uint32_t offset = 0;  // from the start of the record (the deletion flag is byte 0)
};

struct DbfHeader {
  static constexpr std::size_t kPrefixLength = 32;
  static constexpr std::size_t kDescriptorLength = 32;
  static constexpr std::size_t kMaxFields = 2046;  // (65535 - 33) / 32
  // Prefix offsets.
  static constexpr std::size_t kVersionOffset = 0;
  static constexpr std::size_t kDateOffset = 1;
  static constexpr std::size_t kRecordCountOffset = 4;
  static constexpr std::size_t kHeaderLengthOffset = 8;
  static constexpr std::size_t kRecordLengthOffset = 10;
  static constexpr std::size_t kTableFlagsOffset = 28;
  static constexpr std::size_t kCodePageOffset = 29;
  // Descriptor offsets.
  static constexpr std::size_t kNameLength = 11;
  static constexpr std::size_t kTypeOffset = 11;
  static constexpr std::size_t kFieldOffsetOffset = 12;
  static constexpr std::size_t kWidthOffset = 16;
  static constexpr std::size_t kDecimalsOffset = 17;
  static constexpr std::size_t kFieldFlagsOffset = 18;

  static constexpr uint8_t kTerminator = 0x0D;
  static constexpr uint8_t kEndOfFile = 0x1A;
  static constexpr uint8_t kStructuralIndexFlag = 0x01;

  uint8_t version = 0x03;
  uint8_t year = 0;  // as stored (years since 1900 for version 0x03)
  uint8_t month = 1;
  uint8_t day = 1;
  uint32_t record_count = 0;
  uint16_t header_length = 0;
  uint16_t record_length = 0;
  uint8_t table_flags = 0;
  uint8_t code_page = 0;
  std::vector<DbfField> fields;

  // The header length promised by the first 32 bytes. Corruption when fewer than 32 bytes.
  static Result<uint16_t> DecodeHeaderLength(std::span<const std::byte> prefix);

  // Decodes the whole header from `bytes` (at least header_length bytes; more is ignored).
  // Validates every number against the bytes present; Corruption with a message naming the fault.
  static Result<DbfHeader> Decode(std::span<const std::byte> bytes);

  // Encodes header_length bytes: prefix, descriptors, 0x0D and zero padding.
  // REQUIRES: header_length >= 32 + 32 * fields.size() + 1.
  void EncodeTo(std::vector<std::byte>& out) const;

  // Header length a new table with `field_count` fields gets (with the pad byte after 0x0D).
  static uint16_t NewHeaderLength(std::size_t field_count) {
    return static_cast<uint16_t>(kPrefixLength + kDescriptorLength * field_count + 2);
  }
};

}  // namespace kt::data
