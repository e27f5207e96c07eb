#include "server/data/clock.h"

#include <ctime>
#include <type_traits>

namespace kt::data {

namespace {

bool ReadDigits(std::string_view text, std::size_t pos, std::size_t count, int& out) {
  if (pos + count > text.size()) return false;
  int value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  out = value;
  return true;
}

}  // namespace

std::optional<LookupTime> ParseLookupTime(std::string_view text) {
  // YYYY-MM-DD HH:MM
  if (text.size() != 16 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':') {
    return std::nullopt;
  }
  LookupTime at;
  int hour = 0, minute = 0;
  if (!ReadDigits(text, 0, 4, at.date.year) || !ReadDigits(text, 5, 2, at.date.month) ||
      !ReadDigits(text, 8, 2, at.date.day) || !ReadDigits(text, 11, 2, hour) ||
      !ReadDigits(text, 14, 2, minute)) {
    return std::nullopt;
  }
  if (at.date.blank() || !at.date.IsValid() || hour > 23 || minute > 59) return std::nullopt;
  at.minutes = hour * 60 + minute;
  return at;
}

LookupTime SystemClock::Now() const {
  const std::time_t now = std::time(nullptr);
  // Every scan asks; the local time (which takes the C library's time-zone lock) is worked out
  // once a second per thread.
  thread_local std::time_t known_second = -1;
  static_assert(std::is_trivially_destructible_v<LookupTime>, "a thread_local with a destructor: use ThreadOwned");
  thread_local LookupTime known;
  if (now == known_second) return known;
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  LookupTime at;
  at.date = Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  at.minutes = local.tm_hour * 60 + local.tm_min;
  known_second = now;
  known = at;
  return at;
}

const Clock& DefaultClock() {
  static const SystemClock clock;
  return clock;
}

}  // namespace kt::data
