#include "server/data/pricing/currency.h"

#include <algorithm>
#include <string>

#include "server/data/pricing/money.h"

namespace kt::data::pricing {
namespace {

// The picture the rules read the value through: 14 integer positions, ".", 2 decimals.
constexpr std::size_t kPictureWidth = 17;
constexpr int kPictureIntegerPositions = 14;

// The rate of one currency after the MU_KALI step, 0 when it has none.
Result<double> EffectiveRate(uint16_t currency, int kind_index, const LookupTime& when,
                             const CurrencyBook& book, RateSource& rates) {
  KT_ASSIGN_OR_RETURN(const std::optional<RateRecord> record, rates.LatestRate(currency, when));
  if (!record) return 0.0;
  const double rate = record->rates[static_cast<std::size_t>(kind_index)];
  const Currency* info = book.Find(currency);
  if (info != nullptr && info->multiply) return rate;
  return rate == 0.0 ? 0.0 : 1.0 / rate;
}

}  // namespace

CurrencyBook::Entry* CurrencyBook::Slot(uint16_t id) {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                             [](const Entry& e, uint16_t key) { return e.currency.id < key; });
  if (it == entries_.end() || it->currency.id != id) {
    Entry fresh;
    fresh.currency.id = id;
    it = entries_.insert(it, std::move(fresh));
  }
  return &*it;
}

const CurrencyBook::Entry* CurrencyBook::Lookup(uint16_t id) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                             [](const Entry& e, uint16_t key) { return e.currency.id < key; });
  return it == entries_.end() || it->currency.id != id ? nullptr : &*it;
}

void CurrencyBook::AddCurrency(const Currency& currency) {
  Entry* e = Slot(currency.id);
  e->currency = currency;
  e->listed = true;
}

void CurrencyBook::AddRule(uint16_t currency, const RoundingRule& rule) {
  RoundingRule stored = rule;
  stored.upper_width = static_cast<int>(FormatDecimal(rule.upper, 2, '.', '\0').size());
  Slot(currency)->rules.push_back(stored);
}

const Currency* CurrencyBook::Find(uint16_t id) const {
  const Entry* e = Lookup(id);
  return e != nullptr && e->listed ? &e->currency : nullptr;
}

std::span<const RoundingRule> CurrencyBook::RulesOf(uint16_t id) const {
  const Entry* e = Lookup(id);
  // Rules of a currency missing from the currency list are not applied.
  if (e == nullptr || !e->listed) return {};
  return e->rules;
}

double ApplyRoundingRules(double value, std::span<const RoundingRule> rules) {
  if (value == 0.0 || rules.empty()) return value;
  std::string written = FormatDecimal(value, 2, '.', '\0');
  // The integer digits as IntegerDigits(value, 2) counts them, from the same text.
  const std::size_t sign = written[0] == '-' ? 1 : 0;
  const std::size_t dot = written.find('.');
  const int integer_digits = static_cast<int>((dot == std::string::npos ? written.size() : dot) - sign);
  const int positions = integer_digits + (RoundHalfAway(value, 2) < 0 ? 1 : 0);
  if (positions > kPictureIntegerPositions) return value;  // the picture would show asterisks
  written.insert(0, kPictureWidth - written.size(), ' ');

  for (const RoundingRule& rule : rules) {
    const std::size_t width = rule.upper_width > 0 ? static_cast<std::size_t>(rule.upper_width)
                                                   : FormatDecimal(rule.upper, 2, '.', '\0').size();
    double tail = 0.0;
    if (rule.upper >= 1.0) {
      const std::size_t n = std::min(width, written.size());
      tail = ParseLeadingNumber(std::string_view(written).substr(written.size() - n));
    } else {
      const std::size_t n = std::min(width >= 2 ? width - 2 : 0, written.size());
      tail = ParseLeadingNumber("0." + written.substr(written.size() - n));
    }
    if (rule.lower <= tail && tail <= rule.upper) return value - tail + rule.result;
  }
  return value;
}

int RateKindIndex(int kurs_jual) {
  if (kurs_jual >= 1 && kurs_jual <= kRateKinds) return kurs_jual - 1;
  return 1;  // KURS_JUAL
}

Result<double> ConversionFactor(uint16_t from, uint16_t to, int kurs_jual, const LookupTime& when,
                                const CurrencyBook& book, RateSource* rates) {
  if (from == to) return 1.0;
  if (rates == nullptr) return 0.0;
  const int kind = RateKindIndex(kurs_jual);
  KT_ASSIGN_OR_RETURN(const double source, EffectiveRate(from, kind, when, book, *rates));
  KT_ASSIGN_OR_RETURN(const double target, EffectiveRate(to, kind, when, book, *rates));
  if (target == 0.0) return 0.0;
  return source / target;
}

}  // namespace kt::data::pricing
