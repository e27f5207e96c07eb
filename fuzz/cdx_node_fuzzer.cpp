// Feeds arbitrary pages to the index node decoder (and the tag header decoder). The first two
// bytes choose the key length and the pad byte; the rest is the page.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "server/data/driver/cdx_header.h"
#include "server/data/driver/cdx_node.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int key_length = 1 + data[0] % 240;
  const uint8_t pad = (data[1] & 1) ? 0x20 : 0x00;
  data += 2;
  size -= 2;
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  auto node = kt::data::CdxNode::Decode(bytes, 0x400, key_length, pad, 1 << 20);
  if (node.ok()) {
    if (node->keys.size() != node->size() * static_cast<std::size_t>(key_length)) __builtin_trap();
    if (!node->leaf() && node->children.size() != node->size()) __builtin_trap();
    for (std::size_t i = 1; i < node->size(); ++i) {
      if (std::memcmp(node->key(i - 1).data(), node->key(i).data(), key_length) > 0) __builtin_trap();
    }
  }
  auto header = kt::data::CdxTagHeader::Decode(bytes);
  if (header.ok()) {
    std::vector<std::byte> out;
    header->EncodeTo(out);
    if (out.size() != kt::data::CdxTagHeader::kEncodedLength) __builtin_trap();
  }
  return 0;
}
