#include "server/data/pricing/table_sources.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string>

namespace kt::data::pricing {
namespace {

constexpr std::array<const char*, kRateKinds> kRateFields = {
    "KURS_BELI", "KURS_JUAL", "KURS_JUAL2", "KURS_JUAL3", "KURS_JUAL4", "KURS_JUAL5"};

Result<double> NumberOrZero(const WorkArea& area, std::string_view field) {
  Result<double> value = area.GetNumber(field);
  if (value.ok()) return std::isfinite(*value) ? *value : 0.0;
  if (value.status().IsNotFound()) return 0.0;
  return value.status();
}

Result<Date> DateOrBlank(const WorkArea& area, std::string_view field) {
  Result<Date> value = area.GetDate(field);
  if (value.ok() || !value.status().IsNotFound()) return value;
  return Date{};
}

Result<std::string> TextOrEmpty(const WorkArea& area, std::string_view field) {
  Result<std::string> value = area.GetString(field);
  if (value.ok() || !value.status().IsNotFound()) return value;
  return std::string();
}

// Identifiers are stored as numbers; anything outside 0..65535 names no unit or currency.
uint16_t ToId(double value) {
  if (!(value >= 0 && value <= 65535)) return 0;
  return static_cast<uint16_t>(value);
}

int ToMinute(double value) {
  if (!(value >= -100000 && value <= 100000)) return 0;
  return static_cast<int>(value);
}

std::string ZeroPadded(int64_t id, int width) {
  std::string digits = std::to_string(id);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}

std::string LevelField(const char* stem, int level) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%s%02d", stem, level);
  return buf;
}

Result<PromotionWindow> ReadWindow(const WorkArea& area) {
  PromotionWindow window;
  KT_ASSIGN_OR_RETURN(window.first_day, DateOrBlank(area, "TANGGAL_1"));
  KT_ASSIGN_OR_RETURN(window.last_day, DateOrBlank(area, "TANGGAL_2"));
  KT_ASSIGN_OR_RETURN(window.days, TextOrEmpty(area, "HARI"));
  KT_ASSIGN_OR_RETURN(const double from, NumberOrZero(area, "PUKUL_1"));
  KT_ASSIGN_OR_RETURN(const double to, NumberOrZero(area, "PUKUL_2"));
  window.from_minute = ToMinute(from);
  window.to_minute = ToMinute(to);
  return window;
}

Result<Promotion> ReadPromotion(const WorkArea& area, const PromotionWindow& window) {
  Promotion promotion;
  promotion.window = window;
  KT_ASSIGN_OR_RETURN(promotion.levels, ReadPriceLevels(area));
  for (int i = 0; i < 3; ++i) {
    KT_ASSIGN_OR_RETURN(promotion.percentages[static_cast<std::size_t>(i)],
                        NumberOrZero(area, "DISC_PERS" + std::to_string(i + 1)));
  }
  KT_ASSIGN_OR_RETURN(const double currency, NumberOrZero(area, "MU_DISC_NL"));
  KT_ASSIGN_OR_RETURN(promotion.value, NumberOrZero(area, "DISC_NILAI"));
  KT_ASSIGN_OR_RETURN(const double unit, NumberOrZero(area, "DISC_SAT"));
  promotion.value_currency = ToId(currency);
  promotion.value_unit = ToId(unit);
  return promotion;
}

const char* TagOf(PromotionKind kind) {
  switch (kind) {
    case PromotionKind::kPercentage: return "STOCK_TGL1";
    case PromotionKind::kValue: return "STOCK_TGL2";
    case PromotionKind::kSpecialPrice: return "STOCK_TGL3";
  }
  return "STOCK_TGL1";
}

// The rate record's sort position: currency, date, then the stored "HH:MM" text.
struct RateKey {
  double currency = 0;
  Date date;
  std::string time;
};

Result<RateKey> ReadRateKey(const WorkArea& area) {
  RateKey key;
  KT_ASSIGN_OR_RETURN(key.currency, NumberOrZero(area, "MAUANG_ID"));
  KT_ASSIGN_OR_RETURN(key.date, DateOrBlank(area, "TANGGAL"));
  KT_ASSIGN_OR_RETURN(key.time, TextOrEmpty(area, "MUL_PUKUL"));
  key.time.resize(5, ' ');
  return key;
}

Result<RateRecord> ReadRates(const WorkArea& area) {
  RateRecord record;
  for (std::size_t i = 0; i < kRateFields.size(); ++i) {
    KT_ASSIGN_OR_RETURN(record.rates[i], NumberOrZero(area, kRateFields[i]));
  }
  return record;
}

}  // namespace

