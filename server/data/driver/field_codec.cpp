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

std::optional<double> ParseNumber(const DbfField& field, std::string_view stored) {
  switch (field.type) {
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
