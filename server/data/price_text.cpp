#include "server/data/price_text.h"

#include <cmath>
#include <cstdio>

namespace kt::data {

std::string FormatPriceNumber(double number, std::optional<int> decimals) {
  int places = decimals.value_or(0);
  if (places < 0) places = 0;
  if (places > 2) places = 2;
  // Half away from zero, as the picture shows it (printf alone would round half to even).
  const double scale = std::pow(10.0, places);
  const double rounded = std::round(std::fabs(number) * scale) / scale;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", places, rounded);
  std::string plain(buffer);
  const std::size_t point = plain.find('.');
  const std::string whole = plain.substr(0, point);
  std::string out;
  if (number < 0 && plain.find_first_not_of("0.") != std::string::npos) out += '-';
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += '.';
    out += whole[i];
  }
  if (point != std::string::npos) out += ',' + plain.substr(point + 1);
  return out;
}

std::string FormatQuantity(double quantity) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6f", quantity);
  std::string text(buffer);
  const std::size_t point = text.find('.');
  if (point != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    else text[point] = ',';
  }
  if (text == "-0") text = "0";
  return text;
}

std::string FormatPriceText(double total, std::optional<int> decimals, double quantity,
                            std::string_view unit_text) {
  std::string text = total == 0 ? std::string("-") : FormatPriceNumber(total, decimals);
  text += " / ";
  text += FormatQuantity(quantity);
  text += ' ';
  text += unit_text;
  return text;
}

}  // namespace kt::data
