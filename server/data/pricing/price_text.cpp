#include "server/data/pricing/price_text.h"

#include "server/data/pricing/money.h"

namespace kt::data::pricing {
namespace {

constexpr int kQuantityDecimals = 6;

}  // namespace

int PictureDecimals(const Currency* retail) {
  if (retail == nullptr || retail->decimals <= 0) return 0;
  return retail->decimals >= 2 ? 2 : 1;
}

std::string FormatPriceNumber(double total, const Currency* retail) {
  return FormatDecimal(total, PictureDecimals(retail), ',', '.');
}

std::string FormatQuantityText(double quantity) {
  std::string text = FormatDecimal(quantity, kQuantityDecimals, ',', '\0');
  while (text.back() == '0') text.pop_back();
  if (text.back() == ',') text.pop_back();
  return text;
}

std::string PriceText(double total, const Currency* retail, double quantity, std::string_view unit_text) {
  const bool zero = RoundHalfAway(total, PictureDecimals(retail)) == 0;
  std::string text = zero ? std::string("-") : FormatPriceNumber(total, retail);
  text += " / ";
  text += FormatQuantityText(quantity);
  text += ' ';
  text += unit_text;
  return text;
}

}  // namespace kt::data::pricing
