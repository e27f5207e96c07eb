// The streams the TCP terminal sends on its own: the greeting once connected, and the five
// demonstration screens that answer scanned barcodes when "Respond to barcodes" is on.
//
// Every stream is built here byte for byte; the screens that show a price carry the euro sign in
// the terminal's code page (E2 82 AC for UTF-8, index 9; 0x80 in the single-byte code page of
// every other index). Screen 4 ends with its text, without a closing 0x03.
#pragma once

#include <functional>
#include <string>

namespace kt::terminal {

inline constexpr int kDemoScreenCount = 5;

// ESC '%' "Connected !"
std::string Greeting();

// Screen `index` (0-4) for a terminal with the given code-page index.
// REQUIRES: 0 <= index < kDemoScreenCount
std::string DemoScreen(int index, int codepage_index);

// Picks the next screen at random, never the one sent last.
//
// Thread safety: none; one chooser per terminal connection.
class DemoScreenChooser {
 public:
  // Returns a number; only its value modulo 5 counts. Tests inject their own sequence.
  using RandomSource = std::function<unsigned()>;

  DemoScreenChooser();  // seeded from the system's random device
  explicit DemoScreenChooser(RandomSource random) : random_(std::move(random)) {}

  // Draws until the number differs from the last screen's, and remembers it.
  int Next();
  int last() const { return last_; }  // -1 before the first

 private:
  RandomSource random_;
  int last_ = -1;
};

}  // namespace kt::terminal
