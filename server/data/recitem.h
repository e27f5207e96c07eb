// RECITEM: a snapshot of one S_STOCK record, as lookup and pricing read it. RECITEMEX is the same
// record built from a work area (the lookup's own S_STOCK area).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/event_sink.h"
#include "common/status.h"
#include "server/data/dbkontro.h"
#include "server/data/units.h"

namespace kt::data {

class WorkArea;

inline constexpr int kPriceLevels = 5;

// One price level of an item or a promotion (fields ..._J_01 .. ..._J_05).
struct PriceLevel {
  uint16_t currency = 0;  // MU_H_J_nn
  double price = 0;       // HARGA_J_nn
  double extra1 = 0;      // HGEX1_J_nn (0 unless the control record names the component)
  double extra2 = 0;      // HGEX2_J_nn (likewise)
  double quantity = 0;    // JML_J_nn
  uint16_t unit = 0;      // SAT_J_nn
  double disc1 = 0, disc2 = 0, disc3 = 0;  // DISC1_J_nn .. DISC3_J_nn
};

// Reads the five levels from the current record of `area` (S_STOCK or S_STKPRO). A level the
// control record switches off (STK_H_JL2..5) and an extra component it does not name are not
// read and stay 0; pricing takes the level below for them. Missing fields are reported through
// `sink` and read as 0.
std::array<PriceLevel, kPriceLevels> LoadPriceLevels(const WorkArea& area, const DBKONTRO& kontro,
                                                     EventSink& sink);

class RECITEM {
 public:
  // An empty record: LEOF true, everything else empty.
  RECITEM() = default;

  // LOADRECORD: snapshot of the current record of `stock`. At end of table the result is the
  // empty record. Fields the table lacks are reported through `sink` and read as empty.
  static RECITEM LOADRECORD(const WorkArea& stock, const DBKONTRO& kontro, const UnitSets& units,
                            EventSink& sink);

  // The same into this object, reusing its text buffers (the per-scan path).
  void LOADINTO(const WorkArea& stock, const DBKONTRO& kontro, const UnitSets& units, EventSink& sink);
  // Becomes the empty record, keeping the text buffers.
  void CLEAR();

  bool LEOF = true;
  uint32_t DWRECNO = 0;
  bool LNONAKTIF = false;   // HIDE
  int64_t LIID = 0;         // ID
  std::string CNAMA, CNAMAEX1, CNAMAEX2;  // trimmed
  std::string CNAMAALL;     // name and non-empty extensions joined by blanks; " " when all empty
  std::string CQUANPICT;    // QUAN_PICT, else STK_PICT, else "999,999"
  bool LITEMPENJEC = false; // ITM_PENJEC
  // GUDANG_01..GUDANG_30, read only while the control record switches the warehouse check on
  // (STK_GD_AKT); all false otherwise.
  std::array<bool, kWarehouseCount> AGUDANG{};
  uint16_t WTIPESAT = 0;    // TIPE_SATU
  uint16_t WSATKECIL = 0;   // smallest unit of the set
  uint16_t WSATECERAN = 0;  // SAT_ECR, or the smallest unit when empty
  bool LNONPAJAK = false;   // NON_PAJAK
  uint16_t WKURSJUAL = 0;   // KURS_JUAL
  std::array<PriceLevel, kPriceLevels> levels{};
  std::array<double, kUnitSlots> SAT_K{};  // SAT_K_01..SAT_K_10
  std::string unit_text_retail;  // text of WSATECERAN in the item's set ("###" when unknown)

  // True when the item is active in warehouse n (1..30); false for any other n.
  bool ISGUDANG(int warehouse) const;
  // Text of the retail unit (SATUANECERANTEXT).
  const std::string& SATUANECERANTEXT() const { return unit_text_retail; }

  ItemUnits units() const;
  // Quantity in `from` converted into `to` (CONV2SATUAN), into the smallest unit
  // (CONV2SATUANKECIL) and from the smallest unit (CONVFROMSATUANKECIL).
  Result<double> CONV2SATUAN(const UnitSets& sets, bool per_item_factors, double quantity,
                             uint16_t from, uint16_t to) const;
  Result<double> CONV2SATUANKECIL(const UnitSets& sets, bool per_item_factors, double quantity,
                                  uint16_t from) const;
  Result<double> CONVFROMSATUANKECIL(const UnitSets& sets, bool per_item_factors, double quantity,
                                     uint16_t to) const;

  // SEEKFAILED: moves `stock` past its last record and becomes the empty record.
  void SEEKFAILED(WorkArea& stock);
};

// The record as built from a work area (the lookup's S_STOCK area): the same snapshot.
using RECITEMEX = RECITEM;

// CNAMAALL from the three trimmed name parts.
std::string JoinItemName(const std::string& name, const std::string& ex1, const std::string& ex2);
// CQUANPICT from the item's and the control record's pictures.
std::string QuantityPicture(std::string_view item_picture, std::string_view default_picture);

}  // namespace kt::data
