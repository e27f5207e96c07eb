#include <gtest/gtest.h>

#include <random>

#include "common/display/commands.h"
#include "common/display/drawing.h"
#include "common/display/emulator.h"

namespace kt::display {
namespace {

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s.push_back(static_cast<char>(v));
  return s;
}

TEST(DisplayCommands, BuildersGiveTheExactBytes) {
  EXPECT_EQ(ClearDisplay(), Bytes({0x1B, 0x25}));
  EXPECT_EQ(NewScreen(), Bytes({0x1B, 0x24}));
  EXPECT_EQ(SelectFont(Font::kLarge), Bytes({0x1B, 0x42, 0x31}));
  EXPECT_EQ(SelectFont(Font::kSmall), Bytes({0x1B, 0x42, 0x30}));
  EXPECT_EQ(MoveTo(2, 3), Bytes({0x1B, 0x27, 0x32, 0x33}));
  EXPECT_EQ(MoveToPoint(0x97, 0x62), Bytes({0x1B, 0x2C, 0x97, 0x62}));
  EXPECT_EQ(AlignedText(Align::kLineCentre, "Hi"), Bytes({0x1B, 0x2E, 0x3A, 'H', 'i', 0x03}));
  // The tool's first demonstration screen, built from the pieces.
  const std::string screen0 = NewScreen() + SelectFont(Font::kLarge) + MoveToPoint(0x31, 0x40) +
                              AlignedText(Align::kLineCentre, " Vistrand ID") + SelectFont(Font::kSmall) +
                              MoveTo(2, 3) + AlignedText(Align::kLineCentre, " Welcomes you!");
  EXPECT_EQ(screen0.substr(0, 9), Bytes({0x1B, 0x24, 0x1B, 0x42, 0x31, 0x1B, 0x2C, 0x31, 0x40}));
  EXPECT_EQ(screen0.size(), 2u + 3 + 4 + 3 + 12 + 1 + 3 + 4 + 3 + 14 + 1);
}

// A price answer as the server's default template sends it, drawn cell by cell.
TEST(DisplayDrawing, KnownStreamCellByCell) {
  const std::string stream = "\x1B%\x1B" "B0"
                             "\x1B'00\x1B.:Sampo Anti Ketombe\x03"
                             "\x1B'01\x1B.: Botol 170ml Mentho\x03"
                             "\x1B'02\x1B.:l\x03"
                             "\x1B" "B1\x1B.718.900 / 1 BTL\x03";
  const std::string want =
      "scan SAMPO01\n"
      "  +--------------------+\n"
      "  | Sampo Anti Ketombe |\n"
      "  | Botol 170ml Mentho |\n"
      "  |         l          |\n"
      "  |                    |\n"
      "  |                    |\n"
      "  |                    |\n"
      "  |                    |\n"
      "L |   18.900 / 1 BTL   |\n"
      "  +--------------------+\n";
  const std::string got = DrawStream("scan SAMPO01", stream);
  // Line by line, then cell by cell, so a failure names the cell.
  std::size_t at_w = 0, at_g = 0;
  for (int line = 0; line < 11; ++line) {
    const std::size_t end_w = want.find('\n', at_w), end_g = got.find('\n', at_g);
    ASSERT_NE(end_g, std::string::npos) << "line " << line << " missing in\n" << got;
    const std::string w = want.substr(at_w, end_w - at_w), g = got.substr(at_g, end_g - at_g);
    ASSERT_EQ(g.size(), w.size()) << "line " << line << ": " << g;
    for (std::size_t cell = 0; cell < w.size(); ++cell) EXPECT_EQ(g[cell], w[cell]) << "line " << line << " cell " << cell;
    at_w = end_w + 1;
    at_g = end_g + 1;
  }
  EXPECT_EQ(got.size(), want.size());
}

TEST(DisplayDrawing, HexBlockSixteenBytesALine) {
  std::string stream = ClearDisplay() + "0123456789ABCDEFGH";  // 20 bytes
  const std::string got = DrawStream("t", stream, true);
  EXPECT_NE(got.find("\n  hex 1B 25 30 31 32 33 34 35 36 37 38 39 41 42 43 44\n      45 46 47 48\n"), std::string::npos)
      << got;
  EXPECT_EQ(HexBytes(std::string("\x00\xFF", 2)), "00 FF");
  EXPECT_EQ(DrawStream("t", stream).find("hex"), std::string::npos);
}

TEST(DisplayEmulator, GreetingShowsConnectedCentredInTheLargeFont) {
  DisplayEmulator d;
  d.Feed(ClearDisplay() + SelectFont(Font::kLarge) + AlignedText(Align::kCentre, "CONNECTED"));
  const auto rows = d.TrimmedRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3], "     CONNECTED");
  EXPECT_EQ(d.row_font(3), Font::kLarge);
  EXPECT_EQ(d.clears(), 1);
}

