// One 512-byte node of a compound index tree, decoded (and validated) here only; the writer's
// encoders are in cdx_node_encoder.h.
//
//   common header:  0 attributes u16 (bit 0 root, bit 1 leaf) | 2 key count u16 |
//                   4 left sibling u32 | 8 right sibling u32   (0xFFFFFFFF = none)
//   interior node:  12.. entries of key_length + 8 bytes: key | record u32 BE | child u32 BE
//   leaf node:      12 free bytes u16 | 14 record mask u32 | 18 duplicate mask | 19 trail mask |
//                   20 RN bits | 21 DC bits | 22 TC bits | 23 E (bytes per entry) |
//                   24.. entries of E bytes (LE: record | dup count << RN | trail count << RN+DC),
//                   key bytes packed from 511 downwards (key i = d bytes of key i-1, its own
//                   bytes, t pad bytes)
// All integers little-endian unless marked BE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace kt::data {

inline constexpr uint32_t kCdxNoNode = 0xFFFFFFFF;
inline constexpr std::size_t kCdxPageSize = 512;

struct CdxNode {
  static constexpr std::size_t kAttributesOffset = 0;
  static constexpr std::size_t kKeyCountOffset = 2;
  static constexpr std::size_t kLeftOffset = 4;
  static constexpr std::size_t kRightOffset = 8;
  static constexpr std::size_t kInteriorEntriesOffset = 12;
  static constexpr std::size_t kInteriorSpace = 500;
  static constexpr std::size_t kFreeSpaceOffset = 12;
  static constexpr std::size_t kRecordMaskOffset = 14;
  static constexpr std::size_t kDupMaskOffset = 18;
  static constexpr std::size_t kTrailMaskOffset = 19;
  static constexpr std::size_t kRecordBitsOffset = 20;
  static constexpr std::size_t kDupBitsOffset = 21;
  static constexpr std::size_t kTrailBitsOffset = 22;
  static constexpr std::size_t kEntryBytesOffset = 23;
  static constexpr std::size_t kLeafEntriesOffset = 24;
  static constexpr std::size_t kLeafSpace = 488;
  static constexpr uint16_t kRootBit = 1;
  static constexpr uint16_t kLeafBit = 2;

  uint32_t offset = 0;  // where the page was read
  uint16_t attributes = 0;
  uint32_t left = kCdxNoNode;
  uint32_t right = kCdxNoNode;
  int key_length = 0;
  std::vector<uint8_t> keys;      // size() * key_length bytes, decompressed
  std::vector<uint32_t> records;  // record number of each entry
  std::vector<uint32_t> children; // interior nodes only: child page of each entry

  bool leaf() const { return attributes & kLeafBit; }
  std::size_t size() const { return records.size(); }
  std::string_view key(std::size_t i) const {
    return {reinterpret_cast<const char*>(keys.data()) + i * key_length,
            static_cast<std::size_t>(key_length)};
  }

  // Decodes `page` (512 bytes) read at `offset` of a file of `file_size` bytes for a tag with
  // this key length and trailing pad byte. Every count, mask and pointer is checked; Corruption
  // names the page and the fault.
  static Result<CdxNode> Decode(std::span<const std::byte> page, uint32_t offset, int key_length,
                                uint8_t pad, uint64_t file_size);
};

}  // namespace kt::data
