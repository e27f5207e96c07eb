// The line item of one lookup (_ITEMPENJUAECERAN): the found item, the scanned quantity in the
// retail unit, and the amounts pricing fills in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "server/data/recitem.h"

namespace kt::data {

// The line's item: the record of the lookup that made the line, not a copy of it, so it is valid
// until that lookup runs again. Empty when the lookup failed.
class RecordRef {
 public:
  RecordRef() = default;
  explicit RecordRef(const RECITEM* record) : record_(record) {}
  bool has_value() const { return record_ != nullptr; }
  explicit operator bool() const { return record_ != nullptr; }
  const RECITEM& operator*() const { return *record_; }
  const RECITEM* operator->() const { return record_; }
  void reset() { record_ = nullptr; }

 private:
  const RECITEM* record_ = nullptr;
};

struct ITEMPENJUAECERAN_LINE {
  RecordRef ORECITEM;               // empty when the lookup failed
  double FJUMLAH = 0;               // quantity
  uint16_t WSATUANID = 0;           // unit of the quantity
  double FHARGA = 0, FHARGAEX1 = 0, FHARGAEX2 = 0;  // line amounts
  double FDISCPERS1 = 0, FDISCPERS2 = 0, FDISCPERS3 = 0;  // percentage discounts
  double FDISCNILAI = 0;            // value discount
  double FTAMBAHHARGA = 0;          // surcharge
  double FPAJAK = 0;                // tax amount
  std::string CCATATAN;             // note
  uint32_t DWRECNO = 0;             // record number of the item

  // The amount of the percentage discounts (DISCPERSENNILAI), as pricing computed it.
  double discount_percent_amount = 0;

  // FHARGA + FHARGAEX1 + FHARGAEX2 - FDISCNILAI - percentage discounts.
  double TOTALHITUNGPAJAK() const {
    return FHARGA + FHARGAEX1 + FHARGAEX2 - FDISCNILAI - discount_percent_amount;
  }
  double TOTAL() const { return TOTALHITUNGPAJAK() + FPAJAK; }
};

}  // namespace kt::data
