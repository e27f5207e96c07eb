#include "common/text/text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kt::text {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

namespace {

// A plain loop: the sets are one to six characters, and stored fields are often long runs of
// blanks, where find_first_not_of would search the set once per character.
bool IsOneOf(char c, std::string_view set) {
  for (char s : set) {
    if (c == s) return true;
  }
  return false;
}

// True when the 8 bytes at `p` are all `c`.
bool EightOf(const char* p, char c) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word == 0x0101010101010101ULL * static_cast<unsigned char>(c);
}

}  // namespace

std::string_view TrimLeft(std::string_view text, std::string_view blanks) {
  std::size_t first = 0;
  if (blanks.size() == 1) {  // the usual case: runs of one character, eight at a time
    while (first + 8 <= text.size() && EightOf(text.data() + first, blanks[0])) first += 8;
  }
  while (first < text.size() && IsOneOf(text[first], blanks)) ++first;
  return text.substr(first);
}

std::string_view TrimRight(std::string_view text, std::string_view blanks) {
  std::size_t end = text.size();
  if (blanks.size() == 1) {
    while (end >= 8 && EightOf(text.data() + end - 8, blanks[0])) end -= 8;
  }
  while (end > 0 && IsOneOf(text[end - 1], blanks)) --end;
  return text.substr(0, end);
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
  return TrimRight(TrimLeft(text, blanks), blanks);
}

bool IsBlank(std::string_view text, std::string_view blanks) { return TrimLeft(text, blanks).empty(); }

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
