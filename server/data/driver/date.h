// A calendar date as xBase tables store it ("YYYYMMDD", or blank).
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kt::data {

struct Date {
  int year = 0;   // 0 together with month 0 and day 0: the blank date
  int month = 0;  // 1-12
  int day = 0;    // 1-31

  bool blank() const { return year == 0 && month == 0 && day == 0; }
  auto operator<=>(const Date&) const = default;  // blank sorts first

  // "YYYYMMDD", or 8 blanks for the blank date (the DTOS() form).
  std::string ToDtos() const;
  // Parses "YYYYMMDD"; 8 blanks, 8 zeros or 8 NULs give the blank date; anything else nullopt.
  static std::optional<Date> FromDtos(std::string_view text);
  // Julian day number (2000-01-01 -> 2451545); 0 for the blank date.
  int64_t ToJulianDay() const;
  static Date FromJulianDay(int64_t jdn);
  // 1 = Sunday ... 7 = Saturday, as xBase DOW(); 0 for the blank date.
  int DayOfWeek() const;
  bool IsValid() const;  // a real calendar day (or blank)
};

}  // namespace kt::data
