#include "server/net/random_text.h"

#include <gtest/gtest.h>

namespace kt::net {
namespace {

TEST(RandomText, EighteenLettersNoRepeatNeverAFirst) {
  std::mt19937 rng(12345);
  for (int i = 0; i < 2000; ++i) {
    const std::string t = MakeRandomText(18, 'A', 'Z', rng);
    ASSERT_EQ(t.size(), 18u);
    EXPECT_NE(t[0], 'A') << t;
    for (std::size_t j = 0; j < t.size(); ++j) {
      ASSERT_GE(t[j], 'A');
      ASSERT_LE(t[j], 'Z');
      if (j > 0) {
        ASSERT_NE(t[j], t[j - 1]) << t;
      }
    }
  }
}

TEST(RandomText, ClockSeededTextsDiffer) {
  EXPECT_NE(MakeRandomText(18, 'A', 'Z'), MakeRandomText(18, 'A', 'Z'));
}

}  // namespace
}  // namespace kt::net
