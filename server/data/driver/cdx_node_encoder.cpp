#include "server/data/driver/cdx_node_encoder.h"

#include <cassert>
#include <cstring>

#include "common/coding.h"

namespace kt::data {

LeafLayout LeafLayout::For(int key_length, uint64_t max_record) {
  unsigned bits = 0;
  for (int v = key_length; v > 0; v >>= 1) ++bits;
  LeafLayout l;
  l.dup_bits = l.trail_bits = bits;
  l.entry_bytes = 3;
  l.record_bits = 24 - 2 * bits;
  while (l.record_bits < 32 && max_record > (uint64_t{1} << l.record_bits) - 1) {
    l.entry_bytes += 1;
    l.record_bits = std::min(l.record_bits + 8, 32u);
  }
  return l;
}

LeafKeySplit SplitLeafKey(std::string_view key, std::string_view prev, uint8_t pad) {
  LeafKeySplit s;
  while (s.trail < key.size() && static_cast<uint8_t>(key[key.size() - 1 - s.trail]) == pad) {
    ++s.trail;
  }
  const std::size_t limit = std::min(prev.size(), key.size() - s.trail);
  while (s.dup < limit && key[s.dup] == prev[s.dup]) ++s.dup;
  return s;
}

std::size_t LeafUsedBytes(const std::vector<LeafEntryRef>& entries, const LeafLayout& layout,
                          uint8_t pad) {
  std::size_t used = 0;
  std::string_view prev;
  for (const LeafEntryRef& e : entries) {
    const LeafKeySplit s = SplitLeafKey(e.key, prev, pad);
    used += layout.entry_bytes + e.key.size() - s.dup - s.trail;
    prev = e.key;
  }
  return used;
}

void EncodeLeaf(const std::vector<LeafEntryRef>& entries, const LeafLayout& layout, bool root,
                uint32_t left, uint32_t right, uint8_t pad, std::vector<std::byte>& page) {
  page.assign(kCdxPageSize, std::byte{0});
  std::byte* p = page.data();
  EncodeFixedLE16(p + CdxNode::kAttributesOffset,
                  static_cast<uint16_t>(CdxNode::kLeafBit | (root ? CdxNode::kRootBit : 0)));
  EncodeFixedLE16(p + CdxNode::kKeyCountOffset, static_cast<uint16_t>(entries.size()));
  EncodeFixedLE32(p + CdxNode::kLeftOffset, left);
  EncodeFixedLE32(p + CdxNode::kRightOffset, right);
  EncodeFixedLE32(p + CdxNode::kRecordMaskOffset,
                  static_cast<uint32_t>((uint64_t{1} << layout.record_bits) - 1));
  p[CdxNode::kDupMaskOffset] = static_cast<std::byte>((1u << layout.dup_bits) - 1);
  p[CdxNode::kTrailMaskOffset] = static_cast<std::byte>((1u << layout.trail_bits) - 1);
  p[CdxNode::kRecordBitsOffset] = static_cast<std::byte>(layout.record_bits);
  p[CdxNode::kDupBitsOffset] = static_cast<std::byte>(layout.dup_bits);
  p[CdxNode::kTrailBitsOffset] = static_cast<std::byte>(layout.trail_bits);
  p[CdxNode::kEntryBytesOffset] = static_cast<std::byte>(layout.entry_bytes);
  std::size_t pos = kCdxPageSize;
  std::string_view prev;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string_view key = entries[i].key;
    const LeafKeySplit s = SplitLeafKey(key, prev, pad);
    const std::size_t n = key.size() - s.dup - s.trail;
    pos -= n;
    assert(pos >= CdxNode::kLeafEntriesOffset + (i + 1) * layout.entry_bytes);
    std::memcpy(p + pos, key.data() + s.dup, n);
    const uint64_t v = uint64_t{entries[i].record} |
                       (uint64_t{s.dup} << layout.record_bits) |
                       (uint64_t{s.trail} << (layout.record_bits + layout.dup_bits));
    std::byte* e = p + CdxNode::kLeafEntriesOffset + i * layout.entry_bytes;
    for (unsigned b = 0; b < layout.entry_bytes; ++b) e[b] = static_cast<std::byte>(v >> (8 * b));
    prev = key;
  }
  const std::size_t used = entries.size() * layout.entry_bytes + (kCdxPageSize - pos);
  EncodeFixedLE16(p + CdxNode::kFreeSpaceOffset, static_cast<uint16_t>(CdxNode::kLeafSpace - used));
}

void EncodeInterior(const std::vector<InteriorEntryRef>& entries, bool root, uint32_t left,
                    uint32_t right, std::vector<std::byte>& page) {
  page.assign(kCdxPageSize, std::byte{0});
  std::byte* p = page.data();
  EncodeFixedLE16(p + CdxNode::kAttributesOffset, root ? CdxNode::kRootBit : 0);
  EncodeFixedLE16(p + CdxNode::kKeyCountOffset, static_cast<uint16_t>(entries.size()));
  EncodeFixedLE32(p + CdxNode::kLeftOffset, left);
  EncodeFixedLE32(p + CdxNode::kRightOffset, right);
  std::size_t pos = CdxNode::kInteriorEntriesOffset;
  for (const InteriorEntryRef& e : entries) {
    assert(pos + e.key.size() + 8 <= kCdxPageSize);
    std::memcpy(p + pos, e.key.data(), e.key.size());
    EncodeFixedBE32(p + pos + e.key.size(), e.record);
    EncodeFixedBE32(p + pos + e.key.size() + 4, e.child);
    pos += e.key.size() + 8;
  }
}

}  // namespace kt::data
