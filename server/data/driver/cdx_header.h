// The 1024-byte header of one tag of a compound index (also the file header at offset 0, which
// heads the tag directory). Decoded and encoded here only.
//
//   0 root node offset u32 | 4 free list u32 | 8 change counter (4 bytes) | 12 key length u16 |
//   14 options | 15 signature | 16-501 reserved | 502 order u16 (1 = descending) |
//   504 pool bookkeeping u16 | 506 FOR length u16 (incl. NUL) | 508 key start u16 |
//   510 key length u16 (incl. NUL) | 512-1023 pool: key expression NUL FOR expression NUL
// All integers little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/status.h"

namespace kt::data {

struct CdxTagHeader {
  static constexpr std::size_t kEncodedLength = 1024;
  static constexpr std::size_t kRootOffset = 0;
  static constexpr std::size_t kFreeListOffset = 4;
  static constexpr std::size_t kCounterOffset = 8;
  static constexpr std::size_t kKeyLengthOffset = 12;
  static constexpr std::size_t kOptionsOffset = 14;
  static constexpr std::size_t kSignatureOffset = 15;
  static constexpr std::size_t kOrderOffset = 502;
  static constexpr std::size_t kPoolInfoOffset = 504;
  static constexpr std::size_t kForLengthOffset = 506;
  static constexpr std::size_t kKeyStartOffset = 508;
  static constexpr std::size_t kKeyExprLengthOffset = 510;
  static constexpr std::size_t kPoolOffset = 512;
  static constexpr std::size_t kPoolLength = 512;
  static constexpr int kMaxKeyLength = 240;

  static constexpr uint8_t kUnique = 0x01;
  static constexpr uint8_t kHasFor = 0x08;
  static constexpr uint8_t kCompact = 0x20;
  static constexpr uint8_t kCompound = 0x40;
  static constexpr uint8_t kDirectory = 0x80;

  uint32_t root = 0;
  uint32_t free_list = 0;
  uint32_t counter = 0;  // kept as read (big-endian in files of the open-source writers)
  uint16_t key_length = 0;
  uint8_t options = kCompact | kCompound;
  uint8_t signature = 1;
  bool descending = false;
  std::string key_expression;
  std::string for_expression;

  bool unique() const { return options & kUnique; }

  // Corruption when `bytes` is shorter than 1024, the key length is not 1..240 or the pool does
  // not hold the expressions.
  static Result<CdxTagHeader> Decode(std::span<const std::byte> bytes);
  // Appends exactly kEncodedLength bytes. REQUIRES: both expressions fit the pool together.
  void EncodeTo(std::vector<std::byte>& out) const;
};

}  // namespace kt::data
