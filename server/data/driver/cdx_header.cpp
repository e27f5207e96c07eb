#include "server/data/driver/cdx_header.h"

#include <cassert>
#include <cstring>

#include "common/coding.h"

namespace kt::data {

Result<CdxTagHeader> CdxTagHeader::Decode(std::span<const std::byte> bytes) {
  if (bytes.size() < kEncodedLength) {
    return Status::Corruption("cdx tag header truncated: " + std::to_string(bytes.size()) +
                              " of 1024 bytes");
  }
  const std::byte* p = bytes.data();
  CdxTagHeader h;
  h.root = DecodeFixedLE32(p + kRootOffset);
  h.free_list = DecodeFixedLE32(p + kFreeListOffset);
  h.counter = DecodeFixedBE32(p + kCounterOffset);
  h.key_length = DecodeFixedLE16(p + kKeyLengthOffset);
  h.options = static_cast<uint8_t>(p[kOptionsOffset]);
  h.signature = static_cast<uint8_t>(p[kSignatureOffset]);
  h.descending = DecodeFixedLE16(p + kOrderOffset) != 0;
  if (h.key_length < 1 || h.key_length > kMaxKeyLength) {
    return Status::Corruption("cdx tag header: key length " + std::to_string(h.key_length) +
                              " outside 1-240");
  }
  // Expressions: the key at its start in the pool, the FOR expression right after its NUL.
  const uint16_t key_start = DecodeFixedLE16(p + kKeyStartOffset);
  if (key_start >= kPoolLength) {
    return Status::Corruption("cdx tag header: key expression starts outside the pool");
  }
  const char* pool = reinterpret_cast<const char*>(p + kPoolOffset);
  const std::size_t key_len = strnlen(pool + key_start, kPoolLength - key_start);
  if (key_start + key_len >= kPoolLength) {
    return Status::Corruption("cdx tag header: key expression not terminated");
  }
  h.key_expression.assign(pool + key_start, key_len);
  const std::size_t for_start = key_start + key_len + 1;
  const std::size_t for_len = strnlen(pool + for_start, kPoolLength - for_start);
  if (for_start + for_len >= kPoolLength) {
    return Status::Corruption("cdx tag header: FOR expression not terminated");
  }
  if (h.options & kHasFor) h.for_expression.assign(pool + for_start, for_len);
  return h;
}

void CdxTagHeader::EncodeTo(std::vector<std::byte>& out) const {
  assert(key_expression.size() + for_expression.size() + 2 <= kPoolLength);
  const std::size_t start = out.size();
  out.resize(start + kEncodedLength, std::byte{0});
  std::byte* p = out.data() + start;
  EncodeFixedLE32(p + kRootOffset, root);
  EncodeFixedLE32(p + kFreeListOffset, free_list);
  EncodeFixedBE32(p + kCounterOffset, counter);
  EncodeFixedLE16(p + kKeyLengthOffset, key_length);
  p[kOptionsOffset] = std::byte{options};
  p[kSignatureOffset] = std::byte{signature};
  EncodeFixedLE16(p + kOrderOffset, descending ? 1 : 0);
  const auto key_len = static_cast<uint16_t>(key_expression.size() + 1);
  const auto for_len = static_cast<uint16_t>(for_expression.empty() ? 1 : for_expression.size() + 1);
  // 504: the start of the FOR expression in the pool (= key length incl. NUL); the same value
  // every engine writes when there is no FOR clause.
  EncodeFixedLE16(p + kPoolInfoOffset, key_len);
  EncodeFixedLE16(p + kForLengthOffset, for_len);
  EncodeFixedLE16(p + kKeyStartOffset, 0);
  EncodeFixedLE16(p + kKeyExprLengthOffset, key_len);
  std::memcpy(p + kPoolOffset, key_expression.data(), key_expression.size());
  std::memcpy(p + kPoolOffset + key_len, for_expression.data(), for_expression.size());
}

}  // namespace kt::data
