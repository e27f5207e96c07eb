// The price text of a reply ({hargajual}): "12.500 / 1 PCS".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kt::data {

// `number` formatted with the picture "999,999,999" (0 decimals), "999,999,999.9" (1) or
// "999,999,999.99" (2 or more), with "." grouping thousands and "," before the decimals, leading
// blanks removed. Unknown decimals (no currency) use 0. A value too large for the picture is
// written in full rather than cut.
std::string FormatPriceNumber(double number, std::optional<int> decimals);

// The quantity without trailing zeros after the decimal separator "," (1 -> "1", 2.5 -> "2,5").
std::string FormatQuantity(double quantity);

// Number text (or "-" for a total of exactly 0) + " / " + quantity + " " + unit text.
std::string FormatPriceText(double total, std::optional<int> decimals, double quantity,
                            std::string_view unit_text);

}  // namespace kt::data