Result<PriceLevels> ReadPriceLevels(const WorkArea& area) {
  PriceLevels levels;
  for (int n = 1; n <= kLevels; ++n) {
    PriceLevel& level = levels[static_cast<std::size_t>(n - 1)];
    KT_ASSIGN_OR_RETURN(const double currency, NumberOrZero(area, LevelField("MU_H_J_", n)));
    KT_ASSIGN_OR_RETURN(level.price, NumberOrZero(area, LevelField("HARGA_J_", n)));
    KT_ASSIGN_OR_RETURN(level.extra1, NumberOrZero(area, LevelField("HGEX1_J_", n)));
    KT_ASSIGN_OR_RETURN(level.extra2, NumberOrZero(area, LevelField("HGEX2_J_", n)));
    KT_ASSIGN_OR_RETURN(level.quantity, NumberOrZero(area, LevelField("JML_J_", n)));
    KT_ASSIGN_OR_RETURN(const double unit, NumberOrZero(area, LevelField("SAT_J_", n)));
    KT_ASSIGN_OR_RETURN(level.discounts[0], NumberOrZero(area, LevelField("DISC1_J_", n)));
    KT_ASSIGN_OR_RETURN(level.discounts[1], NumberOrZero(area, LevelField("DISC2_J_", n)));
    KT_ASSIGN_OR_RETURN(level.discounts[2], NumberOrZero(area, LevelField("DISC3_J_", n)));
    level.currency = ToId(currency);
    level.unit = ToId(unit);
  }
  return levels;
}

Result<std::optional<Promotion>> TablePromotionSource::FindValid(PromotionKind kind, int64_t item_id,
                                                                 const LookupTime& when) {
  if (item_id <= 0) return std::optional<Promotion>();
  const Status order = area_.SetOrder(TagOf(kind));
  if (order.IsNotFound()) return std::optional<Promotion>();
  KT_RETURN_IF_ERROR(order);
  const int width = area_.FieldWidth("STOCK_ID");
  if (width <= 0) return std::optional<Promotion>();

  KT_ASSIGN_OR_RETURN(const bool ignored, area_.Seek(ZeroPadded(item_id, width), /*soft=*/true));
  (void)ignored;  // the scan below checks every record it lands on
  while (!area_.Eof()) {
    KT_ASSIGN_OR_RETURN(const double stock_id, NumberOrZero(area_, "STOCK_ID"));
    if (stock_id != static_cast<double>(item_id)) break;
    KT_ASSIGN_OR_RETURN(const PromotionWindow window, ReadWindow(area_));
    if (!area_.Deleted() && IsPromotionValid(window, when, holidays_)) {
      KT_ASSIGN_OR_RETURN(Promotion promotion, ReadPromotion(area_, window));
      return std::optional<Promotion>(std::move(promotion));
    }
    KT_RETURN_IF_ERROR(area_.Skip(1));
  }
  return std::optional<Promotion>();
}

Result<std::optional<RateRecord>> TableRateSource::LatestRate(uint16_t currency, const LookupTime& when) {
  const Status order = area_.SetOrder("MU_TGL_PK");
  if (order.IsNotFound()) return std::optional<RateRecord>();
  KT_RETURN_IF_ERROR(order);
  const int width = area_.FieldWidth("MAUANG_ID");
  if (width <= 0) return std::optional<RateRecord>();

  const std::string clock = when.ClockText();
  const std::string key = ZeroPadded(currency, width) + LookupTime::Dtos(when.date) + clock;
  const auto same_currency = [&](const RateKey& k) { return k.currency == static_cast<double>(currency); };

  // Records stamped with exactly the lookup moment come first from a soft seek; the last of them wins.
  KT_ASSIGN_OR_RETURN(bool found, area_.Seek(key, /*soft=*/true));
  std::optional<RateRecord> best;
  while (!area_.Eof()) {
    KT_ASSIGN_OR_RETURN(const RateKey k, ReadRateKey(area_));
    if (!same_currency(k) || k.date != when.date || k.time != clock) break;
    if (!area_.Deleted()) {
      KT_ASSIGN_OR_RETURN(RateRecord rates, ReadRates(area_));
      best = rates;
    }
    KT_RETURN_IF_ERROR(area_.Skip(1));
  }
  if (best) return best;

  // Otherwise the record just before the seek position is the latest one before the moment.
  KT_ASSIGN_OR_RETURN(found, area_.Seek(key, /*soft=*/true));
  (void)found;
  KT_RETURN_IF_ERROR(area_.Skip(-1));
  while (!area_.Bof()) {
    KT_ASSIGN_OR_RETURN(const RateKey k, ReadRateKey(area_));
    if (!same_currency(k)) break;
    if (!area_.Deleted()) {
      KT_ASSIGN_OR_RETURN(RateRecord rates, ReadRates(area_));
      return std::optional<RateRecord>(rates);
    }
    KT_RETURN_IF_ERROR(area_.Skip(-1));
  }
  return std::optional<RateRecord>();
}

}  // namespace kt::data::pricing
