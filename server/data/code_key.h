// The pure steps that turn a scanned code into a search key: clear text, quantity prefix,
// quantity, key padding, and the quantity picture.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kt::data {

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

// The quantity of a scan: |number| of the quantity text as VAL() reads it, else the given
// quantity, else 1; a result of 0 becomes 1.
double ScanQuantity(const std::optional<std::string>& quantity_text, std::optional<double> given);

// The code in upper case, right-padded with blanks or cut to `width`.
std::string PadKey(std::string_view code, std::size_t width);

// Number of decimals of a quantity picture such as "999,999.99" (digits after its ".").
int PictureDecimals(std::string_view picture);
// The quantity as the picture shows it, read back: rounded (half away from zero) to the
// picture's decimals.
double RoundToPicture(double quantity, std::string_view picture);

}  // namespace kt::data
