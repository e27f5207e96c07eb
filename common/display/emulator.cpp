#include "common/display/emulator.h"

#include <algorithm>

#include "common/text/text.h"

namespace kt::display {
namespace {

// Parameter bytes after ESC + command byte; -1 for commands this emulator does not know.
int ParamCount(char cmd) {
  switch (cmd) {
    case '%': case '$': return 0;
    case 'B': return 1;
    case '\'': case ',': return 2;
    case '.': return 1;  // the alignment code; the text follows up to 0x03
    default: return -1;
  }
}

}  // namespace

DisplayEmulator::DisplayEmulator() { Clear(); }

void DisplayEmulator::Clear() {
  rows_.assign(kRows, std::string(kColumns, ' '));
  fonts_.assign(kRows, Font::kSmall);
  row_ = col_ = 0;
}

void DisplayEmulator::Feed(std::string_view bytes) {
  for (char c : bytes) {
    switch (state_) {
      case State::kText:
        if (c == kEsc) {
          state_ = State::kEsc;
        } else {
          Put(c);
        }
        break;
      case State::kEsc: {
        const int n = ParamCount(c);
        if (n < 0) {  // unknown escape: drop it
          state_ = State::kText;
          break;
        }
        cmd_ = c;
        params_.clear();
        params_needed_ = static_cast<std::size_t>(n);
        state_ = State::kParams;
        if (n == 0) {
          Command(cmd_, params_);
          state_ = State::kText;
        }
        break;
      }
      case State::kParams:
        params_.push_back(c);
        if (params_.size() == params_needed_) {
          if (cmd_ == '.') {
            aligned_.clear();
            state_ = State::kAligned;
          } else {
            Command(cmd_, params_);
            state_ = State::kText;
          }
        }
        break;
      case State::kAligned:
        if (c == kEndOfText) {
          PlaceAligned(params_[0], aligned_);
          state_ = State::kText;
        } else {
          aligned_.push_back(c);
        }
        break;
    }
  }
}

void DisplayEmulator::Command(char cmd, std::string_view p) {
  switch (cmd) {
    case '%':
    case '$':
      Clear();
      ++clears_;
      break;
    case 'B':
      font_ = p[0] == '1' ? Font::kLarge : Font::kSmall;
      break;
    case '\'': {
      const int c = p[0] - '0', r = p[1] - '0';
      if (c >= 0 && c <= 9) col_ = std::min(c, kColumns - 1);
      if (r >= 0 && r <= 9) row_ = std::min(r, kRows - 1);
      break;
    }
    case ',': {
      const int x = static_cast<unsigned char>(p[0]), y = static_cast<unsigned char>(p[1]);
      col_ = std::min(x * kColumns / 160, kColumns - 1);
      row_ = std::min(y * kRows / 100, kRows - 1);
      break;
    }
    default:
      break;
  }
}

void DisplayEmulator::NewLine() {
  col_ = 0;
  row_ = std::min(row_ + 1, kRows - 1);
}

void DisplayEmulator::Put(char c) {
  if (c == '\r' || c == kNextLine) {
    NewLine();
    return;
  }
  if (static_cast<unsigned char>(c) < 0x20) return;  // other control bytes are the terminal's
  if (col_ >= kColumns) NewLine();
  rows_[static_cast<std::size_t>(row_)][static_cast<std::size_t>(col_)] = c;
  fonts_[static_cast<std::size_t>(row_)] = font_;
  ++col_;
}

void DisplayEmulator::WriteAt(int row, int col, std::string_view text) {
  row_ = row;
  col_ = col;
  for (char c : text) Put(c);
}

void DisplayEmulator::PlaceAligned(char code, std::string_view text) {
  const int a = code - '0';
  std::string shown;
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x20) shown.push_back(c);
  const int len = std::min(static_cast<int>(shown.size()), kColumns);
  shown.resize(static_cast<std::size_t>(len));
  const int centred = (kColumns - len) / 2;
  int row = row_;
  int col = centred;
  switch (a) {
    case 1: row = 0; break;
    case 4: row = kRows / 2 - 1; break;
    case 7: row = kRows - 1; break;
    case 8: row = kRows - 1; col = kColumns - len; break;
    default: break;
  }
  // Aligned text replaces whatever that row held.
  rows_[static_cast<std::size_t>(row)].assign(kColumns, ' ');
  WriteAt(row, col, shown);
  fonts_[static_cast<std::size_t>(row)] = font_;
}

std::vector<std::string> DisplayEmulator::TrimmedRows() const {
  std::vector<std::string> out;
  for (const auto& r : rows_) {
    out.emplace_back(text::TrimRight(r));
  }
  while (!out.empty() && out.back().empty()) out.pop_back();
  return out;
}

std::string DisplayEmulator::Render() const {
  const std::string edge = "  +" + std::string(kColumns, '-') + "+\n";
  std::string out = edge;
  for (int r = 0; r < kRows; ++r) {
    out += fonts_[static_cast<std::size_t>(r)] == Font::kLarge ? "L |" : "  |";
    out += rows_[static_cast<std::size_t>(r)];
    out += "|\n";
  }
  out += edge;
  return out;
}

}  // namespace kt::display
