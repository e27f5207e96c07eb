#include "server/data/price_text.h"

#include "server/data/pricing/price_text.h"

namespace kt::data {
namespace {

// The pricing library formats by currency; only the decimals matter for the picture.
std::optional<pricing::Currency> PictureCurrency(std::optional<int> decimals) {
  if (!decimals) return std::nullopt;
  return pricing::Currency{0, true, *decimals};
}

}  // namespace

std::string FormatPriceNumber(double number, std::optional<int> decimals) {
  const std::optional<pricing::Currency> currency = PictureCurrency(decimals);
  return pricing::FormatPriceNumber(number, currency ? &*currency : nullptr);
}

std::string FormatQuantity(double quantity) { return pricing::FormatQuantityText(quantity); }

std::string FormatPriceText(double total, std::optional<int> decimals, double quantity,
                            std::string_view unit_text) {
  const std::optional<pricing::Currency> currency = PictureCurrency(decimals);
  return pricing::PriceText(total, currency ? &*currency : nullptr, quantity, unit_text);
}

}  // namespace kt::data
