// DBKONTRO: the values of the accounting product's control record (table S_KONTRO) that switch
// the server's lookup, unit and pricing rules. Loaded once per database open and then shared,
// read-only, by every session.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/event_sink.h"
#include "common/status.h"

namespace kt::data {

class WorkArea;

inline constexpr int kWarehouseCount = 30;
// The lowest data version this server understands.
inline constexpr int kMinimumDataVersion = 826;

struct DBKONTRO {
  int VERSI = 0;

  // Item codes and lookup.
  bool LSTOCKKODECHR = false;           // STK_K_CHR: width from KODE_C, else from KODE_N
  std::string CSTOCKKODECLEAR;          // STK_K_CLR (trimmed)
  bool LSTOCKKODECLEARALL = false;      // STK_K_CLR2
  bool LSTOCKMULTIKODE = false;         // STK_K_MUL
  bool LSTOCKKODE2USETRANSAKSI = false; // STK_KODE2U
  bool LSTOCKGUDANGAKTIVASI = false;    // STK_GD_AKT
  uint16_t WPENJECERANGUDANG = 0;       // PJECR_GUD
  std::string CSTOCKQUANPICTURE;        // STK_PICT (trimmed)

  // Units.
  bool LSTOCKKONVSATUAN = false;        // STK_K_SAT
  uint16_t WSTOCKSATUANDECIMAL = 0;     // STK_SAT_D

  // Pricing.
  std::array<bool, 6> LSTOCKHARGAJUAL{};  // [2]..[5]: STK_H_JL2..STK_H_JL5; [0], [1] unused
  uint16_t WPENJECERANMU = 0;           // PJECR_MU
  std::string CPENJUALANHARGAEX1;       // PJ_HAR_EX1 (trimmed); empty switches the component off
  std::string CPENJUALANHARGAEX2;       // PJ_HAR_EX2 (trimmed)
  double FPENJECERANPAJAKITEMPERSEN = 0;  // PJECR_PJK
  bool LROUNDDECIMALMU = false;         // ROUND_DEC
  bool LPENJUALANHARGABULAT2 = false;   // PJ_HAR_BL2
  bool LPENJUALANHARGABULAT3 = false;   // PJ_HAR_BL3
  bool LPENJUALANDISCOUNT2 = false;     // PENJ_DISC2
  bool LPENJUALANDISCOUNT3 = false;     // PENJ_DISC3
  bool LPENJUALANDISC23INDEPEND = false;     // PENJ_DISCM
  bool LPENJUALANDISC23WITHOUT1 = false;     // PENJ_DISCI
  bool LPENJUALANDISCBULAT = false;          // PENJ_DISCB
  bool LPENJUALANDISCPERSAFTERDISCN = false; // PENJ_DISCA

  // Warehouse names NM_GUD_01..NM_GUD_30 (trimmed); index 0 is warehouse 1.
  std::array<std::string, kWarehouseCount> warehouse_names;

  // Scale-barcode settings: loaded, never used by a lookup.
  std::string PJECR_SKDT, PJECR_SKQT;
  int PJECR_SKDL = 0, PJECR_SKQL = 0;
  std::array<int, 4> PJECR_SKH{}, PJECR_SKQ{};

  // The name shown in the warehouse message: "---" for 0, the trimmed name for 1..30, else "###".
  std::string WarehouseName(int warehouse) const;
};

// Reads the control record from the current (first) record of an open S_KONTRO work area.
// A field the table lacks is reported through `sink` (as any missing field is) and read as empty.
// Fails only when the table cannot be read.
Result<DBKONTRO> LoadDbKontro(WorkArea& kontro, EventSink& sink);

}  // namespace kt::data
