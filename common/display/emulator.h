// A display emulator: interprets a display command stream into what a terminal would show, as
// a grid of text rows, each tagged with the font it was last written in.
//
// Geometry (the terminal's own is not known; this one fits every stream the programs send):
// kRows rows of kColumns characters. Text positions (ESC ''') address rows and columns
// directly; points (ESC ',' x y, up to 160 x 100) are scaled onto the grid. Aligned text goes
// to the top row (code 1), the middle row (4), the bottom row (7, 8 right-aligned) or the
// current row (10 and anything else), centred unless it says otherwise. Plain text prints at
// the current position and wraps; CR and LF start the next row. Unknown escapes and other
// control bytes are ignored. The parser keeps its state between Feed calls, so a stream may
// arrive in pieces.
//
// Thread safety: none; one emulator per terminal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/display/commands.h"

namespace kt::display {

class DisplayEmulator {
 public:
  static constexpr int kColumns = 20;
  static constexpr int kRows = 8;

  DisplayEmulator();

  void Feed(std::string_view bytes);

  // The rows as shown, each exactly kColumns characters (blanks where nothing is).
  const std::vector<std::string>& rows() const { return rows_; }
  // The rows without trailing blanks, and without trailing empty rows.
  std::vector<std::string> TrimmedRows() const;
  // The font each row was last written in.
  Font row_font(int row) const { return fonts_[static_cast<std::size_t>(row)]; }
  int clears() const { return clears_; }

  // A framed picture of the display, one line per row, large-font rows marked "L".
  std::string Render() const;

 private:
  enum class State { kText, kEsc, kParams, kAligned };

  void Clear();
  void Put(char c);
  void NewLine();
  void Command(char cmd, std::string_view params);
  void PlaceAligned(char code, std::string_view text);
  void WriteAt(int row, int col, std::string_view text);

  std::vector<std::string> rows_;
  std::vector<Font> fonts_;
  Font font_ = Font::kSmall;
  int row_ = 0, col_ = 0;
  int clears_ = 0;

  State state_ = State::kText;
  char cmd_ = 0;
  std::size_t params_needed_ = 0;
  std::string params_;
  std::string aligned_;
};

}  // namespace kt::display
