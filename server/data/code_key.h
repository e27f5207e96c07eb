// The pure steps that turn a scanned code into a search key: clear text, quantity prefix,
// quantity, key padding, and the quantity picture.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kt::data {

std::string_view TrimBlanks(std::string_view text);   // leading and trailing blanks
std::string_view TrimRight(std::string_view text);    // trailing blanks
std::string ToUpperAscii(std::string_view text);

// Removes the clear text: every occurrence when `everywhere`, else one trailing occurrence.
// An empty clear text changes nothing.
std::string ApplyClearText(std::string_view code, std::string_view clear, bool everywhere);

// A code split at its quantity sign: "+" is tested before "*"; the quantity text is what comes
// before the first sign, the code what follows it.
struct QuantitySplit {
  std::optional<std::string> quantity_text;
  std::string code;
};
QuantitySplit SplitQuantity(std::string_view code);

// The leading number of a text as the xBase VAL() reads it (blanks, sign, digits, one "."),
// 0 when the text does not start with a number.
double LeadingNumber(std::string_view text);

// The quantity of a scan: |number| of the quantity text, else the given quantity, else 1; a
// result of 0 becomes 1.
double ScanQuantity(const std::optional<std::string>& quantity_text, std::optional<double> given);

// The code in upper case, right-padded with blanks or cut to `width`.
std::string PadKey(std::string_view code, std::size_t width);

// Number of decimals of a quantity picture such as "999,999.99" (digits after its ".").
int PictureDecimals(std::string_view picture);
// The quantity as the picture shows it, read back: rounded (half away from zero) to the
// picture's decimals.
double RoundToPicture(double quantity, std::string_view picture);

}  // namespace kt::data
