#include "server/data/recitem.h"

#include <cstdio>

#include "common/text/text.h"
#include "server/data/driver/work_area.h"
#include "server/data/field_access.h"

namespace kt::data {

namespace {

// Field names of the five price levels, built once.
struct LevelFieldNames {
  std::string currency, price, extra1, extra2, quantity, unit, disc1, disc2, disc3;
};

const std::array<LevelFieldNames, kPriceLevels>& LevelFields() {
  static const std::array<LevelFieldNames, kPriceLevels> names = [] {
    std::array<LevelFieldNames, kPriceLevels> out;
    for (int level = 1; level <= kPriceLevels; ++level) {
      char nn[32];
      std::snprintf(nn, sizeof nn, "%02d", level);
      const std::string suffix = std::string("_J_") + nn;
      out[level - 1] = {"MU_H" + suffix,  "HARGA" + suffix, "HGEX1" + suffix,
                        "HGEX2" + suffix, "JML" + suffix,   "SAT" + suffix,
                        "DISC1" + suffix, "DISC2" + suffix, "DISC3" + suffix};
    }
    return out;
  }();
  return names;
}

const std::array<std::string, kWarehouseCount>& WarehouseFields() {
  static const std::array<std::string, kWarehouseCount> names = [] {
    std::array<std::string, kWarehouseCount> out;
    for (int n = 1; n <= kWarehouseCount; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "GUDANG_%02d", n);
      out[n - 1] = name;
    }
    return out;
  }();
  return names;
}

const std::array<std::string, kUnitSlots>& FactorFields() {
  static const std::array<std::string, kUnitSlots> names = [] {
    std::array<std::string, kUnitSlots> out;
    for (int n = 1; n <= kUnitSlots; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "SAT_K_%02d", n);
      out[n - 1] = name;
    }
    return out;
  }();
  return names;
}

}  // namespace

std::array<PriceLevel, kPriceLevels> LoadPriceLevels(const WorkArea& area, const DBKONTRO& kontro,
                                                     EventSink& sink) {
  std::array<PriceLevel, kPriceLevels> levels{};
  const bool extra1 = !kontro.CPENJUALANHARGAEX1.empty();
  const bool extra2 = !kontro.CPENJUALANHARGAEX2.empty();
  for (int i = 0; i < kPriceLevels; ++i) {
    const LevelFieldNames& f = LevelFields()[i];
    PriceLevel& level = levels[i];
    level.currency = ToId16(FieldNumber(area, f.currency, sink));
    level.price = FieldNumber(area, f.price, sink);
    // An extra component the control record does not name is off: it is not even read.
    level.extra1 = extra1 ? FieldNumber(area, f.extra1, sink) : 0;
    level.extra2 = extra2 ? FieldNumber(area, f.extra2, sink) : 0;
    level.quantity = FieldNumber(area, f.quantity, sink);
    level.unit = ToId16(FieldNumber(area, f.unit, sink));
    level.disc1 = FieldNumber(area, f.disc1, sink);
    level.disc2 = FieldNumber(area, f.disc2, sink);
    level.disc3 = FieldNumber(area, f.disc3, sink);
  }
  return levels;
}

std::string JoinItemName(const std::string& name, const std::string& ex1, const std::string& ex2) {
  std::string all = name;
  for (const std::string* part : {&ex1, &ex2}) {
    if (!part->empty()) all += ' ' + *part;
  }
  return all.empty() ? std::string(" ") : all;
}

std::string QuantityPicture(std::string_view item_picture, std::string_view default_picture) {
  std::string_view picture = text::Trim(item_picture);
  if (picture.empty()) picture = text::Trim(default_picture);
  if (picture.empty()) picture = "999,999";
  return std::string(picture);
}

RECITEM RECITEM::LOADRECORD(const WorkArea& stock, const DBKONTRO& kontro, const UnitSets& units,
                            EventSink& sink) {
  RECITEM r;
  if (stock.Eof()) return r;
  r.LEOF = false;
  r.DWRECNO = stock.RecNo();
  r.LNONAKTIF = FieldLogical(stock, "HIDE", sink);
  r.LIID = ToInt64(FieldNumber(stock, "ID", sink));
  r.CNAMA = FieldTrimmed(stock, "NAMA", sink);
  r.CNAMAEX1 = FieldTrimmed(stock, "NAMAEX1", sink);
  r.CNAMAEX2 = FieldTrimmed(stock, "NAMAEX2", sink);
  r.CNAMAALL = JoinItemName(r.CNAMA, r.CNAMAEX1, r.CNAMAEX2);
  r.CQUANPICT = QuantityPicture(FieldText(stock, "QUAN_PICT", sink), kontro.CSTOCKQUANPICTURE);
  r.LITEMPENJEC = FieldLogical(stock, "ITM_PENJEC", sink);
  for (int n = 0; n < kWarehouseCount; ++n) r.AGUDANG[n] = FieldLogical(stock, WarehouseFields()[n], sink);
  r.WTIPESAT = ToId16(FieldNumber(stock, "TIPE_SATU", sink));
  r.WSATKECIL = units.Smallest(r.WTIPESAT);
  const uint16_t retail = ToId16(FieldNumber(stock, "SAT_ECR", sink));
  r.WSATECERAN = retail != 0 ? retail : r.WSATKECIL;
  r.LNONPAJAK = FieldLogical(stock, "NON_PAJAK", sink);
  r.WKURSJUAL = ToId16(FieldNumber(stock, "KURS_JUAL", sink));
  r.levels = LoadPriceLevels(stock, kontro, sink);
  for (int n = 0; n < kUnitSlots; ++n) r.SAT_K[n] = FieldNumber(stock, FactorFields()[n], sink);
  r.unit_text_retail = units.UnitText(r.WTIPESAT, r.WSATECERAN);
  return r;
}

bool RECITEM::ISGUDANG(int warehouse) const {
  return warehouse >= 1 && warehouse <= kWarehouseCount && AGUDANG[warehouse - 1];
}

ItemUnits RECITEM::units() const {
  ItemUnits u;
  u.item_id = LIID;
  u.unit_set = WTIPESAT;
  u.smallest = WSATKECIL;
  u.item_factors = SAT_K;
  return u;
}

Result<double> RECITEM::CONV2SATUAN(const UnitSets& sets, bool per_item_factors, double quantity,
                                    uint16_t from, uint16_t to) const {
  return ConvertItemUnits(units(), sets, per_item_factors, quantity, from, to);
}

Result<double> RECITEM::CONV2SATUANKECIL(const UnitSets& sets, bool per_item_factors, double quantity,
                                         uint16_t from) const {
  return ConvertItemUnits(units(), sets, per_item_factors, quantity, from, WSATKECIL);
}

Result<double> RECITEM::CONVFROMSATUANKECIL(const UnitSets& sets, bool per_item_factors,
                                            double quantity, uint16_t to) const {
  return ConvertItemUnits(units(), sets, per_item_factors, quantity, WSATKECIL, to);
}

void RECITEM::SEEKFAILED(WorkArea& stock) {
  // Past the last record: the area shows the empty record, as a failed seek leaves it.
  Status ignored = stock.GoBottom();
  if (ignored.ok()) ignored = stock.Skip(1);
  *this = RECITEM();
}

}  // namespace kt::data
