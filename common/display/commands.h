// Builders for the terminal display command set. Each returns the bytes of one command; a
// stream is their concatenation. ESC is 0x1B; digit parameters are ASCII ('0' is 0x30).
//
//   ESC '%'            clear the display
//   ESC '$'            new screen
//   ESC 'B' n          font: '0' small, '1' large
//   ESC ''' c r        text position: column c, line r (one ASCII digit each)
//   ESC ',' x y        text position at point x, y (one binary byte each)
//   ESC '.' a ... 0x03 text aligned by code a ('0' + code; ':' = 10 is "current line, centred")
//   0x0A               in plain text: next line
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kt::display {

inline constexpr char kEsc = '\x1B';
inline constexpr char kEndOfText = '\x03';
inline constexpr char kNextLine = '\x0A';

enum class Font : char { kSmall = '0', kLarge = '1' };

// Alignment codes of aligned text (the byte sent is '0' + code).
enum class Align : uint8_t {
  kTopCentre = 1,
  kCentre = 4,      // centre of the display
  kBottomCentre = 7,
  kBottomRight = 8,
  kLineCentre = 10,  // current line, centred
};

std::string ClearDisplay();
std::string NewScreen();
std::string SelectFont(Font font);
// REQUIRES: 0 <= column, line <= 9.
std::string MoveTo(int column, int line);
std::string MoveToPoint(uint8_t x, uint8_t y);
// `text` must not contain 0x03, which would end it early.
std::string AlignedText(Align align, std::string_view text);
std::string AlignedText(uint8_t code, std::string_view text);

}  // namespace kt::display
