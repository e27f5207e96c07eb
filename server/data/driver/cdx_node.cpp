#include "server/data/driver/cdx_node.h"

#include <cstdio>
#include <cstring>

#include "common/coding.h"

namespace kt::data {

namespace {

std::string Where(uint32_t offset) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "cdx node 0x%x: ", offset);
  return buf;
}

bool ValidPointer(uint32_t p, uint64_t file_size) {
  return p % kCdxPageSize == 0 && p >= kCdxPageSize && uint64_t{p} + kCdxPageSize <= file_size;
}

bool ValidSibling(uint32_t p, uint64_t file_size) {
  return p == kCdxNoNode || ValidPointer(p, file_size);
}

}  // namespace

Result<CdxNode> CdxNode::Decode(std::span<const std::byte> page, uint32_t offset, int key_length,
                                uint8_t pad, uint64_t file_size) {
  const std::string where = Where(offset);
  if (page.size() < kCdxPageSize) return Status::Corruption(where + "page truncated");
  if (key_length < 1 || key_length > 240) return Status::Corruption(where + "bad key length");
  const std::byte* p = page.data();
  CdxNode node;
  node.offset = offset;
  node.key_length = key_length;
  node.attributes = DecodeFixedLE16(p + kAttributesOffset);
  const uint16_t count = DecodeFixedLE16(p + kKeyCountOffset);
  node.left = DecodeFixedLE32(p + kLeftOffset);
  node.right = DecodeFixedLE32(p + kRightOffset);
  if (node.attributes > 3) {
    return Status::Corruption(where + "attributes " + std::to_string(node.attributes) + " invalid");
  }
  if (!ValidSibling(node.left, file_size) || !ValidSibling(node.right, file_size) ||
      node.left == offset || node.right == offset) {
    return Status::Corruption(where + "sibling pointer out of range");
  }
  const std::size_t kl = static_cast<std::size_t>(key_length);
  node.keys.resize(count * kl);
  node.records.resize(count);

  if (!node.leaf()) {
    if (count * (kl + 8) > kInteriorSpace) {
      return Status::Corruption(where + "key count " + std::to_string(count) +
                                " exceeds node size");
    }
    if (count == 0) return Status::Corruption(where + "interior node without keys");
    node.children.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::byte* e = p + kInteriorEntriesOffset + i * (kl + 8);
      std::memcpy(node.keys.data() + i * kl, e, kl);
      node.records[i] = DecodeFixedBE32(e + kl);
      node.children[i] = DecodeFixedBE32(e + kl + 4);
      if (!ValidPointer(node.children[i], file_size) || node.children[i] == offset) {
        return Status::Corruption(where + "child pointer " + std::to_string(node.children[i]) +
                                  " out of range");
      }
    }
  } else {
    const uint32_t rec_mask = DecodeFixedLE32(p + kRecordMaskOffset);
    const uint8_t dup_mask = static_cast<uint8_t>(p[kDupMaskOffset]);
    const uint8_t trail_mask = static_cast<uint8_t>(p[kTrailMaskOffset]);
    const unsigned rn = static_cast<uint8_t>(p[kRecordBitsOffset]);
    const unsigned dc = static_cast<uint8_t>(p[kDupBitsOffset]);
    const unsigned tc = static_cast<uint8_t>(p[kTrailBitsOffset]);
    const unsigned e = static_cast<uint8_t>(p[kEntryBytesOffset]);
    if (count > 0) {
      if (e < 1 || e > 8 || rn > 32 || dc > 8 || tc > 8 || rn + dc + tc > 8 * e ||
          uint64_t{rec_mask} != (uint64_t{1} << rn) - 1 || dup_mask != (1u << dc) - 1 ||
          trail_mask != (1u << tc) - 1) {
        return Status::Corruption(where + "inconsistent leaf bit widths");
      }
      if (count * e > kLeafSpace) {
        return Status::Corruption(where + "key count " + std::to_string(count) +
                                  " exceeds node size");
      }
    }
    const std::size_t entries_end = kLeafEntriesOffset + count * e;
    std::size_t pos = kCdxPageSize;
    uint8_t* out = node.keys.data();
    for (std::size_t i = 0; i < count; ++i) {
      uint64_t v = 0;
      const std::byte* ep = p + kLeafEntriesOffset + i * e;
      for (unsigned b = 0; b < e; ++b) v |= uint64_t{static_cast<uint8_t>(ep[b])} << (8 * b);
      node.records[i] = static_cast<uint32_t>(v & rec_mask);
      const std::size_t d = i == 0 ? 0 : (v >> rn) & dup_mask;
      const std::size_t t = (v >> (rn + dc)) & trail_mask;
      if (d + t > kl) {
        return Status::Corruption(where + "entry " + std::to_string(i) + " does not fit the key length");
      }
      const std::size_t n = kl - d - t;
      if (pos < entries_end + n) {
        return Status::Corruption(where + "key bytes of entry " + std::to_string(i) +
                                  " overlap the entries");
      }
      pos -= n;
      uint8_t* key = out + i * kl;
      if (d > 0) std::memcpy(key, key - kl, d);
      std::memcpy(key + d, p + pos, n);
      std::memset(key + d + n, pad, t);
    }
  }
  // Keys within a node ascend; a node that says otherwise would send seeks astray.
  for (std::size_t i = 1; i < count; ++i) {
    if (std::memcmp(node.keys.data() + (i - 1) * kl, node.keys.data() + i * kl, kl) > 0) {
      return Status::Corruption(where + "keys out of order at entry " + std::to_string(i));
    }
  }
  return node;
}

}  // namespace kt::data
