// Conversion between the tool's text (UTF-8 std::string) and a terminal's 8-bit text fields.
//
// Text the user edits travels in the record's code page: UTF-8 when the code-page index is 9, the
// system's single-byte ANSI code page otherwise. The ANSI code page is fixed to Windows-1252 here,
// so a record decodes the same on every machine. Every byte 0x01-0xFF decodes to a character and
// encodes back to the same byte (the five bytes Windows-1252 leaves unassigned travel as the C1
// controls U+0081, U+008D, U+008F, U+0090, U+009D). Conversion never fails: characters that
// have no byte in Windows-1252 become '?', malformed UTF-8 becomes U+FFFD.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace kt::config {

inline constexpr int kUtf8CodePageIndex = 9;

// The bytes of `text` in the given code page (no terminator, not cut).
std::string EncodeText(std::string_view utf8, int codepage_index);
// The text in a field: bytes up to the first NUL (or the whole field), decoded.
std::string DecodeText(std::span<const std::byte> field, int codepage_index);

// The same two for fields that always use the ANSI code page (SSID, wireless texts).
std::string EncodeAnsi(std::string_view utf8);
std::string DecodeAnsi(std::span<const std::byte> field);

// Cuts encoded bytes to at most `max` bytes without splitting a UTF-8 sequence when `utf8`.
std::string CutBytes(std::string bytes, std::size_t max, bool utf8);

// Number of characters (code points) in UTF-8 text.
std::size_t CountCharacters(std::string_view utf8);

// UTF-8 <-> UTF-16 (the settings files' strings). Malformed UTF-8 and lone surrogates become
// U+FFFD; nothing fails.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace kt::config
