// Deterministic decimal rounding and number text for money amounts.
//
// Amounts are binary doubles, but every rule rounds at a fixed number of decimal places. A double
// that stands for a decimal amount (12.345, or 1.005) is usually a hair below or above it, so a
// plain round would send exact .5 boundaries either way depending on the value. RoundHalfAway
// first nudges the scaled magnitude up by a few units in the last place, which absorbs the
// representation and arithmetic error of ordinary amounts, then rounds half away from zero. The
// operations are plain IEEE-754 double arithmetic (no contraction into fused multiply-add: the
// library is compiled with -ffp-contract=off), so the result is the same on every run and machine.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace kt::data::pricing {

// `value` rounded half away from zero at `decimals` places (clamped to 0..15). Non-finite values
// give 0; values too large to carry a fraction at that precision come back unchanged.
double RoundHalfAway(double value, int decimals);

// The digits of |value| rounded at `decimals`: integer part grouped by `group_separator` every
// three digits (no grouping when it is '\0'), then `decimal_separator` and exactly `decimals`
// fraction digits when decimals > 0. A "-" leads when the rounded value is below zero.
// Example: (1234567.891, 2, ',', '.') gives "1.234.567,89".
std::string FormatDecimal(double value, int decimals, char decimal_separator, char group_separator);

// Number of digits in the integer part of |value| rounded at `decimals` (0 counts as 1 digit).
int IntegerDigits(double value, int decimals);

// The leading number of `text` the way xBase VAL() reads it: leading blanks, an optional sign,
// digits, at most one ".", digits; reading stops at the first other character. No number gives 0.
double ParseLeadingNumber(std::string_view text);

}  // namespace kt::data::pricing

namespace kt::data::pricing {

// The integer part of `value` (toward zero), counting a value a few units in the last place
// short of a whole number as that whole number: 3.6 / 1.2 counts as 3, not 2.
double WholePart(double value);

}  // namespace kt::data::pricing
