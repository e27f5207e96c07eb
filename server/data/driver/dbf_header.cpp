#include "server/data/driver/dbf_header.h"

#include <cassert>
#include <cstring>

#include "common/coding.h"

namespace kt::data {

namespace {

uint8_t ByteAt(std::span<const std::byte> b, std::size_t i) { return static_cast<uint8_t>(b[i]); }

}  // namespace

Result<uint16_t> DbfHeader::DecodeHeaderLength(std::span<const std::byte> prefix) {
  if (prefix.size() < kPrefixLength) {
    return Status::Corruption("table header truncated: " + std::to_string(prefix.size()) +
                              " of 32 bytes");
  }
  return DecodeFixedLE16(prefix.data() + kHeaderLengthOffset);
}

Result<DbfHeader> DbfHeader::Decode(std::span<const std::byte> bytes) {
  KT_ASSIGN_OR_RETURN(uint16_t header_length, DecodeHeaderLength(bytes));
  DbfHeader h;
  h.version = ByteAt(bytes, kVersionOffset);
  h.year = ByteAt(bytes, kDateOffset);
  h.month = ByteAt(bytes, kDateOffset + 1);
  h.day = ByteAt(bytes, kDateOffset + 2);
  h.record_count = DecodeFixedLE32(bytes.data() + kRecordCountOffset);
  h.header_length = header_length;
  h.record_length = DecodeFixedLE16(bytes.data() + kRecordLengthOffset);
  h.table_flags = ByteAt(bytes, kTableFlagsOffset);
  h.code_page = ByteAt(bytes, kCodePageOffset);

  if (h.header_length < kPrefixLength + kDescriptorLength + 1) {
    return Status::Corruption("table header length " + std::to_string(h.header_length) +
                              " too small for one field");
  }
  if (bytes.size() < h.header_length) {
    return Status::Corruption("table header truncated: " + std::to_string(bytes.size()) + " of " +
                              std::to_string(h.header_length) + " bytes");
  }
  if (h.record_length < 2) {
    return Status::Corruption("table record length " + std::to_string(h.record_length) +
                              " too small");
  }

  // Descriptors run until the terminator; never derive their number from the header length.
  std::size_t pos = kPrefixLength;
  uint32_t offset = 1;  // byte 0 of a record is the deletion flag
  bool terminated = false;
  while (pos < h.header_length) {
    if (ByteAt(bytes, pos) == kTerminator) {
      terminated = true;
      break;
    }
    if (pos + kDescriptorLength > h.header_length) {
      return Status::Corruption("table field descriptor " + std::to_string(h.fields.size() + 1) +
                                " runs past the header length " + std::to_string(h.header_length));
    }
    const std::byte* d = bytes.data() + pos;
    DbfField f;
    const char* name = reinterpret_cast<const char*>(d);
    f.name.assign(name, strnlen(name, kNameLength));
    f.type = static_cast<char>(d[kTypeOffset]);
    const uint8_t width = static_cast<uint8_t>(d[kWidthOffset]);
    const uint8_t decimals = static_cast<uint8_t>(d[kDecimalsOffset]);
    f.flags = static_cast<uint8_t>(d[kFieldFlagsOffset]);
    if (f.type == 'C') {
      f.width = static_cast<uint16_t>(width + 256 * decimals);
      f.decimals = 0;
    } else {
      f.width = width;
      f.decimals = decimals;
    }
    if (f.name.empty()) {
      return Status::Corruption("table field " + std::to_string(h.fields.size() + 1) +
                                " has no name");
    }
    if (f.width == 0) {
      return Status::Corruption("table field " + f.name + " has width 0");
    }
    f.offset = offset;
    offset += f.width;
    if (offset > h.record_length) {
      return Status::Corruption("table field " + f.name + " ends at byte " +
                                std::to_string(offset) + ", past the record length " +
                                std::to_string(h.record_length));
    }
    h.fields.push_back(std::move(f));
    pos += kDescriptorLength;
  }
  if (!terminated && pos != h.header_length) {
    return Status::Corruption("table field descriptors do not end inside the header");
  }
  if (h.fields.empty()) return Status::Corruption("table has no fields");
  return h;
}

void DbfHeader::EncodeTo(std::vector<std::byte>& out) const {
  assert(header_length >= kPrefixLength + kDescriptorLength * fields.size() + 1);
  const std::size_t start = out.size();
  ByteWriter w(out);
  w.U8(version);
  w.U8(year);
  w.U8(month);
  w.U8(day);
  w.LE32(record_count);
  w.LE16(header_length);
  w.LE16(record_length);
  w.Zeros(kTableFlagsOffset - 12);
  w.U8(table_flags);
  w.U8(code_page);
  w.Zeros(2);
  for (const DbfField& f : fields) {
    char name[kNameLength] = {};
    std::memcpy(name, f.name.data(), std::min(f.name.size(), kNameLength - 1));
    w.Bytes(name, kNameLength);
    w.U8(static_cast<uint8_t>(f.type));
    w.LE32(version >= 0x30 && version <= 0x32 ? f.offset : 0);
    if (f.type == 'C') {
      w.U8(static_cast<uint8_t>(f.width & 0xFF));
      w.U8(static_cast<uint8_t>(f.width >> 8));
    } else {
      w.U8(static_cast<uint8_t>(f.width));
      w.U8(f.decimals);
    }
    w.U8(f.flags);
    w.Zeros(kDescriptorLength - kFieldFlagsOffset - 1);
  }
  w.U8(kTerminator);
  w.Zeros(header_length - (w.size() - start));
  assert(out.size() - start == header_length);
}

}  // namespace kt::data
