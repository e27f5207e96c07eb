#include "server/data/code_key.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace kt::data {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return TrimRight(text);
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

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

double LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string number;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) number += text[i++];
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      number += c;
      digits = true;
    } else if (c == '.' && !point) {
      number += c;
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return 0;
  // from_chars, not strtod: the window process runs under the user's locale, where strtod may
  // expect a decimal comma and would read "2.5" as 2.
  if (number.front() == '+') number.erase(0, 1);
  double value = 0;
  const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec != std::errc()) return 0;
  return std::isfinite(value) ? value : 0;
}

double ScanQuantity(const std::optional<std::string>& quantity_text, std::optional<double> given) {
  double quantity = 0;
  if (quantity_text) {
    quantity = std::fabs(LeadingNumber(*quantity_text));
  } else if (given && std::isfinite(*given)) {
    quantity = *given;
  }
  return quantity == 0 ? 1 : quantity;
}

std::string PadKey(std::string_view code, std::size_t width) {
  std::string key = ToUpperAscii(code.substr(0, std::min(code.size(), width)));
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
