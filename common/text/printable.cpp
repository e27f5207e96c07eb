#include "common/text/printable.h"

namespace kt::text {
namespace {

void AppendEscaped(std::string& out, unsigned char b) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[b >> 4];
  out += kHex[b & 0xF];
}

bool IsContinuation(unsigned char b) { return b >= 0x80 && b <= 0xBF; }

// Length of the well-formed UTF-8 sequence that starts at text[i], or 0 when there is none.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  std::size_t n = 0;
  if (b >= 0xC2 && b <= 0xDF) n = 2;
  else if (b >= 0xE0 && b <= 0xEF) n = 3;
  else if (b >= 0xF0 && b <= 0xF4) n = 4;
  if (n == 0 || i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) return 0;
  const auto b1 = static_cast<unsigned char>(text[i + 1]);
  // Overlong forms, surrogates and code points past U+10FFFF are not well formed.
  if ((b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 > 0x9F) || (b == 0xF0 && b1 < 0x90) || (b == 0xF4 && b1 > 0x8F))
    return 0;
  return n;
}

}  // namespace

void AppendPrintable(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    // Most text is printable ASCII: append each run of it at once.
    std::size_t run = i;
    while (run < text.size() && text[run] >= 0x20 && text[run] < 0x7F) ++run;
    if (run > i) {
      out.append(text.substr(i, run - i));
      i = run;
      continue;
    }
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x20 || b == 0x7F) {
      AppendEscaped(out, b);
      ++i;
      continue;
    }
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    if (const std::size_t n = Utf8Length(text, i); n > 0) {
      const auto b1 = static_cast<unsigned char>(text[i + 1]);
      if (b == 0xC2 && b1 <= 0x9F) {  // U+0080..U+009F: a C1 control
        AppendEscaped(out, b);
        AppendEscaped(out, b1);
      } else {
        out.append(text.substr(i, n));
      }
      i += n;
      continue;
    }
    if (b <= 0x9F) {
      AppendEscaped(out, b);
    } else {
      out += static_cast<char>(b);
    }
    ++i;
  }
}

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendPrintable(out, text);
  return out;
}

}  // namespace kt::text
