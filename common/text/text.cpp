#include "common/text/text.h"

#include <charconv>
#include <cmath>

namespace kt::text {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

std::string_view TrimLeft(std::string_view text, std::string_view blanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view TrimRight(std::string_view text, std::string_view blanks) {
  const std::size_t last = text.find_last_not_of(blanks);
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
  return TrimRight(TrimLeft(text, blanks), blanks);
}

bool IsBlank(std::string_view text, std::string_view blanks) {
  return text.find_first_not_of(blanks) == std::string_view::npos;
}

double LeadingNumber(std::string_view text) {
  text = TrimLeft(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // Only digits and one "." are handed on, so "inf", "nan", a second sign or an exponent never
  // reach from_chars (which would read them).
  std::size_t end = 0;
  bool digits = false;
  bool point = false;
  for (; end < text.size(); ++end) {
    const char c = text[end];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return 0;
  // from_chars, not strtod: strtod follows the process locale and may expect a decimal comma.
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + end, value);
  if (ec != std::errc() || !std::isfinite(value)) return 0;
  return negative ? -value : value;
}

std::optional<long long> ParseInteger(std::string_view text, long long lo, long long hi, int base) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || ec != std::errc() || ptr != end || value < lo || value > hi) return std::nullopt;
  return value;
}

std::optional<long long> ParseIntegerLenient(std::string_view text, long long lo, long long hi) {
  text = TrimLeft(text, " \t\n\v\f\r");
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;  // "+-5"
  }
  return ParseInteger(text, lo, hi);
}

}  // namespace kt::text
