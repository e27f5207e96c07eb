#include "tool/terminal/demo_screens.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kt::terminal {
namespace {

// "1B 24 ..." to bytes; a quoted run between '"' is taken as text.
std::string Bytes(const std::string& layout) {
  std::string out;
  for (std::size_t i = 0; i < layout.size();) {
    if (layout[i] == ' ') {
      ++i;
    } else if (layout[i] == '"') {
      const std::size_t end = layout.find('"', i + 1);
      out += layout.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      out.push_back(static_cast<char>(std::stoi(layout.substr(i, 2), nullptr, 16)));
      i += 2;
    }
  }
  return out;
}

TEST(DemoScreens, EveryScreenByteForByteByCodePage) {
  struct Case {
    int screen;
    int codepage;
    const char* bytes;
  } cases[] = {
      {0, 1, "1B 24 1B 42 31 1B 2C 31 40 1B 2E 3A \" Vistrand ID\" 03 1B 42 30 1B 27 32 33 1B 2E 3A \" Welcomes you!\" 03"},
      {1, 1, "1B 24 1B 42 30 \"Print anywhere:\" 1B 2C 31 40 \"*\" 1B 2C 40 60 \"*\" 1B 2C 90 4A \"*\" "
             "1B 2C 97 5A \"*\" 1B 2C 72 45 \"*\" 1B 2C 50 4D \"*\" 1B 2C 65 62 \"*\""},
      {2, 9, "1B 24 1B 42 30 1B 27 30 30 \"Mineral Water\" 0A \"1 Ltr.\" 1B 42 31 1B 2E 38 E2 82 AC \" 0,98\" 03"},
      {2, 1, "1B 24 1B 42 30 1B 27 30 30 \"Mineral Water\" 0A \"1 Ltr.\" 1B 42 31 1B 2E 38 80 \" 0,98\" 03"},
      {3, 9, "1B 24 1B 42 30 1B 27 30 30 1B 2E 31 \" Coca Cola 0.33Ltr\" 03 1B 42 31 1B 27 30 30 1B 2E 34 "
             "\"Special Offer !\" 03 1B 42 30 1B 27 30 30 1B 2E 37 20 E2 82 AC \" 2,69 (Crate) \" 03"},
      {3, 0, "1B 24 1B 42 30 1B 27 30 30 1B 2E 31 \" Coca Cola 0.33Ltr\" 03 1B 42 31 1B 27 30 30 1B 2E 34 "
             "\"Special Offer !\" 03 1B 42 30 1B 27 30 30 1B 2E 37 20 80 \" 2,69 (Crate) \" 03"},
      {4, 1, "1B 24 1B 42 31 1B 27 30 30 1B 2E 3A \" Check out\" 03 1B 42 30 1B 27 30 32 1B 2E 3A \" our new\" 03 "
             "1B 42 31 1B 27 31 32 \"CORVANE\" 1B 42 30 1B 2C 8A 5D \" KX25\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DemoScreen(c.screen, c.codepage), Bytes(c.bytes)) << "screen " << c.screen << " cp " << c.codepage;
  }
  // Screens without a price are the same in every code page.
  for (int screen : {0, 1, 4}) EXPECT_EQ(DemoScreen(screen, 9), DemoScreen(screen, 1));
  EXPECT_EQ(Greeting(), Bytes("1B 25 \"Connected !\""));
}

TEST(DemoScreens, ChooserNeverRepeatsTheLastScreen) {
  // A source stuck on one value for a while must not give the same screen twice in a row.
  const std::vector<unsigned> draws = {2, 2, 2, 7, 7, 12, 3, 4, 9, 0, 5, 10, 1};
  std::size_t i = 0;
  DemoScreenChooser chooser([&] { return draws[i++ % draws.size()]; });
  EXPECT_EQ(chooser.last(), -1);
  std::vector<int> got;
  for (int n = 0; n < 6; ++n) got.push_back(chooser.Next());
  EXPECT_EQ(got, (std::vector<int>{2, 3, 4, 0, 1, 2}));
  DemoScreenChooser real;
  int last = real.Next();
  for (int n = 0; n < 200; ++n) {
    const int next = real.Next();
    ASSERT_NE(next, last);
    ASSERT_GE(next, 0);
    ASSERT_LT(next, kDemoScreenCount);
    last = next;
  }
}

}  // namespace
}  // namespace kt::terminal
