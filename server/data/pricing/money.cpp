#include "server/data/pricing/money.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "common/text/text.h"

namespace kt::data::pricing {
namespace {

constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// 2^52: from here on a double has no fraction bits left.
constexpr double kNoFraction = 4503599627370496.0;

// Relative nudge, 2^-47 (about 32 units in the last place): larger than the error a few
// multiplications and divisions leave on a decimal amount, far smaller than any real fraction of
// a cent at the magnitudes a price can have.
constexpr double kNudge = 1.0 / 140737488355328.0;
// Where 32 units in the last place reach a quarter (magnitudes beyond 2^47), the quarter is the
// limit: a double that large has no finer fraction a decimal amount could need.
constexpr double kMaxNudge = 0.25;

// The nudge for a magnitude: never so large that it could move a real fraction across a half.
double NudgeFor(double magnitude) { return std::min(magnitude * kNudge, kMaxNudge); }

// |value| rounded at `decimals` as a count of 10^-decimals units, or a negative number when the
// count does not fit exactly into a double's integer range.
double ScaledUnits(double value, int decimals) {
  const double scaled = std::fabs(value) * kPow10[decimals];
  if (scaled >= kNoFraction) return -1.0;
  const double whole = std::floor(scaled);
  const double fraction = scaled - whole;  // exact
  return fraction + NudgeFor(scaled) >= 0.5 ? whole + 1 : whole;
}

std::string GroupDigits(const std::string& digits, char group_separator) {
  if (group_separator == '\0' || digits.size() <= 3) return digits;
  std::string out;
  out.reserve(digits.size() + digits.size() / 3);
  const std::size_t head = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
  out.append(digits, 0, head);
  for (std::size_t i = head; i < digits.size(); i += 3) {
    out.push_back(group_separator);
    out.append(digits, i, 3);
  }
  return out;
}

}  // namespace

double RoundHalfAway(double value, int decimals) {
  if (!std::isfinite(value)) return 0.0;
  decimals = std::clamp(decimals, 0, 15);
  const double units = ScaledUnits(value, decimals);
  if (units < 0) return value;
  if (units == 0) return 0.0;  // never a negative zero
  return std::copysign(units / kPow10[decimals], value);
}

std::string FormatDecimal(double value, int decimals, char decimal_separator, char group_separator) {
  if (!std::isfinite(value)) value = 0.0;
  decimals = std::clamp(decimals, 0, 15);
  std::string int_digits;
  std::string frac_digits;
  const double units = ScaledUnits(value, decimals);
  bool negative = false;
  if (units >= 0) {
    // Exact integer below 2^52: split it into integer and fraction digits.
    const auto n = static_cast<uint64_t>(units);
    const auto divisor = static_cast<uint64_t>(kPow10[decimals]);
    int_digits = std::to_string(n / divisor);
    if (decimals > 0) {
      frac_digits = std::to_string(n % divisor);
      frac_digits.insert(0, static_cast<std::size_t>(decimals) - frac_digits.size(), '0');
    }
    negative = value < 0 && n != 0;
  } else {
    // Far beyond any price: no fraction is left, print the integer the double holds.
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.0f", std::fabs(value));
    int_digits = buf;
    frac_digits.assign(static_cast<std::size_t>(decimals), '0');
    negative = value < 0;
  }
  std::string out = negative ? "-" : "";
  out += GroupDigits(int_digits, group_separator);
  if (decimals > 0) {
    out.push_back(decimal_separator);
    out += frac_digits;
  }
  return out;
}

int IntegerDigits(double value, int decimals) {
  const std::string text = FormatDecimal(value, decimals, '.', '\0');
  const std::size_t start = text[0] == '-' ? 1 : 0;
  const std::size_t dot = text.find('.');
  return static_cast<int>((dot == std::string::npos ? text.size() : dot) - start);
}

double ParseLeadingNumber(std::string_view text) { return text::LeadingNumber(text); }

}  // namespace kt::data::pricing

namespace kt::data::pricing {

double WholePart(double value) {
  if (!std::isfinite(value)) return 0.0;
  const double magnitude = std::fabs(value);
  if (magnitude >= kNoFraction) return value;
  double whole = std::floor(magnitude);
  if ((whole + 1) - magnitude <= NudgeFor(magnitude)) whole += 1;
  return whole == 0 ? 0.0 : std::copysign(whole, value);
}

}  // namespace kt::data::pricing
