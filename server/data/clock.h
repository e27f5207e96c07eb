// The date and time a lookup prices for. Everything whose result depends on "now" (promotions,
// day masks, exchange rates) takes it from a Clock, so tests and the lookup command can fix it.
#pragma once

#include <optional>
#include <string_view>

#include "server/data/driver/date.h"

namespace kt::data {

struct LookupTime {
  Date date;
  int minutes = 0;  // minutes after midnight, 0..1439 (HH*60+MM of the 24-hour clock)

  int hour() const { return minutes / 60; }
  int minute() const { return minutes % 60; }
  auto operator<=>(const LookupTime&) const = default;
};

// Parses "YYYY-MM-DD HH:MM" (a real calendar day, hour 0-23, minute 0-59); nullopt otherwise.
std::optional<LookupTime> ParseLookupTime(std::string_view text);

// Thread safety: Now() may be called from any thread.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual LookupTime Now() const = 0;
};

// The machine's local date and time.
class SystemClock final : public Clock {
 public:
  LookupTime Now() const override;
};

// Always the same moment.
class FixedClock final : public Clock {
 public:
  explicit FixedClock(LookupTime at) : at_(at) {}
  LookupTime Now() const override { return at_; }

 private:
  const LookupTime at_;
};

// A SystemClock shared by everyone who does not inject their own.
const Clock& DefaultClock();

}  // namespace kt::data
