// Encoding compound index nodes (the layout is drawn in cdx_node.h), for the bulk builder and
// the index updater.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "server/data/driver/cdx_node.h"

namespace kt::data {

// Bit widths of a leaf's entries: E bytes holding RN record bits, DC duplicate-count bits and
// TC trailing-count bits.
struct LeafLayout {
  unsigned entry_bytes = 3;
  unsigned record_bits = 16;
  unsigned dup_bits = 4;
  unsigned trail_bits = 4;

  // The narrowest layout for keys of `key_length` bytes and record numbers up to `max_record`
  // (DC = TC = significant bits of the key length; RN widened a byte at a time).
  static LeafLayout For(int key_length, uint64_t max_record);
};

// Stored size of one key in a leaf: its own bytes after `dup` shared leading bytes and
// `trail` trailing pad bytes are dropped.
struct LeafKeySplit {
  std::size_t dup = 0;
  std::size_t trail = 0;
};
// `prev` is the previous key in the same leaf, or empty for the first key.
LeafKeySplit SplitLeafKey(std::string_view key, std::string_view prev, uint8_t pad);

struct LeafEntryRef {
  std::string_view key;  // key_length bytes
  uint32_t record;
};

// Bytes the entries take of a leaf's key area (at most CdxNode::kLeafSpace when they fit).
std::size_t LeafUsedBytes(const std::vector<LeafEntryRef>& entries, const LeafLayout& layout,
                          uint8_t pad);

// Encodes a 512-byte leaf. REQUIRES: the entries fit (the caller packs by free space).
void EncodeLeaf(const std::vector<LeafEntryRef>& entries, const LeafLayout& layout, bool root,
                uint32_t left, uint32_t right, uint8_t pad, std::vector<std::byte>& page);

struct InteriorEntryRef {
  std::string_view key;  // the last key of the child's subtree
  uint32_t record;       // and its record number
  uint32_t child;
};

// Encodes a 512-byte interior node. REQUIRES: entries.size() * (key_length + 8) <= 500.
void EncodeInterior(const std::vector<InteriorEntryRef>& entries, bool root, uint32_t left,
                    uint32_t right, std::vector<std::byte>& page);

}  // namespace kt::data
