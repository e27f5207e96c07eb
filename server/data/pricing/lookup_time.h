// The moment a price is determined for. Pricing never reads the clock: the caller passes it in.
#pragma once

#include <string>

#include "server/data/driver/date.h"

namespace kt::data::pricing {

struct LookupTime {
  Date date;
  int minute = 0;  // minutes after midnight, 0..1439 (HH*60 + MM of the 24-hour clock)

  // "HH:MM", the form the rate table stores its times in.
  std::string ClockText() const;
  // "YYYYMMDD" (DTOS), 8 blanks for the blank date.
  static std::string Dtos(const Date& date);
};

// 0 = Monday ... 6 = Sunday; -1 for the blank or an impossible date.
int WeekdayFromMonday(const Date& date);

}  // namespace kt::data::pricing
