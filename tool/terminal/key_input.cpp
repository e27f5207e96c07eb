#include "tool/terminal/key_input.h"

#include <cstdio>
#include <span>

#include "tool/config/text_codec.h"

namespace kt::terminal {
namespace {

std::optional<uint8_t> HexValue(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  return std::nullopt;
}

std::string Utf8(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    s.push_back(static_cast<char>(0xC0 | (c >> 6)));
    s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    s.push_back(static_cast<char>(0xE0 | (c >> 12)));
    s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    s.push_back(static_cast<char>(0xF0 | (c >> 18)));
    s.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return s;
}

std::string Decimal(uint8_t b) { return "<" + std::to_string(b) + ">"; }

}  // namespace

KeyOutcome KeyInput::Key(char32_t c, bool hex_mode) {
  KeyOutcome out;
  if (hex_mode && c > ' ') {
    const std::optional<uint8_t> v = HexValue(c);
    if (!v) return out;
    if (!pending_) {
      pending_ = v;
      return out;
    }
    const auto byte = static_cast<uint8_t>(*pending_ << 4 | *v);
    pending_.reset();
    out.bytes.push_back(static_cast<char>(byte));
    char echo[8];
    std::snprintf(echo, sizeof echo, "<0x%02X>", byte);
    out.echo = echo;
    return out;
  }
  pending_.reset();
  if (c < 0x80) {
    const auto b = static_cast<uint8_t>(c);
    out.bytes.push_back(static_cast<char>(b));
    out.echo = (b >= 32 && b < 127) ? out.bytes : Decimal(b);
    return out;
  }
  const std::string text = Utf8(c);
  out.bytes = config::EncodeText(text, codepage_);
  out.echo = text;
  return out;
}

KeyOutcome KeyInput::Escape() {
  pending_.reset();
  return {"\x1B", Decimal(0x1B)};
}

KeyOutcome KeyInput::Paste(std::string_view utf8) const {
  const bool is_utf8 = codepage_ == config::kUtf8CodePageIndex;
  KeyOutcome out;
  out.bytes = config::CutBytes(config::EncodeText(utf8, codepage_), kPasteLimit, is_utf8);
  // Show what went out: the text as far as it was sent.
  out.echo = is_utf8 ? out.bytes : config::DecodeText(std::as_bytes(std::span(out.bytes)), codepage_);
  return out;
}

}  // namespace kt::terminal
