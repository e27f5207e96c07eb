#include <string>

#include <gtest/gtest.h>

#include "tool/terminal/key_input.h"
#include "tool/terminal/terminal_log.h"

namespace kt::terminal {
namespace {

TEST(ReceiveHandler, LogTextScreensAndBarcodeBuffer) {
  struct Case {
    const char* name;
    std::string bytes;
    bool respond;
    std::string shown;
    int screens;
  } cases[] = {
      {"plain code with CR", "4006381333931\r", false, "4006381333931\r", 0},
      {"respond: CR ends one barcode", "4006381333931\r", true, "4006381333931<13>", 1},
      {"respond: CR LF answers twice", "12\r\n", true, "12<13><10>", 2},
      {"backspace and other controls", "a\bb\x01\x1B", false, "a\bb<1><27>", 0},
      {"respond shows every control byte", "\b\n", true, "<8><10>", 1},
      {"NUL skipped, DEL and high bytes shown", std::string("x\0y\x7F\x80\xE2\xFF", 7), false,
       "xy<127><128><226><255>", 0},
  };
  for (const Case& c : cases) {
    ReceiveHandler h;
    const auto out = h.Feed(c.bytes, c.respond);
    EXPECT_EQ(out.shown, c.shown) << c.name;
    EXPECT_EQ(out.screens_due, c.screens) << c.name;
  }
}

TEST(ReceiveHandler, BarcodeBufferKeepsTheLast20AcrossReads) {
  ReceiveHandler h;
  EXPECT_EQ(h.barcode(), std::string(20, ' '));
  (void)h.Feed("ABC", false);
  (void)h.Feed("DEF", false);
  EXPECT_EQ(h.barcode(), std::string(14, ' ') + "ABCDEF");
  (void)h.Feed("0123456789012345678901234", false);
  EXPECT_EQ(h.barcode(), "56789012345678901234");
  (void)h.Feed("\r", false);  // ends the barcode but without respond the buffer stays
  EXPECT_EQ(h.barcode(), "56789012345678901234");
  (void)h.Feed("\r", true);
  EXPECT_EQ(h.barcode(), std::string(20, ' '));
}

TEST(EchoSentStream, PrintableAsIsLineEndsTwiceOthersDecimal) {
  EXPECT_EQ(EchoSentStream("\x1B%Connected !"), "<27>%Connected !");
  EXPECT_EQ(EchoSentStream("a\r\nb\x03\x80"), "a<13>\r<10>\nb<3><128>");
}

TEST(KeyInput, HexDigitsMakeOneByte) {
  KeyInput k(1);
  auto first = k.Key('1', true);
  EXPECT_EQ(first.bytes, "");
  EXPECT_TRUE(k.high_half_pending());
  auto second = k.Key('B', true);
  EXPECT_EQ(second.bytes, "\x1B");
  EXPECT_EQ(second.echo, "<0x1B>");
  EXPECT_EQ(k.Key('f', true).bytes, "");
  EXPECT_EQ(k.Key('f', true).echo, "<0xFF>");

  // A blank or a control character is sent as it is and drops the pending half.
  (void)k.Key('4', true);
  auto blank = k.Key(' ', true);
  EXPECT_EQ(blank.bytes, " ");
  EXPECT_FALSE(k.high_half_pending());
  (void)k.Key('4', true);
  EXPECT_EQ(k.Key('\r', true).bytes, "\r");
  EXPECT_EQ(k.Key('1', true).bytes, "");
  EXPECT_EQ(k.Key('0', true).echo, "<0x10>");  // '4' was dropped, so this is 1 then 0

  // Not a hex digit: ignored, the pending half stays.
  (void)k.Key('7', true);
  EXPECT_EQ(k.Key('G', true).bytes, "");
  EXPECT_EQ(k.Key('E', true).echo, "<0x7E>");
}

TEST(KeyInput, PlainKeysEscapeAndCodePages) {
  KeyInput latin(1), utf8(9);
  EXPECT_EQ(latin.Key('a', false).echo, "a");
  EXPECT_EQ(latin.Key('\t', false).echo, "<9>");
  EXPECT_EQ(latin.Escape().bytes, "\x1B");
  EXPECT_EQ(latin.Escape().echo, "<27>");
  EXPECT_EQ(latin.Key(U'\u00E9', false).bytes, "\xE9");
  EXPECT_EQ(utf8.Key(U'\u00E9', false).bytes, "\xC3\xA9");
  EXPECT_EQ(utf8.Key(U'\u00E9', false).echo, "\xC3\xA9");
}

TEST(KeyInput, PasteIsConvertedAndLimited) {
  KeyInput latin(1), utf8(9);
  // Other code pages: the text in the terminal's code page, no UTF-16, no terminating zero.
  auto euro = latin.Paste("\xE2\x82\xAC 2,69");
  EXPECT_EQ(euro.bytes, "\x80 2,69");
  EXPECT_EQ(euro.echo, "\xE2\x82\xAC 2,69");
  EXPECT_EQ(utf8.Paste("\xE2\x82\xAC 2,69").bytes, "\xE2\x82\xAC 2,69");

  std::string long_text;
  for (int i = 0; i < 200; ++i) long_text += "\xE2\x82\xAC";  // 600 bytes of UTF-8
  auto cut = utf8.Paste(long_text);
  EXPECT_EQ(cut.bytes.size(), 498u);  // 166 whole euro signs; never half a character
  EXPECT_EQ(cut.echo, cut.bytes);
  auto cut_latin = latin.Paste(std::string(700, 'x'));
  EXPECT_EQ(cut_latin.bytes.size(), kPasteLimit);
  EXPECT_EQ(cut_latin.echo.size(), kPasteLimit);
}

}  // namespace
}  // namespace kt::terminal
