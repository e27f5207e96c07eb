// The price text of a reply ({hargajual}): "12.500 / 1 PCS".
//
// Numbers are written with "," before the decimals and "." between thousands, whatever the
// machine's locale: nothing here consults the C or C++ locale.
#pragma once

#include <string>
#include <string_view>

#include "server/data/pricing/currency.h"

namespace kt::data::pricing {

// Decimals of the retail currency's picture: "999,999,999" (0 decimals, also for an unknown
// currency), "999,999,999.9" (1), "999,999,999.99" (2 or more).
int PictureDecimals(const Currency* retail);

// The total through the retail currency's picture, leading blanks removed: "12.500",
// "1.234,50". A total too large for the picture's nine integer digits is written in full with the
// same grouping ("1.234.567.890") rather than cut or starred, so the shown price is never wrong.
std::string FormatPriceNumber(double total, const Currency* retail);

// The quantity in decimal without trailing zeros after the "," and without a "," that ends it:
// 1 -> "1", 2.5 -> "2,5". Up to six decimals.
std::string FormatQuantityText(double quantity);

// Number text + " / " + quantity text + " " + unit text. The number text is "-" when the total is
// 0 at the picture's decimals (so a total never shows as "0" or "-0").
std::string PriceText(double total, const Currency* retail, double quantity, std::string_view unit_text);

}  // namespace kt::data::pricing
