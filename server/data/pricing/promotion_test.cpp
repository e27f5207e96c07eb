#include "server/data/pricing/promotion.h"

#include <gtest/gtest.h>

namespace kt::data::pricing {
namespace {

// December 2026: Monday 7 ... Sunday 13; the 7th and the 25th (a Friday) are holidays.
const HolidayList& Holidays() {
  static const HolidayList list({{2026, 12, 25}, {2026, 12, 7}});
  return list;
}

TEST(Weekday, MondayIsZero) {
  EXPECT_EQ(WeekdayFromMonday({2026, 12, 7}), 0);
  EXPECT_EQ(WeekdayFromMonday({2026, 12, 10}), 3);
  EXPECT_EQ(WeekdayFromMonday({2026, 12, 13}), 6);
  EXPECT_EQ(WeekdayFromMonday({2000, 1, 1}), 5);   // a Saturday
  EXPECT_EQ(WeekdayFromMonday({2024, 2, 29}), 3);  // a leap-day Thursday
  EXPECT_EQ(WeekdayFromMonday({}), -1);
}

TEST(DayMaskAccepts, WeekdaysAndHolidayFlag) {
  struct Case {
    const char* mask;
    Date date;
    bool expected;
  } const cases[] = {
      {"1111100", {2026, 12, 11}, true},     // Friday
      {"1111100", {2026, 12, 12}, false},    // Saturday
      {"1111100", {2026, 12, 13}, false},    // Sunday
      {"1111100", {2026, 12, 7}, false},     // holiday Monday: 7 characters mean flag 0
      {"11111000", {2026, 12, 7}, false},    // holiday Monday, flag 0
      {"11111000", {2026, 12, 14}, true},    // ordinary Monday
      {"11111001", {2026, 12, 7}, true},     // holiday, flag 1
      {"00000001", {2026, 12, 7}, true},     // only on holidays
      {"00000001", {2026, 12, 25}, true},
      {"00000001", {2026, 12, 8}, false},
      {"00000011", {2026, 12, 13}, true},    // Sunday, and holidays too
      {"1111111", {2026, 12, 25}, false},    // every weekday, but not a holiday
      {"0000000", {2026, 12, 9}, false},
      {"", {2026, 12, 12}, true},            // shorter than 7: every day
      {"111111", {2026, 12, 13}, true},
      {"  1111100 ", {2026, 12, 12}, false}, // trimmed before it is read
      {"11111X0", {2026, 12, 12}, false},    // only "1" accepts
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DayMaskAccepts(c.mask, c.date, Holidays()), c.expected)
        << "'" << c.mask << "' on " << c.date.day;
  }
}

TEST(IsPromotionValid, DateAndTimeWindowsAreInclusive) {
  const PromotionWindow tenth{{2026, 12, 1}, {2026, 12, 10}, "", 0, 0};
  const PromotionWindow morning{{2026, 12, 1}, {2026, 12, 31}, "", 480, 600};
  const PromotionWindow until_ten{{2026, 12, 1}, {2026, 12, 31}, "", 0, 600};
  const PromotionWindow no_end{{2026, 12, 1}, {}, "", 0, 0};
  const PromotionWindow weekdays{{2026, 12, 1}, {2026, 12, 31}, "1111100", 480, 600};
  struct Case {
    const char* name;
    const PromotionWindow* window;
    LookupTime when;
    bool expected;
  } const cases[] = {
      {"last day", &tenth, {{2026, 12, 10}, 1439}, true},
      {"day after", &tenth, {{2026, 12, 11}, 0}, false},
      {"first day", &tenth, {{2026, 12, 1}, 0}, true},
      {"day before", &tenth, {{2026, 11, 30}, 700}, false},
      {"07:59", &morning, {{2026, 12, 9}, 479}, false},
      {"08:00", &morning, {{2026, 12, 9}, 480}, true},
      {"10:00", &morning, {{2026, 12, 9}, 600}, true},
      {"10:01", &morning, {{2026, 12, 9}, 601}, false},
      {"open start, 00:00", &until_ten, {{2026, 12, 9}, 0}, true},
      {"open start, 10:01", &until_ten, {{2026, 12, 9}, 601}, false},
      {"blank last day", &no_end, {{2026, 12, 9}, 0}, false},
      {"time fits, Saturday", &weekdays, {{2026, 12, 12}, 540}, false},
      {"time fits, Friday", &weekdays, {{2026, 12, 11}, 540}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsPromotionValid(*c.window, c.when, Holidays()), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace kt::data::pricing