TEST(DisplayEmulator, PriceAnswerHasThreeNameLinesAndThePriceAtTheBottom) {
  DisplayEmulator d;
  std::string s = ClearDisplay() + SelectFont(Font::kSmall);
  s += MoveTo(0, 0) + AlignedText(Align::kLineCentre, "ABCDEFGHIJKLMNOPQR");
  s += MoveTo(0, 1) + AlignedText(Align::kLineCentre, "STUV");
  s += MoveTo(0, 2) + AlignedText(Align::kLineCentre, "");
  s += SelectFont(Font::kLarge) + AlignedText(Align::kBottomCentre, "12.500 / 1 PCS");
  d.Feed(s);
  const auto& rows = d.rows();
  EXPECT_EQ(rows[0], " ABCDEFGHIJKLMNOPQR ");
  EXPECT_EQ(rows[1], "        STUV        ");
  EXPECT_EQ(rows[7], "   12.500 / 1 PCS   ");
  EXPECT_EQ(d.row_font(7), Font::kLarge);
  EXPECT_EQ(d.row_font(0), Font::kSmall);
  EXPECT_NE(d.Render().find("L |   12.500 / 1 PCS   |"), std::string::npos);
}

TEST(DisplayEmulator, ErrorTextLinesEndedByCrAndTheNextStreamClearsThem) {
  DisplayEmulator d;
  d.Feed(ClearDisplay() + SelectFont(Font::kSmall) + "123, Kode tidak \rketemu !\r");
  EXPECT_EQ(d.TrimmedRows(), (std::vector<std::string>{"123, Kode tidak", "ketemu !"}));
  d.Feed(ClearDisplay() + "X");
  EXPECT_EQ(d.TrimmedRows(), (std::vector<std::string>{"X"}));
  EXPECT_EQ(d.clears(), 2);
}

TEST(DisplayEmulator, StreamInPiecesEqualsStreamAtOnceAndLongTextWraps) {
  const std::string s = ClearDisplay() + MoveTo(1, 2) + "plain text longer than one row" +
                        MoveToPoint(0x97, 0x62) + "*" + AlignedText(Align::kBottomRight, "R");
  DisplayEmulator whole, pieces;
  whole.Feed(s);
  for (char c : s) pieces.Feed(std::string_view(&c, 1));
  EXPECT_EQ(whole.rows(), pieces.rows());
  EXPECT_EQ(whole.rows()[2], " plain text longer t");
  EXPECT_EQ(whole.rows()[3].substr(0, 11), "han one row");
  EXPECT_EQ(whole.rows()[7].back(), 'R');
}

TEST(DisplayEmulator, AnyBytesAreSafe) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 200; ++round) {
    DisplayEmulator d;
    std::string s;
    static constexpr std::string_view kCommandBytes = "\x1B%$B',.\x03\r\nA0";
    for (int i = 0; i < 300; ++i)
      s.push_back(round % 2 ? static_cast<char>(byte(rng)) : kCommandBytes[static_cast<std::size_t>(byte(rng)) % kCommandBytes.size()]);
    d.Feed(s);
    ASSERT_EQ(d.rows().size(), static_cast<std::size_t>(DisplayEmulator::kRows));
    for (const auto& r : d.rows()) ASSERT_EQ(r.size(), static_cast<std::size_t>(DisplayEmulator::kColumns));
  }
}

}  // namespace
}  // namespace kt::display
