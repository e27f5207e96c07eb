#include "server/data/recitem.h"

#include <cmath>
#include <cstdio>
#include <type_traits>

#include "common/text/text.h"
#include "server/data/driver/field_codec.h"
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

// Where a field lies in the record of one table layout; `type` 0 when the table lacks it.
struct Slot {
  uint32_t offset = 0;
  uint16_t width = 0;
  char type = 0;
};

Slot SlotOf(const WorkArea& area, std::string_view name) {
  const int pos = area.FieldPos(name);
  if (pos <= 0) return Slot{};
  const FieldSpec& f = area.fields()[static_cast<std::size_t>(pos - 1)];
  return Slot{f.offset, f.width, f.type};
}

// The record's fields in one table layout, resolved once per layout: a scan reads about a
// hundred fields, and looking each up by name cost more than the seeks.
struct RecordFields {
  uint64_t layout = 0;
  struct Level {
    Slot currency, price, extra1, extra2, quantity, unit, disc1, disc2, disc3;
  };
  std::array<Level, kPriceLevels> levels{};
  Slot hide, id, nama, namaex1, namaex2, quan_pict, itm_penjec;
  std::array<Slot, kWarehouseCount> warehouses{};
  Slot tipe_satu, sat_ecr, non_pajak, kurs_jual;
  std::array<Slot, kUnitSlots> factors{};

  void Resolve(const WorkArea& area) {
    layout = area.layout_id();
    for (int i = 0; i < kPriceLevels; ++i) {
      const LevelFieldNames& f = LevelFields()[i];
      levels[i] = {SlotOf(area, f.currency), SlotOf(area, f.price),    SlotOf(area, f.extra1),
                   SlotOf(area, f.extra2),   SlotOf(area, f.quantity), SlotOf(area, f.unit),
                   SlotOf(area, f.disc1),    SlotOf(area, f.disc2),    SlotOf(area, f.disc3)};
    }
    hide = SlotOf(area, "HIDE");
    id = SlotOf(area, "ID");
    nama = SlotOf(area, "NAMA");
    namaex1 = SlotOf(area, "NAMAEX1");
    namaex2 = SlotOf(area, "NAMAEX2");
    quan_pict = SlotOf(area, "QUAN_PICT");
    itm_penjec = SlotOf(area, "ITM_PENJEC");
    for (int n = 0; n < kWarehouseCount; ++n) warehouses[n] = SlotOf(area, WarehouseFields()[n]);
    tipe_satu = SlotOf(area, "TIPE_SATU");
    sat_ecr = SlotOf(area, "SAT_ECR");
    non_pajak = SlotOf(area, "NON_PAJAK");
    kurs_jual = SlotOf(area, "KURS_JUAL");
    for (int n = 0; n < kUnitSlots; ++n) factors[n] = SlotOf(area, FactorFields()[n]);
  }
};

// The fields for `area`, resolved again only when its layout is another one. One cache per
// thread: a session thread reads its own areas, and a layout id is unique in the process.
const RecordFields& FieldsOf(const WorkArea& area) {
  static_assert(std::is_trivially_destructible_v<RecordFields>, "a thread_local with a destructor: use ThreadOwned");
  thread_local RecordFields cache;
  if (cache.layout != area.layout_id()) cache.Resolve(area);
  return cache;
}

// Decodes fields from the record's bytes, read once. A field the table lacks is reported by its
// name, as a read by name reports it; a value of another type, or a record that cannot be read,
// reads as empty.
class RecordReader {
 public:
  RecordReader(const WorkArea& area, EventSink& sink) : sink_(sink) {
    Result<std::string_view> bytes = area.RecordBytes();
    if (bytes.ok()) record_ = *bytes;
  }

  double Number(const Slot& slot, std::string_view name) const {
    if (slot.type == 0) return Missing(name, 0.0);
    if (!IsNumericType(slot.type)) return 0.0;
    const std::optional<double> v = ParseNumber(slot.type, Bytes(slot));
    return v && std::isfinite(*v) ? *v : 0.0;
  }
  bool Logical(const Slot& slot, std::string_view name) const {
    if (slot.type == 0) return Missing(name, false);
    return slot.type == 'L' && ParseLogical(Bytes(slot));
  }
  std::string_view Raw(const Slot& slot, std::string_view name) const {
    if (slot.type == 0) return Missing(name, std::string_view());
    return Bytes(slot);
  }

 private:
  std::string_view Bytes(const Slot& slot) const {
    if (slot.offset >= record_.size()) return {};
    return record_.substr(slot.offset, slot.width);
  }
  template <typename T>
  T Missing(std::string_view name, T empty) const {
    sink_.ErrorBox(MissingFieldMessage(name));
    return empty;
  }
  std::string_view record_;
  EventSink& sink_;
};

