#include "server/data/pricing/lookup_time.h"

#include <cstdint>
#include <cstdio>

namespace kt::data::pricing {

std::string LookupTime::ClockText() const {
  const int m = minute < 0 ? 0 : (minute > 1439 ? 1439 : minute);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d", m / 60, m % 60);
  return buf;
}

std::string LookupTime::Dtos(const Date& date) {
  if (date.blank()) return std::string(8, ' ');
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", date.year % 10000, date.month % 100, date.day % 100);
  return buf;
}

int WeekdayFromMonday(const Date& date) {
  if (date.blank() || date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31) return -1;
  // Julian day number of a Gregorian date; JDN mod 7 is 0 on a Monday.
  const int64_t a = (14 - date.month) / 12;
  const int64_t y = int64_t{date.year} + 4800 - a;
  const int64_t m = date.month + 12 * a - 3;
  const int64_t jdn = date.day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
  return static_cast<int>(((jdn % 7) + 7) % 7);
}

}  // namespace kt::data::pricing
