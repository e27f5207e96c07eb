#include "server/data/demo/schema.h"

#include <cstdio>

namespace kt::data::demo {

namespace {

FieldSpec C(std::string name, uint16_t width) { return {std::move(name), 'C', width, 0}; }
FieldSpec N(std::string name, uint16_t width, uint8_t decimals = 0) {
  return {std::move(name), 'N', width, decimals};
}
FieldSpec L(std::string name) { return {std::move(name), 'L', 1, 0}; }
FieldSpec D(std::string name) { return {std::move(name), 'D', 8, 0}; }

std::string Two(int n) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d", n);
  return buffer;
}

// The five price levels of S_STOCK and S_STKPRO.
void AddPriceLevels(std::vector<FieldSpec>& fields) {
  for (int level = 1; level <= 5; ++level) {
    const std::string nn = Two(level);
    fields.push_back(N("MU_H_J_" + nn, 3));
    fields.push_back(N("HARGA_J_" + nn, 17, 2));
    fields.push_back(N("HGEX1_J_" + nn, 17, 2));
    fields.push_back(N("HGEX2_J_" + nn, 17, 2));
    fields.push_back(N("JML_J_" + nn, 12, 3));
    fields.push_back(N("SAT_J_" + nn, 5));
    fields.push_back(N("DISC1_J_" + nn, 6, 2));
    fields.push_back(N("DISC2_J_" + nn, 6, 2));
    fields.push_back(N("DISC3_J_" + nn, 6, 2));
  }
}

TableDef IdTable(std::string name, std::vector<FieldSpec> fields) {
  return {std::move(name), std::move(fields), {{"ID", "ID", "", false, false}}};
}

}  // namespace

TableDef KontroTable() {
  std::vector<FieldSpec> f = {
      N("VERSI", 5),       L("STK_K_CHR"),  C("STK_K_CLR", 10), L("STK_K_CLR2"), L("STK_K_MUL"),
      L("STK_KODE2U"),     L("STK_GD_AKT"), N("PJECR_GUD", 2),  C("STK_PICT", 20), L("STK_K_SAT"),
      N("STK_SAT_D", 1),   L("STK_H_JL2"),  L("STK_H_JL3"),     L("STK_H_JL4"),  L("STK_H_JL5"),
      N("PJECR_MU", 3),    C("PJ_HAR_EX1", 20), C("PJ_HAR_EX2", 20), N("PJECR_PJK", 6, 2),
      L("ROUND_DEC"),      L("PJ_HAR_BL2"), L("PJ_HAR_BL3"),    L("PENJ_DISC2"), L("PENJ_DISC3"),
      L("PENJ_DISCM"),     L("PENJ_DISCI"), L("PENJ_DISCB"),    L("PENJ_DISCA"),
  };
  for (int n = 1; n <= 30; ++n) f.push_back(C("NM_GUD_" + Two(n), 20));
  f.push_back(C("PJECR_SKDT", 2));
  f.push_back(C("PJECR_SKQT", 2));
  f.push_back(N("PJECR_SKDL", 2));
  f.push_back(N("PJECR_SKQL", 2));
  for (int n = 1; n <= 4; ++n) f.push_back(N("PJECR_SKH" + std::to_string(n), 2));
  for (int n = 1; n <= 4; ++n) f.push_back(N("PJECR_SKQ" + std::to_string(n), 2));
  return {"S_KONTRO", std::move(f), {}};
}

TableDef KoncabTable() { return IdTable("S_KONCAB", {N("ID", 3), C("NAMA", 40)}); }

TableDef DivisiTable() {
  return IdTable("S_DIVISI", {N("ID", 3), C("DIVISI", 30), N("HARGA_JUAL", 1), N("GRPHJL_ID", 3)});
}

TableDef MauangTable() {
  return IdTable("S_MAUANG", {N("ID", 3), C("KODE", 3), C("MATA_UANG", 20), C("TERB_CENT", 30),
                              C("TERB_MU", 30), L("MU_KALI"), N("DECIMAL", 1), L("KM_AUTO_PY"),
                              L("KK_AUTO_PY")});
}

TableDef MuhjbuTable() {
  return {"S_MUHJBU",
          {N("MAUANG_ID", 3), N("NILAI_1", 17, 2), N("NILAI_2", 17, 2), N("NILAI", 17, 2)},
          {{"MAUANG_NIL", "STRZERO(MAUANG_ID,3)+STR(NILAI_1,17,2)", "", false, false}}};
}

TableDef GroupTable(const std::string& name) {
  return IdTable(name, {N("ID", 5), C("NAMA", 30), L("HIDE_JUAL")});
}

TableDef KaryawTable() { return IdTable("S_KARYAW", {N("ID", 5), C("NAMA", 40)}); }

