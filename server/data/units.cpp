#include "server/data/units.h"

#include <cstdio>

#include "server/data/driver/work_area.h"
#include "server/data/field_access.h"
#include "server/data/messages.h"

namespace kt::data {

namespace {

std::string SlotField(int slot, std::string_view suffix) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "SAT_%02d_", slot);
  return std::string(buffer) + std::string(suffix);
}

// The operator text of a failed conversion, shared by both of its errors.
std::string ConversionMessage(std::string_view prefix, int64_t item_id, uint16_t from, uint16_t to,
                              const ConversionNote& where) {
  std::string text = std::string(prefix) + std::to_string(item_id) + "  ( " + std::to_string(from) +
                     " - " + std::to_string(to) + " )";
  if (!where.date.empty()) text += "\r\nTanggal: " + where.date;
  if (!where.note.empty()) text += "\r\n" + where.note;
  return text;
}

}  // namespace

const UnitSet* UnitSets::Find(uint16_t set_id) const {
  for (const UnitSet& set : sets_) {
    if (set.id == set_id) return &set;
  }
  return nullptr;
}

uint16_t UnitSets::Smallest(uint16_t set_id) const {
  const UnitSet* set = Find(set_id);
  return set ? set->smallest : 0;
}

std::string UnitSets::UnitText(uint16_t set_id, uint16_t unit_id) const {
  if (const UnitSet* set = Find(set_id)) {
    for (const Unit& unit : set->units) {
      if (unit.id == unit_id) return unit.text;
    }
  }
  return std::string(msg::kUnknownUnitText);
}

double UnitSets::SetFactor(uint16_t set_id, uint16_t unit_id) const {
  if (const UnitSet* set = Find(set_id)) {
    for (const Unit& unit : set->units) {
      if (unit.id == unit_id) return unit.count;
    }
  }
  return 0;
}

Result<UnitReadResult> ReadUnitSets(WorkArea& satuan, EventSink& sink) {
  UnitReadResult result;
  std::vector<UnitSet> sets;
  KT_RETURN_IF_ERROR(satuan.SetOrder(""));
  KT_RETURN_IF_ERROR(satuan.GoTop());
  const WorkArea& area = satuan;
  while (!satuan.Eof()) {
    if (!satuan.Deleted()) {
      UnitSet set;
      bool has_smallest = false;
      for (int slot = 1; slot <= kUnitSlots; ++slot) {
        const std::string text_field = SlotField(slot, "TXT");
        // A slot whose text field does not exist ends the slots quietly.
        if (area.FieldPos(text_field) == 0) break;
        const std::string text = FieldTrimmed(area, text_field, sink);
        if (text.empty()) break;
        Unit unit;
        unit.text = text;
        unit.id = ToId16(FieldNumber(area, SlotField(slot, "VAL"), sink));
        unit.count = FieldNumber(area, SlotField(slot, "SAT"), sink);
        if (unit.count == 1) {
          set.smallest = unit.id;
          has_smallest = true;
        }
        set.units.push_back(std::move(unit));
      }
      if (!has_smallest) {
        result.bad_set = true;
        break;
      }
      set.name = FieldTrimmed(area, "SATUAN_TXT", sink);
      set.id = ToId16(FieldNumber(area, "SATUAN_VAL", sink));
      sets.push_back(std::move(set));
    }
    KT_RETURN_IF_ERROR(satuan.Skip(1));
  }
  if (result.bad_set && !sets.empty()) sink.ErrorBox(msg::kBadUnitSet);
  result.sets = UnitSets(std::move(sets));
  return result;
}

Result<double> ConvertItemUnits(const ItemUnits& item, const UnitSets& sets, bool per_item_factors,
                                double quantity, uint16_t from, uint16_t to,
                                const ConversionNote& where) {
  if (quantity == 0 || item.item_id <= 0) return 0.0;
  if (from == to) return quantity;
  const uint16_t asked_from = from, asked_to = to;
  if (from == kSmallestUnitAlias) from = item.smallest;
  if (to == kSmallestUnitAlias) to = item.smallest;
  if (from == 0 || to == 0) {
    return Status::InvalidArgument(
        ConversionMessage(msg::kConvUnitInvalid, item.item_id, asked_from, asked_to, where));
  }
  if (from == to) return quantity;
  auto factor = [&](uint16_t unit) -> double {
    if (per_item_factors) {
      if (unit == item.smallest) return 1;
      // SAT_K_ + the unit as two digits: only units 1..10 have such a field.
      return (unit >= 1 && unit <= kUnitSlots) ? item.item_factors[unit - 1] : 0;
    }
    return sets.SetFactor(item.unit_set, unit);
  };
  const double divisor = factor(to);
  if (divisor == 0) return 0.0;
  return quantity * factor(from) / divisor;
}

ItemUnits LoadItemUnits(const WorkArea& stock, const UnitSets& sets) {
  EventSink& sink = NullEventSink();  // callers have loaded this record before; stay quiet
  ItemUnits item;
  item.item_id = ToInt64(FieldNumber(stock, "ID", sink));
  item.unit_set = ToId16(FieldNumber(stock, "TIPE_SATU", sink));
  item.smallest = sets.Smallest(item.unit_set);
  for (int slot = 1; slot <= kUnitSlots; ++slot) {
    char name[32];
    std::snprintf(name, sizeof name, "SAT_K_%02d", slot);
    item.item_factors[slot - 1] = FieldNumber(stock, name, sink);
  }
  return item;
}

Result<double> ITEM_CONV2SATUAN(WorkArea& stock, const UnitSets& sets, bool per_item_factors,
                                int64_t item_id, double quantity, uint16_t from, uint16_t to,
                                const ConversionNote& where) {
  if (quantity == 0 || item_id <= 0) return 0.0;
  if (from == to) return quantity;
  const bool on_item = !stock.Eof() && stock.GetNumber("ID").value_or(0) == static_cast<double>(item_id);
  if (!on_item) {
    KT_RETURN_IF_ERROR(stock.SetOrder("ID"));
    KT_ASSIGN_OR_RETURN(const bool found, stock.SeekNumber(static_cast<double>(item_id)));
    if (!found) {
      return Status::NotFound(ConversionMessage(msg::kConvItemMissing, item_id, from, to, where));
    }
  }
  return ConvertItemUnits(LoadItemUnits(stock, sets), sets, per_item_factors, quantity, from, to, where);
}

}  // namespace kt::data
