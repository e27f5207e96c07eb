#include "server/data/driver/date.h"

#include <cstdio>

namespace kt::data {

namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeap(y)) ? 29 : kDays[m - 1];
}

}  // namespace

std::string Date::ToDtos() const {
  if (blank()) return std::string(8, ' ');
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", year % 10000, month % 100, day % 100);
  return std::string(buf, 8);
}

std::optional<Date> Date::FromDtos(std::string_view text) {
  if (text.size() != 8) return std::nullopt;
  if (text == "        " || text == "00000000" || text == std::string_view("\0\0\0\0\0\0\0\0", 8)) {
    return Date{};
  }
  int v[8];
  for (int i = 0; i < 8; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v[i] = text[i] - '0';
  }
  Date d;
  d.year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  d.month = v[4] * 10 + v[5];
  d.day = v[6] * 10 + v[7];
  if (d.blank() || !d.IsValid()) return std::nullopt;
  return d;
}

bool Date::IsValid() const {
  if (blank()) return true;
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  return day <= DaysInMonth(year, month);
}

int64_t Date::ToJulianDay() const {
  if (blank()) return 0;
  // Fliegel-Van Flandern; integer division truncates towards zero as the formula expects.
  const int64_t y = year, m = month, d = day;
  const int64_t a = (m < 3) ? -1 : 0;
  return (1461 * (y + 4800 + a)) / 4 + (367 * (m - 2 - 12 * a)) / 12 -
         (3 * ((y + 4900 + a) / 100)) / 4 + d - 32075;
}

Date Date::FromJulianDay(int64_t jdn) {
  if (jdn <= 0) return Date{};
  int64_t l = jdn + 68569;
  const int64_t n = (4 * l) / 146097;
  l = l - (146097 * n + 3) / 4;
  const int64_t i = (4000 * (l + 1)) / 1461001;
  l = l - (1461 * i) / 4 + 31;
  const int64_t j = (80 * l) / 2447;
  const int64_t day = l - (2447 * j) / 80;
  l = j / 11;
  const int64_t month = j + 2 - 12 * l;
  const int64_t year = 100 * (n - 49) + i + l;
  return Date{static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

int Date::DayOfWeek() const {
  if (blank()) return 0;
  // JDN mod 7: 0 = Monday. xBase counts 1 = Sunday.
  const int64_t monday0 = ToJulianDay() % 7;
  return static_cast<int>((monday0 + 1) % 7) + 1;
}

}  // namespace kt::data
