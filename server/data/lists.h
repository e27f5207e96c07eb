// The lists read once per database open and shared read-only by every session: divisions,
// currencies, rounding rules, item groups, employees, holidays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/data/driver/date.h"

namespace kt::data {

struct Division {  // S_DIVISI
  int64_t id = 0;
  std::string name;  // DIVISI
  int price_level = 0;  // HARGA_JUAL
  int64_t price_group_id = 0;  // GRPHJL_ID
};

struct Currency {  // S_MAUANG
  int64_t id = 0;
  std::string code;       // KODE
  std::string name;       // MATA_UANG
  std::string words_cent; // TERB_CENT
  std::string words_unit; // TERB_MU
  bool multiply = false;  // MU_KALI: the rate is used as stored; false: inverted
  int decimals = 0;       // DECIMAL
  bool km_auto = false;   // KM_AUTO_PY
  bool kk_auto = false;   // KK_AUTO_PY
};

struct RoundingRule {  // S_MUHJBU, in MAUANG_NIL order
  int64_t currency_id = 0;  // MAUANG_ID
  double lower = 0;         // NILAI_1
  double upper = 0;         // NILAI_2
  double value = 0;         // NILAI
};

struct ItemGroup {  // S_GRPSTK, S_GRPST2, S_GRPST3
  int64_t id = 0;
  std::string name;       // NAMA
  bool hide_sale = false; // HIDE_JUAL
};

struct Employee {  // S_KARYAW
  int64_t id = 0;
  std::string name;  // NAMA
};

}  // namespace kt::data