TableDef LibnasTable() {
  return {"S_LIBNAS", {D("TANGGAL"), C("KETERANGAN", 40)}, {{"TANGGAL", "TANGGAL", "", false, false}}};
}

TableDef SatuanTable() {
  std::vector<FieldSpec> f = {C("SATUAN_TXT", 20), N("SATUAN_VAL", 5)};
  for (int n = 1; n <= 10; ++n) {
    f.push_back(C("SAT_" + Two(n) + "_TXT", 10));
    f.push_back(N("SAT_" + Two(n) + "_VAL", 5));
    f.push_back(N("SAT_" + Two(n) + "_SAT", 12, 3));
  }
  return {"S_SATUAN", std::move(f), {}};
}

TableDef StockTable(bool character_codes) {
  std::vector<FieldSpec> f = {
      N("ID", 10),       C("KODE_C", 20),  C("KODE_N", 15),  C("KODE_2", 20),    C("KODE_3", 20),
      C("KODE_4", 20),   C("KODE_5", 20),  C("BARCODE", 25), C("NAMA", 60),      C("NAMAEX1", 30),
      C("NAMAEX2", 30),  C("QUAN_PICT", 20), L("ITM_PENJEC"), L("HIDE"),
  };
  for (int n = 1; n <= 30; ++n) f.push_back(L("GUDANG_" + Two(n)));
  f.push_back(N("TIPE_SATU", 5));
  f.push_back(N("SAT_ECR", 5));
  for (int n = 1; n <= 10; ++n) f.push_back(N("SAT_K_" + Two(n), 12, 3));
  f.push_back(L("NON_PAJAK"));
  f.push_back(N("KURS_JUAL", 1));
  AddPriceLevels(f);
  std::vector<TagSpec> tags = {
      {"KODE", character_codes ? "UPPER(KODE_C)" : "UPPER(KODE_N)", "", false, false},
      {"KODE_2", "UPPER(KODE_2)", "", false, false},
      {"KODE_3", "UPPER(KODE_3)", "", false, false},
      {"KODE_4", "UPPER(KODE_4)", "", false, false},
      {"KODE_5", "UPPER(KODE_5)", "", false, false},
      {"BARCODE", "UPPER(BARCODE)", "", false, false},
      {"ID", "ID", "", false, false},
  };
  return {"S_STOCK", std::move(f), std::move(tags)};
}

TableDef StkproTable() {
  std::vector<FieldSpec> f = {N("STOCK_ID", 10), N("TIPE_PRO", 1), D("TANGGAL_1"), D("TANGGAL_2"),
                              C("HARI", 8),      N("PUKUL_1", 4),  N("PUKUL_2", 4)};
  AddPriceLevels(f);
  f.push_back(N("DISC_PERS1", 6, 2));
  f.push_back(N("DISC_PERS2", 6, 2));
  f.push_back(N("DISC_PERS3", 6, 2));
  f.push_back(N("MU_DISC_NL", 3));
  f.push_back(N("DISC_NILAI", 17, 2));
  f.push_back(N("DISC_SAT", 5));
  const std::string key = "STRZERO(STOCK_ID,10)+DTOS(TANGGAL_1)";
  return {"S_STKPRO",
          std::move(f),
          {{"STOCK_TGL1", key, "TIPE_PRO=1", false, false},
           {"STOCK_TGL2", key, "TIPE_PRO=2", false, false},
           {"STOCK_TGL3", key, "TIPE_PRO=3", false, false}}};
}

TableDef KursmaTable() {
  return {"S_KURSMA",
          {N("MAUANG_ID", 3), D("TANGGAL"), C("MUL_PUKUL", 5), N("KURS_BELI", 17, 4), N("KURS_JUAL", 17, 4),
           N("KURS_JUAL2", 17, 4), N("KURS_JUAL3", 17, 4), N("KURS_JUAL4", 17, 4), N("KURS_JUAL5", 17, 4),
           N("KURS_PAJAK", 17, 4), N("KURS_BUKU", 17, 4)},
          {{"MU_TGL_PK", "STRZERO(MAUANG_ID,3)+DTOS(TANGGAL)+MUL_PUKUL", "", false, false}}};
}

TableDef PelangTable() { return IdTable("S_PELANG", {N("ID", 10), C("NAMA", 40)}); }

TableDef PelstkTable() {
  return {"S_PELSTK", {N("PELANG_ID", 10), N("STOCK_ID", 10), N("HARGA", 17, 2)},
          {{"STOCK", "STRZERO(STOCK_ID,10)", "", false, false}}};
}

TableDef StkhjlTable() {
  return {"S_STKHJL", {N("GRPHJL_ID", 3), N("STOCK_ID", 10), N("HARGA", 17, 2)},
          {{"STOCK", "STRZERO(STOCK_ID,10)", "", false, false}}};
}

}  // namespace kt::data::demo
