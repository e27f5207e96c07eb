#include "common/display/commands.h"

#include <cassert>

namespace kt::display {

std::string ClearDisplay() { return {kEsc, '%'}; }
std::string NewScreen() { return {kEsc, '$'}; }
std::string SelectFont(Font font) { return {kEsc, 'B', static_cast<char>(font)}; }

std::string MoveTo(int column, int line) {
  assert(column >= 0 && column <= 9 && line >= 0 && line <= 9);
  return {kEsc, '\'', static_cast<char>('0' + column), static_cast<char>('0' + line)};
}

std::string MoveToPoint(uint8_t x, uint8_t y) {
  return {kEsc, ',', static_cast<char>(x), static_cast<char>(y)};
}

std::string AlignedText(uint8_t code, std::string_view text) {
  std::string s{kEsc, '.', static_cast<char>('0' + code)};
  s.append(text);
  s.push_back(kEndOfText);
  return s;
}

std::string AlignedText(Align align, std::string_view text) {
  return AlignedText(static_cast<uint8_t>(align), text);
}

}  // namespace kt::display
