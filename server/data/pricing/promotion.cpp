#include "server/data/pricing/promotion.h"

#include <algorithm>

#include "common/text/text.h"

namespace kt::data::pricing {

HolidayList::HolidayList(std::vector<Date> dates) : dates_(std::move(dates)) {
  std::sort(dates_.begin(), dates_.end());
}

bool HolidayList::Contains(const Date& date) const {
  return std::binary_search(dates_.begin(), dates_.end(), date);
}

bool DayMaskAccepts(std::string_view days, const Date& date, const HolidayList& holidays) {
  const std::string_view mask = text::Trim(days, text::kBlankOrNul);
  if (mask.size() < 7) return true;
  if (holidays.Contains(date)) return mask.size() >= 8 && mask[7] == '1';
  const int weekday = WeekdayFromMonday(date);
  return weekday >= 0 && mask[static_cast<std::size_t>(weekday)] == '1';
}

bool IsPromotionValid(const PromotionWindow& window, const LookupTime& when, const HolidayList& holidays) {
  if (when.date < window.first_day || window.last_day < when.date) return false;
  if (!DayMaskAccepts(window.days, when.date, holidays)) return false;
  if (window.from_minute == 0 && window.to_minute == 0) return true;
  return window.from_minute <= when.minute && when.minute <= window.to_minute;
}

}  // namespace kt::data::pricing
