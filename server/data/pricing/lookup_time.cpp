#include "server/data/pricing/lookup_time.h"

#include <cstdint>
#include <cstdio>

namespace kt::data::pricing {

namespace {

// `value` (0 <= value < 10^width) as `width` digits at `out`. Every rate search builds these
// texts, so they are written directly rather than through printf.
void PutDigits(char* out, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

}  // namespace

std::string LookupTime::ClockText() const {
  const int m = minute < 0 ? 0 : (minute > 1439 ? 1439 : minute);
  std::string text = "00:00";
  PutDigits(&text[0], m / 60, 2);
  PutDigits(&text[3], m % 60, 2);
  return text;
}

std::string LookupTime::Dtos(const Date& date) {
  if (date.blank()) return std::string(8, ' ');
  const int year = date.year % 10000, month = date.month % 100, day = date.day % 100;
  if (year >= 0 && month >= 0 && day >= 0) {
    std::string text(8, '0');
    PutDigits(&text[0], year, 4);
    PutDigits(&text[4], month, 2);
    PutDigits(&text[6], day, 2);
    return text;
  }
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
