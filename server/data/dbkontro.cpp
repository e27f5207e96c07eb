#include "server/data/dbkontro.h"

#include <cstdio>

#include "server/data/driver/work_area.h"
#include "server/data/field_access.h"

namespace kt::data {

namespace {

std::string TwoDigits(int n) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d", n);
  return buffer;
}

}  // namespace

std::string DBKONTRO::WarehouseName(int warehouse) const {
  if (warehouse == 0) return "---";
  if (warehouse >= 1 && warehouse <= kWarehouseCount) return warehouse_names[warehouse - 1];
  return "###";
}

Result<DBKONTRO> LoadDbKontro(WorkArea& kontro, EventSink& sink) {
  KT_RETURN_IF_ERROR(kontro.SetOrder(""));
  KT_RETURN_IF_ERROR(kontro.GoTop());
  const WorkArea& area = kontro;
  auto text = [&](std::string_view f) { return FieldTrimmed(area, f, sink); };
  auto logical = [&](std::string_view f) { return FieldLogical(area, f, sink); };
  auto number = [&](std::string_view f) { return FieldNumber(area, f, sink); };

  DBKONTRO k;
  k.VERSI = static_cast<int>(ToInt64(number("VERSI")));
  k.LSTOCKKODECHR = logical("STK_K_CHR");
  k.CSTOCKKODECLEAR = text("STK_K_CLR");
  k.LSTOCKKODECLEARALL = logical("STK_K_CLR2");
  k.LSTOCKMULTIKODE = logical("STK_K_MUL");
  k.LSTOCKKODE2USETRANSAKSI = logical("STK_KODE2U");
  k.LSTOCKGUDANGAKTIVASI = logical("STK_GD_AKT");
  k.WPENJECERANGUDANG = ToId16(number("PJECR_GUD"));
  k.CSTOCKQUANPICTURE = text("STK_PICT");
  k.LSTOCKKONVSATUAN = logical("STK_K_SAT");
  k.WSTOCKSATUANDECIMAL = ToId16(number("STK_SAT_D"));
  for (int level = 2; level <= 5; ++level) {
    k.LSTOCKHARGAJUAL[level] = logical("STK_H_JL" + std::to_string(level));
  }
  k.WPENJECERANMU = ToId16(number("PJECR_MU"));
  k.CPENJUALANHARGAEX1 = text("PJ_HAR_EX1");
  k.CPENJUALANHARGAEX2 = text("PJ_HAR_EX2");
  k.FPENJECERANPAJAKITEMPERSEN = number("PJECR_PJK");
  k.LROUNDDECIMALMU = logical("ROUND_DEC");
  k.LPENJUALANHARGABULAT2 = logical("PJ_HAR_BL2");
  k.LPENJUALANHARGABULAT3 = logical("PJ_HAR_BL3");
  k.LPENJUALANDISCOUNT2 = logical("PENJ_DISC2");
  k.LPENJUALANDISCOUNT3 = logical("PENJ_DISC3");
  k.LPENJUALANDISC23INDEPEND = logical("PENJ_DISCM");
  k.LPENJUALANDISC23WITHOUT1 = logical("PENJ_DISCI");
  k.LPENJUALANDISCBULAT = logical("PENJ_DISCB");
  k.LPENJUALANDISCPERSAFTERDISCN = logical("PENJ_DISCA");
  for (int n = 1; n <= kWarehouseCount; ++n) k.warehouse_names[n - 1] = text("NM_GUD_" + TwoDigits(n));
  k.PJECR_SKDT = text("PJECR_SKDT");
  k.PJECR_SKQT = text("PJECR_SKQT");
  k.PJECR_SKDL = static_cast<int>(ToInt64(number("PJECR_SKDL")));
  k.PJECR_SKQL = static_cast<int>(ToInt64(number("PJECR_SKQL")));
  for (int n = 1; n <= 4; ++n) {
    k.PJECR_SKH[n - 1] = static_cast<int>(ToInt64(number("PJECR_SKH" + std::to_string(n))));
    k.PJECR_SKQ[n - 1] = static_cast<int>(ToInt64(number("PJECR_SKQ" + std::to_string(n))));
  }
  return k;
}

}  // namespace kt::data
