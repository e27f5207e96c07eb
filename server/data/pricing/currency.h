// Currencies, their rounding rules and exchange-rate conversion.
//
// The currency list and the rounding rules are read once when the database is opened and then
// only read, so a CurrencyBook may be shared by every session thread. Exchange rates are read at
// lookup time through a RateSource, which belongs to one session.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/status.h"
#include "server/data/pricing/lookup_time.h"

namespace kt::data::pricing {

// One currency of the currency list.
struct Currency {
  uint16_t id = 0;
  bool multiply = false;  // MU_KALI: the stored rate is used as is; else it is inverted
  int decimals = 0;       // DECIMAL
};

// One price-rounding rule of a currency: a value whose tail lies in [lower, upper] has the tail
// replaced by `result`.
struct RoundingRule {
  double lower = 0;   // NILAI_1
  double upper = 0;   // NILAI_2
  double result = 0;  // NILAI
  // Characters of `upper` written with two decimals; 0 until CurrencyBook::AddRule works it out
  // (ApplyRoundingRules then writes it itself).
  int upper_width = 0;
};

// The in-memory currency list and each currency's rounding rules in stored order.
class CurrencyBook {
 public:
  void AddCurrency(const Currency& currency);
  // Appends a rule to the currency's rules (rules keep the order they are added in).
  void AddRule(uint16_t currency, const RoundingRule& rule);

  // nullptr when the currency is not in the list.
  const Currency* Find(uint16_t id) const;
  // Empty for a currency without rules or an unknown currency.
  std::span<const RoundingRule> RulesOf(uint16_t id) const;

 private:
  struct Entry {
    Currency currency;
    bool listed = false;
    std::vector<RoundingRule> rules;
  };
  Entry* Slot(uint16_t id);
  const Entry* Lookup(uint16_t id) const;

  std::vector<Entry> entries_;  // kept sorted by id
};

// The currency rounding of a value: the first rule whose tail range holds the value's tail
// replaces that tail (value - tail + result); without a matching rule, and for 0, the value stays.
// The tail of a rule is the end of the value written as "99999999999999.99", as many characters
// long as the rule's upper bound written with two decimals; for an upper bound below 1 only the
// cents are taken. A value too large for that picture is left as it is.
double ApplyRoundingRules(double value, std::span<const RoundingRule> rules);

// Rate kinds, chosen by an item's KURS_JUAL.
inline constexpr int kRateKinds = 6;  // KURS_BELI, KURS_JUAL, KURS_JUAL2 ... KURS_JUAL5

// One exchange-rate record of a currency.
struct RateRecord {
  std::array<double, kRateKinds> rates{};  // by kind 1..6 at index 0..5
};

// The rate of a currency in force at a moment: the latest record of that currency whose date, and
// on the same date whose time, is not after the moment. A source belongs to one thread.
class RateSource {
 public:
  virtual ~RateSource() = default;
  // nullopt when the currency has no rate yet at that moment; an error only for I/O or corruption.
  virtual Result<std::optional<RateRecord>> LatestRate(uint16_t currency, const LookupTime& when) = 0;
};

// Index 0..5 into RateRecord::rates for an item's KURS_JUAL (1..6). Any other value selects the
// ordinary selling rate KURS_JUAL.
int RateKindIndex(int kurs_jual);

// The factor that converts an amount in currency `from` into currency `to` at `when`: 1 for the
// same currency; otherwise source rate / target rate, each rate inverted (1 / rate, 0 for 0) when
// its currency does not have MU_KALI; 0 when the target rate is 0 or a rate is missing. `rates`
// may be null (no rate table): then every conversion between different currencies gives 0.
Result<double> ConversionFactor(uint16_t from, uint16_t to, int kurs_jual, const LookupTime& when,
                                const CurrencyBook& book, RateSource* rates);

}  // namespace kt::data::pricing
