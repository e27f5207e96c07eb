#include "common/text/printable.h"

#include <gtest/gtest.h>

namespace kt::text {
namespace {

TEST(Printable, ControlCharactersAreEscapedAndTextIsKept) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"KX25 Kasir 1", "KX25 Kasir 1"},
      // A retitle (OSC ... BEL) and a clear screen, as a hostile discovery reply carries them.
      {"\x1B]0;owned\x07name", "\\x1B]0;owned\\x07name"},
      {"\x1B[2J\x1B[H", "\\x1B[2J\\x1B[H"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\r\n\t\x7F", "\\x0D\\x0A\\x09\\x7F"},
      // C1 controls: 8-bit CSI alone, and written as UTF-8.
      {"x\x9B" "2J", "x\\x9B2J"},
      {"x\xC2\x9B" "2J", "x\\xC2\\x9B2J"},
      // UTF-8 text and 8-bit letters stay.
      {"Caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80", "Caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80"},
      {"Caf\xE9 \xA0\xFF", "Caf\xE9 \xA0\xFF"},
      // A cut sequence: its lead byte stays, a stray continuation in the C1 range does not.
      {"\xE2\x80", "\xE2\\x80"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Printable(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace kt::text
