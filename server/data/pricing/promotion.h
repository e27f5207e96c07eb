// Promotions: when one is valid, and what it carries.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "server/data/pricing/lookup_time.h"
#include "server/data/pricing/price_levels.h"

namespace kt::data::pricing {

// The public holidays, read once when the database is opened.
class HolidayList {
 public:
  HolidayList() = default;
  explicit HolidayList(std::vector<Date> dates);
  bool Contains(const Date& date) const;

 private:
  std::vector<Date> dates_;  // sorted
};

// When a promotion applies.
struct PromotionWindow {
  Date first_day;      // TANGGAL_1
  Date last_day;       // TANGGAL_2
  std::string days;    // HARI: Monday ... Sunday, then the holiday flag
  int from_minute = 0;  // PUKUL_1, minutes after midnight
  int to_minute = 0;    // PUKUL_2
};

// True when `days` accepts the date: a trimmed mask shorter than 7 characters accepts every day;
// otherwise a listed holiday is decided by the 8th character alone ("1" accepts; a missing 8th
// character counts as "0"), any other date by its weekday's character ("1" accepts).
bool DayMaskAccepts(std::string_view days, const Date& date, const HolidayList& holidays);

// True when the promotion applies at `when`: first_day <= date <= last_day, the day mask accepts
// the date, and the time window is either unset (both ends 0) or holds the minute, both ends
// included.
bool IsPromotionValid(const PromotionWindow& window, const LookupTime& when, const HolidayList& holidays);

// Orders of the promotion table, one per kind (the record's TIPE_PRO).
enum class PromotionKind { kPercentage = 1, kValue = 2, kSpecialPrice = 3 };

// A promotion record's contents.
struct Promotion {
  PromotionWindow window;
  PriceLevels levels;                     // the special price (kind 3)
  std::array<double, 3> percentages{};    // DISC_PERS1 ... DISC_PERS3 (kind 1)
  uint16_t value_currency = 0;            // MU_DISC_NL (kind 2)
  double value = 0;                       // DISC_NILAI, per `value_unit`
  uint16_t value_unit = 0;                // DISC_SAT
};

// Finds the valid promotion of an item. A source belongs to one thread.
class PromotionSource {
 public:
  virtual ~PromotionSource() = default;
  // The first promotion of `kind` for the item, in the order of its first day, that is valid at
  // `when`; nullopt when there is none. An error only for I/O or corruption.
  virtual Result<std::optional<Promotion>> FindValid(PromotionKind kind, int64_t item_id,
                                                     const LookupTime& when) = 0;
};

}  // namespace kt::data::pricing
