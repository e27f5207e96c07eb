#include "tool/terminal/demo_screens.h"

#include <cassert>
#include <random>

#include "common/display/commands.h"
#include "tool/config/text_codec.h"

namespace kt::terminal {
namespace {

namespace d = display;

std::string Euro(int codepage_index) { return config::EncodeText("\u20AC", codepage_index); }

std::string Screen0() {
  return d::NewScreen() + d::SelectFont(d::Font::kLarge) + d::MoveToPoint(0x31, 0x40) +
         d::AlignedText(d::Align::kLineCentre, " Vistrand ID") + d::SelectFont(d::Font::kSmall) +
         d::MoveTo(2, 3) + d::AlignedText(d::Align::kLineCentre, " Welcomes you!");
}

std::string Screen1() {
  static constexpr uint8_t kStars[7][2] = {{0x31, 0x40}, {0x40, 0x60}, {0x90, 0x4A}, {0x97, 0x5A},
                                           {0x72, 0x45}, {0x50, 0x4D}, {0x65, 0x62}};
  std::string s = d::NewScreen() + d::SelectFont(d::Font::kSmall) + "Print anywhere:";
  for (const auto& p : kStars) s += d::MoveToPoint(p[0], p[1]) + "*";
  return s;
}

std::string Screen2(const std::string& euro) {
  return d::NewScreen() + d::SelectFont(d::Font::kSmall) + d::MoveTo(0, 0) + "Mineral Water" + d::kNextLine +
         "1 Ltr." + d::SelectFont(d::Font::kLarge) + d::AlignedText(d::Align::kBottomRight, euro + " 0,98");
}

std::string Screen3(const std::string& euro) {
  return d::NewScreen() + d::SelectFont(d::Font::kSmall) + d::MoveTo(0, 0) +
         d::AlignedText(d::Align::kTopCentre, " Coca Cola 0.33Ltr") + d::SelectFont(d::Font::kLarge) +
         d::MoveTo(0, 0) + d::AlignedText(d::Align::kCentre, "Special Offer !") +
         d::SelectFont(d::Font::kSmall) + d::MoveTo(0, 0) +
         d::AlignedText(d::Align::kBottomCentre, " " + euro + " 2,69 (Crate) ");
}

std::string Screen4() {
  return d::NewScreen() + d::SelectFont(d::Font::kLarge) + d::MoveTo(0, 0) +
         d::AlignedText(d::Align::kLineCentre, " Check out") + d::SelectFont(d::Font::kSmall) + d::MoveTo(0, 2) +
         d::AlignedText(d::Align::kLineCentre, " our new") + d::SelectFont(d::Font::kLarge) + d::MoveTo(1, 2) +
         "CORVANE" + d::SelectFont(d::Font::kSmall) + d::MoveToPoint(0x8A, 0x5D) + " KX25";
}

}  // namespace

std::string Greeting() { return d::ClearDisplay() + "Connected !"; }

std::string DemoScreen(int index, int codepage_index) {
  assert(index >= 0 && index < kDemoScreenCount);
  switch (index) {
    case 0: return Screen0();
    case 1: return Screen1();
    case 2: return Screen2(Euro(codepage_index));
    case 3: return Screen3(Euro(codepage_index));
    default: return Screen4();
  }
}

DemoScreenChooser::DemoScreenChooser()
    : random_([engine = std::mt19937(std::random_device{}())]() mutable { return static_cast<unsigned>(engine()); }) {}

int DemoScreenChooser::Next() {
  int n = last_;
  while (n == last_) n = static_cast<int>(random_() % kDemoScreenCount);
  last_ = n;
  return n;
}

}  // namespace kt::terminal
