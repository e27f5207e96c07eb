#include "server/data/pricing/engine.h"

#include <cmath>

#include "server/data/pricing/money.h"

namespace kt::data::pricing {
namespace {

// Decimals of the retail currency for discounts: its DECIMAL, or 2 when it is not listed.
int RetailDecimals(const PricingControl& control, const CurrencyBook& book) {
  const Currency* retail = book.Find(control.RetailCurrency());
  return retail == nullptr ? 2 : retail->decimals;
}

double LineAmount(const PricedLine& line) { return line.FHARGA + line.FHARGAEX1 + line.FHARGAEX2; }

}  // namespace

double RoundByCurrency(double value, uint16_t currency, const CurrencyBook& book) {
  return ApplyRoundingRules(value, book.RulesOf(currency));
}

Result<PriceTrace> CHECKHARGA(const PricingItem& item, const PricingContext& context, PricedLine& line) {
  const PricingControl& control = *context.control;
  const CurrencyBook& book = *context.currencies;
  const ItemUnits& units = *item.units;
  const uint16_t retail = control.RetailCurrency();
  PriceTrace trace;

  RECHARGAJUAL record(item.levels, control.levels, units);
  if (context.promotions != nullptr) {
    KT_ASSIGN_OR_RETURN(const std::optional<Promotion> special,
                        context.promotions->FindValid(PromotionKind::kSpecialPrice, item.LIID, context.when));
    if (special) {
      record = RECHARGAJUAL(special->levels, control.levels, units);
      trace.special_price = true;
    }
  }

  const double q = units.ToSmallest(line.FJUMLAH, line.WSATUANID);
  trace.smallest_quantity = q;
  int level = record.LevelFor(q);
  // A fixed level from the settings wins as it is; a value beyond the five levels cannot name
  // one and leaves the automatic choice.
  if (context.WCONFIGHARGAJUAL > 0 && context.WCONFIGHARGAJUAL <= kLevels) level = context.WCONFIGHARGAJUAL;
  trace.level = level;
  const PriceLevel& chosen = record.Level(level);

  KT_ASSIGN_OR_RETURN(const double factor,
                      ConversionFactor(chosen.currency, retail, item.WKURSJUAL, context.when, book,
                                       context.rates));
  RECHARGA price;
  price.MUHARGA = retail;
  price.HARGA = chosen.price * factor;
  price.HARGAEX1 = chosen.extra1 * factor;
  price.HARGAEX2 = chosen.extra2 * factor;
  price.JUMLAH = chosen.quantity;
  price.SATUAN = chosen.unit;
  price.STOCKSATUANKECIL = RECHARGA::UnitSize(chosen.unit, units);

  // The amounts are in the retail currency from here on, so its rules round them.
  const auto round = [&](double v) { return RoundByCurrency(v, retail, book); };
  const double s = units.ToSmallest(1.0, line.WSATUANID);
  if (control.LPENJUALANHARGABULAT3) {
    // The price of one line unit is rounded, then multiplied by the number of line units.
    const double line_units = s == 0 ? 0.0 : q / s;
    line.FHARGA = line_units * round(price.HARGASATUAN() * s);
    line.FHARGAEX1 = line_units * round(price.HARGAEX1SATUAN() * s);
    line.FHARGAEX2 = line_units * round(price.HARGAEX2SATUAN() * s);
  } else if (control.LPENJUALANHARGABULAT2) {
    price.HARGA = round(price.HARGA);
    price.HARGAEX1 = round(price.HARGAEX1);
    price.HARGAEX2 = round(price.HARGAEX2);
    line.FHARGA = price.HARGASATUAN() * q;
    line.FHARGAEX1 = price.HARGAEX1SATUAN() * q;
    line.FHARGAEX2 = price.HARGAEX2SATUAN() * q;
  } else {
    line.FHARGA = round(price.HARGASATUAN() * q);
    line.FHARGAEX1 = round(price.HARGAEX1SATUAN() * q);
    line.FHARGAEX2 = round(price.HARGAEX2SATUAN() * q);
  }
  trace.price = price;

  line.FDISCPERS1 = chosen.discounts[0];
  line.FDISCPERS2 = chosen.discounts[1];
  line.FDISCPERS3 = chosen.discounts[2];
  line.FDISCNILAI = 0;
  KT_RETURN_IF_ERROR(CHECKPROMO(item, context, q, line, &trace));
  return trace;
}

Status CHECKPROMO(const PricingItem& item, const PricingContext& context, double q, PricedLine& line,
                  PriceTrace* trace) {
  if (context.promotions == nullptr) return Status::Ok();
  const PricingControl& control = *context.control;

  KT_ASSIGN_OR_RETURN(const std::optional<Promotion> percentage,
                      context.promotions->FindValid(PromotionKind::kPercentage, item.LIID, context.when));
  if (percentage) {
    line.FDISCPERS1 = percentage->percentages[0];
    if (control.LPENJUALANDISCOUNT2) line.FDISCPERS2 = percentage->percentages[1];
    if (control.LPENJUALANDISCOUNT3) line.FDISCPERS3 = percentage->percentages[2];
    if (trace != nullptr) trace->percentage_promotion = true;
  }

  KT_ASSIGN_OR_RETURN(const std::optional<Promotion> value,
                      context.promotions->FindValid(PromotionKind::kValue, item.LIID, context.when));
  if (value) {
    const CurrencyBook& book = *context.currencies;
    const double unit_size = RECHARGA::UnitSize(value->value_unit, *item.units);
    const double whole_units = unit_size == 0 ? 0.0 : WholePart(q / unit_size);
    KT_ASSIGN_OR_RETURN(const double factor,
                        ConversionFactor(value->value_currency, control.RetailCurrency(), item.WKURSJUAL,
                                         context.when, book, context.rates));
    const int decimals = control.LROUNDDECIMALMU ? RetailDecimals(control, book) : 2;
    line.FDISCNILAI = RoundHalfAway(whole_units * value->value * factor, decimals);
    if (trace != nullptr) trace->value_promotion = true;
  }
  return Status::Ok();
}

double DISCPERSENNILAI(const PricedLine& line, const PricingControl& control, const CurrencyBook& book) {
  const double a = LineAmount(line);
  double p1 = line.FDISCPERS1;
  double p2 = line.FDISCPERS2;
  double p3 = line.FDISCPERS3;
  if (control.LPENJUALANDISC23WITHOUT1) {
    if (p1 <= 0) p2 = 0;
    if (p2 <= 0) p3 = 0;
  }
  const double b = control.LPENJUALANDISCPERSAFTERDISCN ? a - line.FDISCNILAI : a;
  double d = b * p1 / 100;
  const auto add = [&](double p) { d += control.LPENJUALANDISC23INDEPEND ? b * p / 100 : (b - d) * p / 100; };
  if (control.LPENJUALANDISCOUNT2) add(p2);
  if (control.LPENJUALANDISCOUNT3) add(p3);

  d = control.LPENJUALANDISCBULAT ? RoundByCurrency(d, control.RetailCurrency(), book)
                                  : RoundHalfAway(d, RetailDecimals(control, book));
  if (a > 0 && d > a) d = a;
  if (a < 0 && d < a) d = a;
  return d;
}

double TOTALHITUNGPAJAK(const PricedLine& line, const PricingControl& control, const CurrencyBook& book) {
  return LineAmount(line) - line.FDISCNILAI - DISCPERSENNILAI(line, control, book);
}

void HITUNGPAJAK(PricedLine& line, bool non_pajak, const PricingControl& control, const CurrencyBook& book) {
  const double percent = control.FPENJECERANPAJAKITEMPERSEN;
  line.FPAJAK = (percent != 0 && !non_pajak) ? TOTALHITUNGPAJAK(line, control, book) * percent / 100 : 0.0;
}

double TOTAL(const PricedLine& line, const PricingControl& control, const CurrencyBook& book) {
  return TOTALHITUNGPAJAK(line, control, book) + line.FPAJAK;
}

Result<PriceTrace> ASSIGNHARGA(const PricingItem& item, const PricingContext& context, PricedLine& line) {
  KT_ASSIGN_OR_RETURN(PriceTrace trace, CHECKHARGA(item, context, line));
  HITUNGPAJAK(line, item.LNONPAJAK, *context.control, *context.currencies);
  return trace;
}

}  // namespace kt::data::pricing
