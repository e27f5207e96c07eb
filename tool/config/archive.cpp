#include "tool/config/archive.h"

#include "tool/config/text_codec.h"

namespace kt::config {

void ArchiveWriter::String(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  const std::size_t n = units.size();
  w_.U8(0xFF);
  w_.LE16(0xFFFE);
  if (n < 0xFF) {
    w_.U8(static_cast<uint8_t>(n));
  } else if (n < 0xFFFE) {
    w_.U8(0xFF);
    w_.LE16(static_cast<uint16_t>(n));
  } else {
    w_.U8(0xFF);
    w_.LE16(0xFFFF);
    w_.LE32(static_cast<uint32_t>(n));
  }
  for (char16_t u : units) w_.LE16(static_cast<uint16_t>(u));
}

void ArchiveReader::Fail(std::string what) {
  if (status_.ok()) status_ = Status::Corruption(std::move(what));
}

bool ArchiveReader::Check(const char* what) {
  if (!r_.ok()) Fail(std::string("settings file ends inside ") + what);
  return status_.ok();
}

int32_t ArchiveReader::Int() {
  const uint32_t v = r_.LE32();
  return Check("an integer") ? static_cast<int32_t>(v) : 0;
}

uint8_t ArchiveReader::Byte() {
  const uint8_t v = r_.U8();
  return Check("a byte") ? v : 0;
}

uint16_t ArchiveReader::Word() {
  const uint16_t v = r_.LE16();
  return Check("a 16-bit value") ? v : 0;
}

std::string ArchiveReader::String() {
  if (!status_.ok()) return {};
  bool wide = false;
  uint64_t length = r_.U8();
  if (length == 0xFF) {
    length = r_.LE16();
    if (length == 0xFFFE) {
      wide = true;
      length = r_.U8();
      if (length == 0xFF) length = r_.LE16();
    }
    if (length == 0xFFFF) length = r_.LE32();
  }
  if (!Check("a string length")) return {};
  const uint64_t unit = wide ? 2 : 1;
  if (length > r_.remaining() / unit) {
    Fail("settings file: string of " + std::to_string(length) + " characters but only " +
         std::to_string(r_.remaining()) + " bytes left");
    return {};
  }
  std::span<const std::byte> bytes = r_.Bytes(static_cast<std::size_t>(length * unit));
  if (!wide) return DecodeAnsi(bytes);
  std::u16string units(static_cast<std::size_t>(length), u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(DecodeFixedLE16(bytes.data() + 2 * i));
  }
  return Utf16ToUtf8(units);
}

}  // namespace kt::config
