#include "tool/config/archive.h"

#include "tool/config/text_codec.h"

namespace kt::config {

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b0 = static_cast<uint8_t>(s[i]);
    char32_t c = 0xFFFD;
    int extra = b0 < 0x80 ? 0 : (b0 & 0xE0) == 0xC0 ? 1 : (b0 & 0xF0) == 0xE0 ? 2
                : (b0 & 0xF8) == 0xF0 ? 3 : -1;
    if (extra == 0) {
      c = b0;
      i += 1;
    } else if (extra > 0 && i + extra < s.size()) {
      c = b0 & (0x3F >> extra);
      bool ok = true;
      for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<uint8_t>(s[i + k]);
        ok = ok && (b & 0xC0) == 0x80;
        c = (c << 6) | (b & 0x3F);
      }
      if (ok) {
        i += extra + 1;
      } else {
        c = 0xFFFD;
        i += 1;
      }
    } else {
      i += 1;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // lone surrogate
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

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
