// The selling price of one scanned line: level, special price, currency conversion, price
// rounding, promotion discounts, percentage discounts and tax.
//
// A pure engine over plain values. Everything that changes with time or data comes in through the
// context: the control switches, the currency book, the promotion and rate sources (which read
// the session's tables) and the lookup moment. The engine never reads the clock.
//
// Thread safety: the functions keep no state; a context's sources belong to the calling thread.
#pragma once

#include <cstdint>

#include "common/status.h"
#include "server/data/pricing/currency.h"
#include "server/data/pricing/lookup_time.h"
#include "server/data/pricing/price_levels.h"
#include "server/data/pricing/promotion.h"
#include "server/data/pricing/units.h"

namespace kt::data::pricing {

// The control-record values that shape a price.
struct PricingControl {
  uint16_t WPENJECERANMU = 0;      // retail currency; 0 means currency 1
  LevelSwitches levels;            // STK_H_JL2..5 and whether PJ_HAR_EX1/EX2 are named
  bool LROUNDDECIMALMU = false;    // value discount to the currency's decimals, else to 2
  bool LPENJUALANHARGABULAT2 = false;
  bool LPENJUALANHARGABULAT3 = false;
  bool LPENJUALANDISCOUNT2 = false;
  bool LPENJUALANDISCOUNT3 = false;
  bool LPENJUALANDISC23INDEPEND = false;
  bool LPENJUALANDISC23WITHOUT1 = false;
  bool LPENJUALANDISCBULAT = false;
  bool LPENJUALANDISCPERSAFTERDISCN = false;
  double FPENJECERANPAJAKITEMPERSEN = 0;

  uint16_t RetailCurrency() const { return WPENJECERANMU == 0 ? 1 : WPENJECERANMU; }
};

// What pricing needs of the item record.
struct PricingItem {
  int64_t LIID = 0;
  PriceLevels levels;           // from the item's own record
  int WKURSJUAL = 0;            // which rate converts its prices
  bool LNONPAJAK = false;
  const ItemUnits* units = nullptr;  // REQUIRES: not null; outlives the call
};

// Where the engine gets what is not in the item.
struct PricingContext {
  const PricingControl* control = nullptr;   // REQUIRES: not null
  const CurrencyBook* currencies = nullptr;  // REQUIRES: not null
  PromotionSource* promotions = nullptr;     // null: no promotion table
  RateSource* rates = nullptr;               // null: no rate table
  LookupTime when;
  int WCONFIGHARGAJUAL = 0;                  // 0 automatic level; 1..5 fixed level
};

// The amounts of a line item that pricing reads and writes.
struct PricedLine {
  double FJUMLAH = 0;       // quantity, in WSATUANID
  uint16_t WSATUANID = 0;
  double FHARGA = 0, FHARGAEX1 = 0, FHARGAEX2 = 0;
  double FDISCPERS1 = 0, FDISCPERS2 = 0, FDISCPERS3 = 0;
  double FDISCNILAI = 0;
  double FPAJAK = 0;
};

// How the price came about, for logs and tests.
struct PriceTrace {
  int level = 1;                    // the level whose price was taken
  bool special_price = false;       // a special-price promotion supplied the levels
  bool percentage_promotion = false;
  bool value_promotion = false;
  double smallest_quantity = 0;     // q: the line quantity in smallest units
  RECHARGA price;                   // the level's price in the retail currency
};

// CHECKHARGA: chooses the level and fills FHARGA, FHARGAEX1, FHARGAEX2 and the three level
// discounts of `line` from its FJUMLAH and WSATUANID, then runs CHECKPROMO. Fails only when a
// source fails (I/O or corruption); missing data gives 0 amounts instead.
Result<PriceTrace> CHECKHARGA(const PricingItem& item, const PricingContext& context, PricedLine& line);

// CHECKPROMO: a valid percentage promotion replaces the line's discounts (the second and third
// only when they are switched on); a valid value promotion sets FDISCNILAI. `q` is the line
// quantity in smallest units.
Status CHECKPROMO(const PricingItem& item, const PricingContext& context, double q, PricedLine& line,
                  PriceTrace* trace = nullptr);

// DISCPERSENNILAI: the amount of the three percentage discounts on the line amount, rounded in the
// retail currency and never beyond the line amount.
double DISCPERSENNILAI(const PricedLine& line, const PricingControl& control, const CurrencyBook& book);

// Line amounts less the value and percentage discounts.
double TOTALHITUNGPAJAK(const PricedLine& line, const PricingControl& control, const CurrencyBook& book);

// HITUNGPAJAK: FPAJAK = TOTALHITUNGPAJAK x retail tax percentage / 100, or 0 for a tax-free item
// or a zero percentage.
void HITUNGPAJAK(PricedLine& line, bool non_pajak, const PricingControl& control, const CurrencyBook& book);

// TOTALHITUNGPAJAK + FPAJAK.
double TOTAL(const PricedLine& line, const PricingControl& control, const CurrencyBook& book);

// ASSIGNHARGA: CHECKHARGA, then HITUNGPAJAK.
Result<PriceTrace> ASSIGNHARGA(const PricingItem& item, const PricingContext& context, PricedLine& line);

// The currency rounding of `value` by the rules of `currency`.
double RoundByCurrency(double value, uint16_t currency, const CurrencyBook& book);

}  // namespace kt::data::pricing
