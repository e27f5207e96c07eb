#include "server/data/driver/field_codec.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/coding.h"
#include "common/text/text.h"

namespace kt::data {

bool IsNumericType(char type) {
  return type == 'N' || type == 'F' || type == 'I' || type == 'B' || type == 'Y';
}

namespace {

// Plain decimal text between blanks ("   -1234.50", "+7 ", ",5"), the form nearly every stored
// number has, read in one pass without copying: at most 15 digits make an exact integer and at
// most 15 decimals an exact power of ten, so one division gives the correctly rounded value, as
// from_chars would; all blank is 0. nullopt for anything else, which the general reading takes.
std::optional<double> ParsePlainDecimal(std::string_view t) {
  static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const auto blank = [](char c) { return c == ' ' || c == '\0'; };
  std::size_t i = 0;
  const std::size_t n = t.size();
  // Numbers stand right-aligned behind blanks: skip those eight at a time.
  for (uint64_t word; i + 8 <= n; i += 8) {
    std::memcpy(&word, t.data() + i, sizeof word);
    if (word != 0x2020202020202020ULL) break;
  }
  while (i < n && blank(t[i])) ++i;
  if (i == n) return 0.0;
  bool negative = false;
  if (t[i] == '-' || t[i] == '+') {
    negative = t[i] == '-';
    ++i;
  }
  uint64_t mantissa = 0;
  int digits = 0, decimals = 0;
  // Digits, then at most one point or comma and the decimals. More than 15 digits are refused
  // below; the mantissa may wrap before that, harmlessly.
  for (unsigned d; i < n && (d = static_cast<unsigned char>(t[i]) - '0') <= 9; ++i, ++digits) {
    mantissa = mantissa * 10 + d;
  }
  if (i < n && (t[i] == '.' || t[i] == ',')) {
    for (++i; i < n; ++i, ++digits, ++decimals) {
      const unsigned d = static_cast<unsigned char>(t[i]) - '0';
      if (d > 9) break;
      mantissa = mantissa * 10 + d;
    }
  }
  if (digits > 15) return std::nullopt;
  for (; i < n; ++i) {
    if (!blank(t[i])) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  const double value = static_cast<double>(mantissa) / kPow10[decimals];
  return negative ? -value : value;
}

}  // namespace

std::optional<double> ParseNumber(const DbfField& field, std::string_view stored) {
  return ParseNumber(field.type, stored);
}

std::optional<double> ParseNumber(char type, std::string_view stored) {
  switch (type) {
    case 'I':
      if (stored.size() != 4) return std::nullopt;
      return static_cast<double>(static_cast<int32_t>(DecodeFixedLE32(stored.data())));
    case 'Y':
      if (stored.size() != 8) return std::nullopt;
      return static_cast<double>(static_cast<int64_t>(DecodeFixedLE64(stored.data()))) / 10000.0;
    case 'B': {
      if (stored.size() != 8) return std::nullopt;
      const uint64_t bits = DecodeFixedLE64(stored.data());
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
    default:
      break;
  }
  if (std::optional<double> plain = ParsePlainDecimal(stored)) return plain;
  std::string_view t = text::Trim(stored, text::kBlankOrNul);
  if (t.empty()) return 0.0;
  std::string text(t);
  if (text[0] == '+') text.erase(0, 1);
  for (char& c : text) {
    if (c == ',') c = '.';
  }
  double value = 0;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::string TrimmedNumberText(std::string_view stored) {
  return std::string(text::Trim(stored, text::kBlankOrNul));
}

std::optional<std::string> FormatFixed(double value, int width, int decimals) {
  if (!std::isfinite(value) || width <= 0 || width > 64 || decimals < 0 || decimals > 30) {
    return std::nullopt;
  }
  // to_chars, not printf: "." must be the point whatever the process locale (a window process
  // runs under the user's, which may use a decimal comma).
  char buf[400];  // the widest finite double in fixed notation with 30 decimals fits
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return std::nullopt;
  const auto n = static_cast<std::size_t>(end - buf);
  if (n > static_cast<std::size_t>(width)) return std::nullopt;
  return std::string(static_cast<std::size_t>(width) - n, ' ') + std::string(buf, n);
}

std::optional<std::string> FormatNumber(double value, int width, int decimals) {
  std::optional<std::string> formatted = FormatFixed(value, width, decimals);
  if (!formatted) return std::nullopt;
  std::string text = std::move(*formatted);
  // "-0.00" is stored as "0.00".
  if (text.find_first_of("123456789") == std::string::npos) {
    const auto minus = text.find('-');
    if (minus != std::string::npos) {
      text.erase(minus, 1);
      text.insert(0, 1, ' ');
    }
  }
  return text;
}

bool ParseLogical(std::string_view stored) {
  if (stored.empty()) return false;
  const char c = stored[0];
  return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

Date ParseDate(std::string_view stored) { return Date::FromDtos(stored).value_or(Date{}); }

std::string BlankValue(const DbfField& field) {
  switch (field.type) {
    case 'I':
    case 'Y':
    case 'B':
    case 'T':
    case '0':
      return std::string(field.width, '\0');
    case 'M':
    case 'G':
    case 'P':
    case 'W':
      return std::string(field.width, field.width == 4 ? '\0' : ' ');
    default:
      return std::string(field.width, ' ');
  }
}

}  // namespace kt::data
