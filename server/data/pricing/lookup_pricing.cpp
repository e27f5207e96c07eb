#include "server/data/pricing/lookup_pricing.h"

#include <memory>
#include <optional>

#include "common/platform/threads/thread_owned.h"
#include "server/data/global_variable.h"
#include "server/data/item_line.h"
#include "server/data/pricing/price_text.h"
#include "server/data/recitem.h"

namespace kt::data::pricing {
namespace {

uint16_t ToId(int64_t id) { return id >= 0 && id <= 65535 ? static_cast<uint16_t>(id) : 0; }

// The item's own unit conversion (set factors or SAT_K_nn). The first conversion error is kept
// for the caller; the engine sees 0 for it.
class RecitemUnits final : public ItemUnits {
 public:
  RecitemUnits(const RECITEM& item, const UnitSets& sets, bool per_item_factors)
      : item_(item), sets_(sets), per_item_factors_(per_item_factors) {}

  double ToSmallest(double quantity, uint16_t unit) const override {
    Result<double> converted = item_.CONV2SATUANKECIL(sets_, per_item_factors_, quantity, unit);
    if (converted.ok()) return *converted;
    if (status_.ok()) status_ = converted.status();
    return 0.0;
  }
  const Status& status() const { return status_; }

 private:
  const RECITEM& item_;
  const UnitSets& sets_;
  const bool per_item_factors_;
  mutable Status status_;
};

PriceLevels LevelsOf(const RECITEM& item) {
  PriceLevels levels;
  for (int n = 0; n < kLevels; ++n) {
    const kt::data::PriceLevel& from = item.levels[static_cast<std::size_t>(n)];
    PriceLevel& to = levels[static_cast<std::size_t>(n)];
    to.currency = from.currency;
    to.price = from.price;
    to.extra1 = from.extra1;
    to.extra2 = from.extra2;
    to.quantity = from.quantity;
    to.unit = from.unit;
    to.discounts = {from.disc1, from.disc2, from.disc3};
  }
  return levels;
}

}  // namespace

PricingControl ControlFromKontro(const DBKONTRO& kontro) {
  PricingControl control;
  control.WPENJECERANMU = kontro.WPENJECERANMU;
  for (int n = 2; n <= kLevels; ++n) {
    control.levels.in_use[static_cast<std::size_t>(n - 1)] = kontro.LSTOCKHARGAJUAL[static_cast<std::size_t>(n)];
  }
  control.levels.extra1 = !kontro.CPENJUALANHARGAEX1.empty();
  control.levels.extra2 = !kontro.CPENJUALANHARGAEX2.empty();
  control.LROUNDDECIMALMU = kontro.LROUNDDECIMALMU;
  control.LPENJUALANHARGABULAT2 = kontro.LPENJUALANHARGABULAT2;
  control.LPENJUALANHARGABULAT3 = kontro.LPENJUALANHARGABULAT3;
  control.LPENJUALANDISCOUNT2 = kontro.LPENJUALANDISCOUNT2;
  control.LPENJUALANDISCOUNT3 = kontro.LPENJUALANDISCOUNT3;
  control.LPENJUALANDISC23INDEPEND = kontro.LPENJUALANDISC23INDEPEND;
  control.LPENJUALANDISC23WITHOUT1 = kontro.LPENJUALANDISC23WITHOUT1;
  control.LPENJUALANDISCBULAT = kontro.LPENJUALANDISCBULAT;
  control.LPENJUALANDISCPERSAFTERDISCN = kontro.LPENJUALANDISCPERSAFTERDISCN;
  control.FPENJECERANPAJAKITEMPERSEN = kontro.FPENJECERANPAJAKITEMPERSEN;
  return control;
}

const PricingLists& PricingListsFor(const std::shared_ptr<const DatabaseSnapshot>& db) {
  // The snapshot is immutable, so what is derived from it holds as long as it is the one in use.
  struct Cached {
    std::weak_ptr<const DatabaseSnapshot> source;
    PricingLists lists;
  };
  static kt::platform::ThreadOwned<Cached> caches;
  Cached& cache = caches.Get();
  if (cache.source.lock() != db) {
    PricingLists fresh;
    fresh.control = ControlFromKontro(db->kontro);
    for (const kt::data::Currency& c : db->ALISTMAUANG) {
      // The first entry of an identifier counts, as a search of the list finds it.
      if (fresh.book.Find(ToId(c.id)) == nullptr) fresh.book.AddCurrency({ToId(c.id), c.multiply, c.decimals});
    }
    for (const kt::data::RoundingRule& r : db->ALISTMUHJBU) {
      fresh.book.AddRule(ToId(r.currency_id), {r.lower, r.upper, r.value});
    }
    fresh.holidays = HolidayList(db->ALISTLIBNAS);
    const uint16_t retail_id = db->kontro.WPENJECERANMU == 0 ? 1 : db->kontro.WPENJECERANMU;
    if (const kt::data::Currency* listed = db->FindCurrency(retail_id)) {
      fresh.retail = Currency{retail_id, listed->multiply, listed->decimals};
    }
    cache.source = db;
    cache.lists = std::move(fresh);
  }
  return cache.lists;
}

Result<ITEMPENJUAECERAN_LINE> PriceItem(const PriceInputs& in) {
  if (in.item == nullptr || in.units == nullptr || in.lists == nullptr) {
    return Status::InvalidArgument("pricing: no item, unit sets or lists");
  }
  const RECITEM& item = *in.item;
  // Every price needs the line quantity in smallest units; inconsistent unit data stops here.
  KT_RETURN_IF_ERROR(item.CONV2SATUANKECIL(*in.units, in.per_item_factors, in.quantity, in.unit).status());

  RecitemUnits units(item, *in.units, in.per_item_factors);
  PricingItem priced_item;
  priced_item.LIID = item.LIID;
  priced_item.levels = LevelsOf(item);
  priced_item.WKURSJUAL = item.WKURSJUAL;
  priced_item.LNONPAJAK = item.LNONPAJAK;
  priced_item.units = &units;

  PricingContext context;
  context.control = &in.lists->control;
  context.currencies = &in.lists->book;
  context.promotions = in.promotions;
  context.rates = in.rates;
  context.when = in.when;
  context.WCONFIGHARGAJUAL = in.WCONFIGHARGAJUAL;

  PricedLine priced;
  priced.FJUMLAH = in.quantity;
  priced.WSATUANID = in.unit;
  KT_ASSIGN_OR_RETURN(const PriceTrace trace, ASSIGNHARGA(priced_item, context, priced));
  (void)trace;
  KT_RETURN_IF_ERROR(units.status());

  ITEMPENJUAECERAN_LINE line;
  line.ORECITEM = RecordRef(&item);
  line.DWRECNO = in.DWRECNO;
  line.FJUMLAH = in.quantity;
  line.WSATUANID = in.unit;
  line.FHARGA = priced.FHARGA;
  line.FHARGAEX1 = priced.FHARGAEX1;
  line.FHARGAEX2 = priced.FHARGAEX2;
  line.FDISCPERS1 = priced.FDISCPERS1;
  line.FDISCPERS2 = priced.FDISCPERS2;
  line.FDISCPERS3 = priced.FDISCPERS3;
  line.FDISCNILAI = priced.FDISCNILAI;
  line.FPAJAK = priced.FPAJAK;
  line.discount_percent_amount = DISCPERSENNILAI(priced, in.lists->control, in.lists->book);
  return line;
}

std::string LookupPriceText(const ITEMPENJUAECERAN_LINE& line, const PricingLists& lists) {
  const std::string& unit_text = line.ORECITEM ? line.ORECITEM->SATUANECERANTEXT() : std::string();
  return PriceText(line.TOTAL(), lists.retail ? &*lists.retail : nullptr, line.FJUMLAH, unit_text);
}

std::string LookupPriceText(const ITEMPENJUAECERAN_LINE& line, const DatabaseSnapshot& db) {
  const uint16_t retail_id = db.kontro.WPENJECERANMU == 0 ? 1 : db.kontro.WPENJECERANMU;
  const kt::data::Currency* listed = db.FindCurrency(retail_id);
  std::optional<Currency> retail;
  if (listed != nullptr) retail = Currency{retail_id, listed->multiply, listed->decimals};
  const std::string unit_text = line.ORECITEM ? line.ORECITEM->SATUANECERANTEXT() : std::string();
  return PriceText(line.TOTAL(), retail ? &*retail : nullptr, line.FJUMLAH, unit_text);
}

std::string LookupPriceText(const ITEMPENJUAECERAN_LINE& line) {
  const std::string unit_text = line.ORECITEM ? line.ORECITEM->SATUANECERANTEXT() : std::string();
  return PriceText(line.TOTAL(), nullptr, line.FJUMLAH, unit_text);
}

}  // namespace kt::data::pricing
