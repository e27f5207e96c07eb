#include "tool/config/text_codec.h"

#include <cstdint>

namespace kt::config {
namespace {

// Windows-1252 bytes 0x80-0x9F. The five bytes the code page leaves unassigned (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control of the same value, as the system conversion does, so every
// byte a terminal holds comes back unchanged.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
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

// Reads one code point from UTF-8; malformed input yields U+FFFD and consumes one byte.
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  if (b0 < 0x80) { ++i; return b0; }
  int extra = 0;
  char32_t c = 0;
  if ((b0 & 0xE0) == 0xC0) { extra = 1; c = b0 & 0x1F; }
  else if ((b0 & 0xF0) == 0xE0) { extra = 2; c = b0 & 0x0F; }
  else if ((b0 & 0xF8) == 0xF0) { extra = 3; c = b0 & 0x07; }
  else { ++i; return kReplacement; }
  if (i + extra >= s.size()) { ++i; return kReplacement; }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) { ++i; return kReplacement; }
    c = (c << 6) | (b & 0x3F);
  }
  i += extra + 1;
  return c;
}

std::string_view UpToNul(std::span<const std::byte> field) {
  std::size_t n = 0;
  while (n < field.size() && field[n] != std::byte{0}) ++n;
  return {reinterpret_cast<const char*>(field.data()), n};
}

// Repairs malformed UTF-8 from a terminal so the rest of the tool only ever sees valid text.
std::string SanitizeUtf8(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) AppendUtf8(out, NextCodePoint(s, i));
  return out;
}

}  // namespace

std::string EncodeAnsi(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t c = NextCodePoint(utf8, i);
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out += static_cast<char>(c);
      continue;
    }
    char byte = '?';
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] == c) byte = static_cast<char>(0x80 + k);
    }
    out += byte;
  }
  return out;
}

std::string DecodeAnsi(std::span<const std::byte> field) {
  std::string out;
  for (char ch : UpToNul(field)) {
    const auto b = static_cast<uint8_t>(ch);
    if (b >= 0x80 && b < 0xA0) {
      AppendUtf8(out, kCp1252High[b - 0x80]);
    } else {
      AppendUtf8(out, b);
    }
  }
  return out;
}

std::string EncodeText(std::string_view utf8, int codepage_index) {
  if (codepage_index == kUtf8CodePageIndex) return SanitizeUtf8(utf8);
  return EncodeAnsi(utf8);
}

std::string DecodeText(std::span<const std::byte> field, int codepage_index) {
  if (codepage_index == kUtf8CodePageIndex) return SanitizeUtf8(UpToNul(field));
  return DecodeAnsi(field);
}

std::string CutBytes(std::string bytes, std::size_t max, bool utf8) {
  if (bytes.size() <= max) return bytes;
  std::size_t n = max;
  if (utf8) {
    // Step back over continuation bytes so no character is split.
    while (n > 0 && (static_cast<uint8_t>(bytes[n]) & 0xC0) == 0x80) --n;
  }
  bytes.resize(n);
  return bytes;
}

std::size_t CountCharacters(std::string_view utf8) {
  std::size_t count = 0;
  for (char ch : utf8) {
    if ((static_cast<uint8_t>(ch) & 0xC0) != 0x80) ++count;
  }
  return count;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t c = NextCodePoint(utf8, i);
    // Surrogates encoded as UTF-8 and values past U+10FFFF are not text.
    if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) c = kReplacement;
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

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = kReplacement;  // lone surrogate
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace kt::config
