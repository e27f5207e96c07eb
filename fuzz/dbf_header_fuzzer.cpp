// Feeds arbitrary bytes to the table header decoder: it must return a header or an error and
// never read outside the bytes it was given.
#include <cstddef>
#include <cstdint>
#include <span>

#include "server/data/driver/dbf_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  auto header = kt::data::DbfHeader::Decode(bytes);
  if (header.ok()) {
    // What the decoder accepts must be self-consistent.
    uint32_t end = 1;
    for (const auto& f : header->fields) {
      if (f.offset != end || f.width == 0) __builtin_trap();
      end += f.width;
    }
    if (end > header->record_length || header->header_length > size) __builtin_trap();
    std::vector<std::byte> out;
    header->EncodeTo(out);
    if (out.size() != header->header_length) __builtin_trap();
  }
  return 0;
}