void LoadLevels(const RecordReader& in, const RecordFields& pos, const DBKONTRO& kontro,
                std::array<PriceLevel, kPriceLevels>& levels) {
  const bool extra1 = !kontro.CPENJUALANHARGAEX1.empty();
  const bool extra2 = !kontro.CPENJUALANHARGAEX2.empty();
  const auto& names = LevelFields();
  for (int i = 0; i < kPriceLevels; ++i) {
    const LevelFieldNames& f = names[i];
    const RecordFields::Level& p = pos.levels[i];
    PriceLevel& level = levels[i];
    // A level the control record switches off is priced as the one below it: not even read.
    if (i > 0 && !kontro.LSTOCKHARGAJUAL[static_cast<std::size_t>(i + 1)]) {
      level = PriceLevel{};
      continue;
    }
    level.currency = ToId16(in.Number(p.currency, f.currency));
    level.price = in.Number(p.price, f.price);
    // An extra component the control record does not name is off: it is not even read.
    level.extra1 = extra1 ? in.Number(p.extra1, f.extra1) : 0;
    level.extra2 = extra2 ? in.Number(p.extra2, f.extra2) : 0;
    level.quantity = in.Number(p.quantity, f.quantity);
    level.unit = ToId16(in.Number(p.unit, f.unit));
    level.disc1 = in.Number(p.disc1, f.disc1);
    level.disc2 = in.Number(p.disc2, f.disc2);
    level.disc3 = in.Number(p.disc3, f.disc3);
  }
}

// `to` takes the stored text without its blanks, reusing its own buffer.
void AssignTrimmed(std::string& to, std::string_view stored) { to.assign(text::Trim(stored)); }

}  // namespace

std::array<PriceLevel, kPriceLevels> LoadPriceLevels(const WorkArea& area, const DBKONTRO& kontro,
                                                     EventSink& sink) {
  std::array<PriceLevel, kPriceLevels> levels{};
  LoadLevels(RecordReader(area, sink), FieldsOf(area), kontro, levels);
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
  r.LOADINTO(stock, kontro, units, sink);
  return r;
}

void RECITEM::LOADINTO(const WorkArea& stock, const DBKONTRO& kontro, const UnitSets& units, EventSink& sink) {
  if (stock.Eof()) {
    CLEAR();
    return;
  }
  const RecordFields& pos = FieldsOf(stock);
  const RecordReader in(stock, sink);
  LEOF = false;
  DWRECNO = stock.RecNo();
  LNONAKTIF = in.Logical(pos.hide, "HIDE");
  LIID = ToInt64(in.Number(pos.id, "ID"));
  AssignTrimmed(CNAMA, in.Raw(pos.nama, "NAMA"));
  AssignTrimmed(CNAMAEX1, in.Raw(pos.namaex1, "NAMAEX1"));
  AssignTrimmed(CNAMAEX2, in.Raw(pos.namaex2, "NAMAEX2"));
  CNAMAALL = CNAMA;
  for (const std::string* part : {&CNAMAEX1, &CNAMAEX2}) {
    if (!part->empty()) (CNAMAALL += ' ') += *part;
  }
  if (CNAMAALL.empty()) CNAMAALL = " ";
  std::string_view picture = text::Trim(in.Raw(pos.quan_pict, "QUAN_PICT"));
  if (picture.empty()) picture = text::Trim(kontro.CSTOCKQUANPICTURE);
  if (picture.empty()) picture = "999,999";
  CQUANPICT.assign(picture);
  LITEMPENJEC = in.Logical(pos.itm_penjec, "ITM_PENJEC");
  // The warehouse flags count only when the control record switches the warehouse check on.
  if (kontro.LSTOCKGUDANGAKTIVASI) {
    const auto& warehouse_names = WarehouseFields();
    for (int n = 0; n < kWarehouseCount; ++n) AGUDANG[n] = in.Logical(pos.warehouses[n], warehouse_names[n]);
  } else {
    AGUDANG.fill(false);
  }
  WTIPESAT = ToId16(in.Number(pos.tipe_satu, "TIPE_SATU"));
  WSATKECIL = units.Smallest(WTIPESAT);
  const uint16_t retail = ToId16(in.Number(pos.sat_ecr, "SAT_ECR"));
  WSATECERAN = retail != 0 ? retail : WSATKECIL;
  LNONPAJAK = in.Logical(pos.non_pajak, "NON_PAJAK");
  WKURSJUAL = ToId16(in.Number(pos.kurs_jual, "KURS_JUAL"));
  LoadLevels(in, pos, kontro, levels);
  const auto& factor_names = FactorFields();
  for (int n = 0; n < kUnitSlots; ++n) SAT_K[n] = in.Number(pos.factors[n], factor_names[n]);
  unit_text_retail = units.UnitText(WTIPESAT, WSATECERAN);
}

void RECITEM::CLEAR() {
  // The strings keep their buffers for the next record.
  LEOF = true;
  DWRECNO = 0;
  LNONAKTIF = false;
  LIID = 0;
  CNAMA.clear();
  CNAMAEX1.clear();
  CNAMAEX2.clear();
  CNAMAALL.clear();
  CQUANPICT.clear();
  LITEMPENJEC = false;
  AGUDANG.fill(false);
  WTIPESAT = WSATKECIL = WSATECERAN = 0;
  LNONPAJAK = false;
  WKURSJUAL = 0;
  levels.fill(PriceLevel{});
  SAT_K.fill(0);
  unit_text_retail.clear();
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
  CLEAR();
}

}  // namespace kt::data
