#include "server/data/code_key.h"

#include <algorithm>
#include <cmath>

#include "common/text/text.h"

namespace kt::data {

std::string ApplyClearText(std::string_view code, std::string_view clear, bool everywhere) {
  std::string out(code);
  if (clear.empty()) return out;
  if (everywhere) {
    std::string result;
    std::size_t pos = 0;
    while (true) {
      const std::size_t hit = out.find(clear, pos);
      if (hit == std::string::npos) break;
      result.append(out, pos, hit - pos);
      pos = hit + clear.size();
    }
    result.append(out, pos, std::string::npos);
    return result;
  }
  if (out.size() >= clear.size() && std::string_view(out).substr(out.size() - clear.size()) == clear) {
    out.resize(out.size() - clear.size());
  }
  return out;
}

QuantitySplit SplitQuantity(std::string_view code) {
  for (char sign : {'+', '*'}) {
    const std::size_t pos = code.find(sign);
    if (pos != std::string_view::npos) {
      return {std::string(code.substr(0, pos)), std::string(code.substr(pos + 1))};
    }
  }
  return {std::nullopt, std::string(code)};
}

double ScanQuantity(const std::optional<std::string>& quantity_text, std::optional<double> given) {
  double quantity = 0;
  if (quantity_text) {
    quantity = std::fabs(text::LeadingNumber(*quantity_text));
  } else if (given && std::isfinite(*given)) {
    quantity = *given;
  }
  return quantity == 0 ? 1 : quantity;
}

std::string PadKey(std::string_view code, std::size_t width) {
  std::string key = text::UpperAscii(code.substr(0, std::min(code.size(), width)));
  key.resize(width, ' ');
  return key;
}

int PictureDecimals(std::string_view picture) {
  const std::size_t point = picture.find('.');
  if (point == std::string_view::npos) return 0;
  int decimals = 0;
  for (std::size_t i = point + 1; i < picture.size(); ++i) {
    if (picture[i] == '9' || picture[i] == '#') ++decimals;
  }
  return decimals;
}

double RoundToPicture(double quantity, std::string_view picture) {
  const double scale = std::pow(10.0, PictureDecimals(picture));
  const double rounded = std::round(quantity * scale) / scale;
  return std::isfinite(rounded) ? rounded : quantity;
}

}  // namespace kt::data
