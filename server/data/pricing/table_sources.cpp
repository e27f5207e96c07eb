#include "server/data/pricing/table_sources.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <string>

namespace kt::data::pricing {
namespace {

// Field positions of one table layout, resolved once per layout (a layout id is unique in the
// process, so one cache per thread serves every area): lookups by name cost more than the seeks.
class Positions {
 public:
  template <std::size_t N>
  const std::array<int, N>& Of(const WorkArea& area, const std::array<const char*, N>& names,
                               uint64_t& layout, std::array<int, N>& cache) const {
    if (layout != area.layout_id()) {
      for (std::size_t i = 0; i < N; ++i) cache[i] = area.FieldPos(names[i]);
      layout = area.layout_id();
    }
    return cache;
  }
};

// A field the table lacks (position 0) reads as empty.
Result<double> NumberOrZero(const WorkArea& area, int pos) {
  if (pos == 0) return 0.0;
  Result<double> value = area.NumberAt(pos);
  if (value.ok()) return std::isfinite(*value) ? *value : 0.0;
  if (value.status().IsNotFound()) return 0.0;
  return value.status();
}

Result<Date> DateOrBlank(const WorkArea& area, int pos) {
  if (pos == 0) return Date{};
  return area.DateAt(pos);
}

Result<std::string_view> TextOrEmpty(const WorkArea& area, int pos) {
  if (pos == 0) return std::string_view();
  return area.RawAt(pos);
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

// The identifier's digits left-padded with zeros to `width`, in `buf`; wider fields than the
// buffer take the digits alone, as the index keys of such a field could not be longer.
std::string_view ZeroPadded(int64_t id, int width, char (&buf)[32]) {
  char digits[24];
  const int n = static_cast<int>(std::to_chars(digits, digits + sizeof digits, id).ptr - digits);
  const int pad = std::clamp(width - n, 0, static_cast<int>(sizeof buf) - n);
  std::memset(buf, '0', static_cast<std::size_t>(pad));
  std::memcpy(buf + pad, digits, static_cast<std::size_t>(n));
  return std::string_view(buf, static_cast<std::size_t>(pad + n));
}

// The nine fields of the five levels: MU_H_J_nn, HARGA_J_nn, HGEX1_J_nn, HGEX2_J_nn, JML_J_nn,
// SAT_J_nn, DISC1_J_nn, DISC2_J_nn, DISC3_J_nn.
constexpr int kLevelFields = 9;
constexpr std::array<const char*, kLevels * kLevelFields> kLevelNames = {
#define KT_LEVEL(nn) "MU_H_J_" nn, "HARGA_J_" nn, "HGEX1_J_" nn, "HGEX2_J_" nn, "JML_J_" nn, \
                     "SAT_J_" nn, "DISC1_J_" nn, "DISC2_J_" nn, "DISC3_J_" nn
    KT_LEVEL("01"), KT_LEVEL("02"), KT_LEVEL("03"), KT_LEVEL("04"), KT_LEVEL("05")
#undef KT_LEVEL
};

const std::array<int, kLevelNames.size()>& LevelPositions(const WorkArea& area) {
  thread_local uint64_t layout = 0;
  thread_local std::array<int, kLevelNames.size()> cache{};
  return Positions().Of(area, kLevelNames, layout, cache);
}

// The promotion record's own fields.
enum PromotionField { kTanggal1, kTanggal2, kHari, kPukul1, kPukul2, kDiscPers1, kDiscPers2, kDiscPers3,
                      kMuDiscNl, kDiscNilai, kDiscSat, kPromotionStockId, kPromotionFields };
constexpr std::array<const char*, kPromotionFields> kPromotionNames = {
    "TANGGAL_1", "TANGGAL_2", "HARI", "PUKUL_1", "PUKUL_2", "DISC_PERS1", "DISC_PERS2", "DISC_PERS3",
    "MU_DISC_NL", "DISC_NILAI", "DISC_SAT", "STOCK_ID"};

const std::array<int, kPromotionFields>& PromotionPositions(const WorkArea& area) {
  thread_local uint64_t layout = 0;
  thread_local std::array<int, kPromotionFields> cache{};
  return Positions().Of(area, kPromotionNames, layout, cache);
}

// The rate record's fields: its key, then the six rates.
enum RateField { kMauangId, kTanggal, kMulPukul, kFirstRate, kRateFieldCount = kFirstRate + kRateKinds };
constexpr std::array<const char*, kRateFieldCount> kRateNames = {
    "MAUANG_ID", "TANGGAL", "MUL_PUKUL", "KURS_BELI", "KURS_JUAL", "KURS_JUAL2", "KURS_JUAL3", "KURS_JUAL4",
    "KURS_JUAL5"};

const std::array<int, kRateFieldCount>& RatePositions(const WorkArea& area) {
  thread_local uint64_t layout = 0;
  thread_local std::array<int, kRateFieldCount> cache{};
  return Positions().Of(area, kRateNames, layout, cache);
}

Result<PromotionWindow> ReadWindow(const WorkArea& area) {
  const auto& pos = PromotionPositions(area);
  PromotionWindow window;
  KT_ASSIGN_OR_RETURN(window.first_day, DateOrBlank(area, pos[kTanggal1]));
  KT_ASSIGN_OR_RETURN(window.last_day, DateOrBlank(area, pos[kTanggal2]));
  KT_ASSIGN_OR_RETURN(const std::string_view days, TextOrEmpty(area, pos[kHari]));
  window.days.assign(days);
  KT_ASSIGN_OR_RETURN(const double from, NumberOrZero(area, pos[kPukul1]));
  KT_ASSIGN_OR_RETURN(const double to, NumberOrZero(area, pos[kPukul2]));
  window.from_minute = ToMinute(from);
  window.to_minute = ToMinute(to);
  return window;
}

Result<Promotion> ReadPromotion(const WorkArea& area, PromotionKind kind, const PromotionWindow& window) {
  const auto& pos = PromotionPositions(area);
  Promotion promotion;
  promotion.window = window;
  // Only a special price has levels of its own (45 fields to read).
  if (kind == PromotionKind::kSpecialPrice) {
    KT_ASSIGN_OR_RETURN(promotion.levels, ReadPriceLevels(area));
  }
  for (int i = 0; i < 3; ++i) {
    KT_ASSIGN_OR_RETURN(promotion.percentages[static_cast<std::size_t>(i)],
                        NumberOrZero(area, pos[static_cast<std::size_t>(kDiscPers1 + i)]));
  }
  KT_ASSIGN_OR_RETURN(const double currency, NumberOrZero(area, pos[kMuDiscNl]));
  KT_ASSIGN_OR_RETURN(promotion.value, NumberOrZero(area, pos[kDiscNilai]));
  KT_ASSIGN_OR_RETURN(const double unit, NumberOrZero(area, pos[kDiscSat]));
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
  std::string_view time;  // the first five bytes as stored, blank-padded when shorter
};

Result<RateKey> ReadRateKey(const WorkArea& area) {
  const auto& pos = RatePositions(area);
  RateKey key;
  KT_ASSIGN_OR_RETURN(key.currency, NumberOrZero(area, pos[kMauangId]));
  KT_ASSIGN_OR_RETURN(key.date, DateOrBlank(area, pos[kTanggal]));
  KT_ASSIGN_OR_RETURN(key.time, TextOrEmpty(area, pos[kMulPukul]));
  return key;
}

// The stored time compared as the first five characters, blank-padded.
bool SameClock(std::string_view stored, std::string_view clock) {
  for (std::size_t i = 0; i < 5; ++i) {
    const char a = i < stored.size() ? stored[i] : ' ';
    const char b = i < clock.size() ? clock[i] : ' ';
    if (a != b) return false;
  }
  return clock.size() <= 5;
}

Result<RateRecord> ReadRates(const WorkArea& area) {
  const auto& pos = RatePositions(area);
  RateRecord record;
  for (std::size_t i = 0; i < kRateKinds; ++i) {
    KT_ASSIGN_OR_RETURN(record.rates[i], NumberOrZero(area, pos[kFirstRate + i]));
  }
  return record;
}

}  // namespace

Result<PriceLevels> ReadPriceLevels(const WorkArea& area) {
  const auto& pos = LevelPositions(area);
  PriceLevels levels;
  for (int n = 0; n < kLevels; ++n) {
    const int* p = &pos[static_cast<std::size_t>(n * kLevelFields)];
    PriceLevel& level = levels[static_cast<std::size_t>(n)];
    KT_ASSIGN_OR_RETURN(const double currency, NumberOrZero(area, p[0]));
    KT_ASSIGN_OR_RETURN(level.price, NumberOrZero(area, p[1]));
    KT_ASSIGN_OR_RETURN(level.extra1, NumberOrZero(area, p[2]));
    KT_ASSIGN_OR_RETURN(level.extra2, NumberOrZero(area, p[3]));
    KT_ASSIGN_OR_RETURN(level.quantity, NumberOrZero(area, p[4]));
    KT_ASSIGN_OR_RETURN(const double unit, NumberOrZero(area, p[5]));
    KT_ASSIGN_OR_RETURN(level.discounts[0], NumberOrZero(area, p[6]));
    KT_ASSIGN_OR_RETURN(level.discounts[1], NumberOrZero(area, p[7]));
    KT_ASSIGN_OR_RETURN(level.discounts[2], NumberOrZero(area, p[8]));
    level.currency = ToId(currency);
    level.unit = ToId(unit);
  }
  return levels;
}

Result<std::optional<Promotion>> TablePromotionSource::FindValid(PromotionKind kind, int64_t item_id,
                                                                 const LookupTime& when) {
  if (item_id <= 0) return std::optional<Promotion>();
  if (items_ != nullptr && !items_->MayHave(area_, TagOf(kind), item_id)) return std::optional<Promotion>();
  const Status order = area_.SetOrder(TagOf(kind));
  if (order.IsNotFound()) return std::optional<Promotion>();
  KT_RETURN_IF_ERROR(order);
  const int stock_id_pos = PromotionPositions(area_)[kPromotionStockId];
  const int width = stock_id_pos == 0 ? 0 : area_.fields()[static_cast<std::size_t>(stock_id_pos - 1)].width;
  if (width <= 0) return std::optional<Promotion>();

  char key[32];
  KT_ASSIGN_OR_RETURN(const bool ignored, area_.Seek(ZeroPadded(item_id, width, key), /*soft=*/true));
  (void)ignored;  // the scan below checks every record it lands on
  while (!area_.Eof()) {
    KT_ASSIGN_OR_RETURN(const double stock_id, NumberOrZero(area_, stock_id_pos));
    if (stock_id != static_cast<double>(item_id)) break;
    KT_ASSIGN_OR_RETURN(const PromotionWindow window, ReadWindow(area_));
    if (!area_.Deleted() && IsPromotionValid(window, when, holidays_)) {
      KT_ASSIGN_OR_RETURN(Promotion promotion, ReadPromotion(area_, kind, window));
      return std::optional<Promotion>(std::move(promotion));
    }
    KT_RETURN_IF_ERROR(area_.Skip(1));
  }
  return std::optional<Promotion>();
}

const RateMemo::Answer* RateMemo::Find(uint16_t currency, const LookupTime& when, uint64_t generation) const {
  for (const Answer& a : answers_) {
    if (a.currency == currency) {
      const bool holds = a.generation == generation && a.date == when.date && a.minute == when.minute;
      return holds ? &a : nullptr;
    }
  }
  return nullptr;
}

void RateMemo::Remember(Answer answer) {
  for (Answer& a : answers_) {
    if (a.currency == answer.currency) {
      a = std::move(answer);
      return;
    }
  }
  answers_.push_back(std::move(answer));
}

Result<std::optional<RateRecord>> TableRateSource::LatestRate(uint16_t currency, const LookupTime& when) {
  uint32_t answered_by = 0;
  if (memo_ == nullptr) return Search(currency, when, answered_by);
  const Result<uint64_t> generation = area_.IndexGeneration();
  if (!generation.ok() || *generation == 0) return Search(currency, when, answered_by);
  if (const RateMemo::Answer* before = memo_->Find(currency, when, *generation)) {
    KT_RETURN_IF_ERROR(area_.GoTo(before->recno));
    if (!area_.Eof() && !area_.Deleted()) {
      KT_ASSIGN_OR_RETURN(const RateKey k, ReadRateKey(area_));
      if (k.currency == before->stored_currency && k.date == before->stored_date && k.time == before->stored_time) {
        KT_ASSIGN_OR_RETURN(RateRecord rates, ReadRates(area_));
        return std::optional<RateRecord>(rates);
      }
    }
  }
  KT_ASSIGN_OR_RETURN(std::optional<RateRecord> found, Search(currency, when, answered_by));
  if (found && answered_by != 0) {
    // The search may have moved on from the record that answered: read its key there.
    KT_RETURN_IF_ERROR(area_.GoTo(answered_by));
    KT_ASSIGN_OR_RETURN(const RateKey k, ReadRateKey(area_));
    memo_->Remember({currency, when.date, when.minute, *generation, answered_by, k.currency, k.date,
                     std::string(k.time)});
  }
  return found;
}

Result<std::optional<RateRecord>> TableRateSource::Search(uint16_t currency, const LookupTime& when,
                                                          uint32_t& answered_by) {
  const Status order = area_.SetOrder("MU_TGL_PK");
  if (order.IsNotFound()) return std::optional<RateRecord>();
  KT_RETURN_IF_ERROR(order);
  const int currency_pos = RatePositions(area_)[kMauangId];
  const int width = currency_pos == 0 ? 0 : area_.fields()[static_cast<std::size_t>(currency_pos - 1)].width;
  if (width <= 0) return std::optional<RateRecord>();

  const std::string clock = when.ClockText();
  char padded[32];
  const std::string key = std::string(ZeroPadded(currency, width, padded)) + LookupTime::Dtos(when.date) + clock;
  const auto same_currency = [&](const RateKey& k) { return k.currency == static_cast<double>(currency); };

  // Records stamped with exactly the lookup moment come first from a soft seek; the last of them wins.
  KT_ASSIGN_OR_RETURN(bool found, area_.Seek(key, /*soft=*/true));
  std::optional<RateRecord> best;
  bool moved = false;  // the area left the seek position
  while (!area_.Eof()) {
    KT_ASSIGN_OR_RETURN(const RateKey k, ReadRateKey(area_));
    if (!same_currency(k) || k.date != when.date || !SameClock(k.time, clock)) break;
    if (!area_.Deleted()) {
      KT_ASSIGN_OR_RETURN(RateRecord rates, ReadRates(area_));
      best = rates;
      answered_by = area_.RecNo();
    }
    KT_RETURN_IF_ERROR(area_.Skip(1));
    moved = true;
  }
  if (best) return best;

  // Otherwise the record just before the seek position is the latest one before the moment
  // (the area is still there unless the loop above moved it).
  if (moved) {
    KT_ASSIGN_OR_RETURN(found, area_.Seek(key, /*soft=*/true));
  }
  (void)found;
  KT_RETURN_IF_ERROR(area_.Skip(-1));
  while (!area_.Bof()) {
    KT_ASSIGN_OR_RETURN(const RateKey k, ReadRateKey(area_));
    if (!same_currency(k)) break;
    if (!area_.Deleted()) {
      KT_ASSIGN_OR_RETURN(RateRecord rates, ReadRates(area_));
      answered_by = area_.RecNo();
      return std::optional<RateRecord>(rates);
    }
    KT_RETURN_IF_ERROR(area_.Skip(-1));
  }
  return std::optional<RateRecord>();
}

}  // namespace kt::data::pricing
