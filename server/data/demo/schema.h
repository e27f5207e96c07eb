// The reference structure of the accounting tables (fields, widths, index tags) that the demo
// data set and the tests write. The server itself never relies on it: it reads fields by name,
// orders by tag name and widths from the table header.
#pragma once

#include "server/data/demo/table_writer.h"

namespace kt::data::demo {

TableDef KontroTable();   // S_KONTRO, no index
TableDef KoncabTable();   // S_KONCAB
TableDef DivisiTable();   // S_DIVISI
TableDef MauangTable();   // S_MAUANG
TableDef MuhjbuTable();   // S_MUHJBU
TableDef GroupTable(const std::string& name);  // S_GRPSTK, S_GRPST2, S_GRPST3
TableDef KaryawTable();   // S_KARYAW
TableDef LibnasTable();   // S_LIBNAS
TableDef SatuanTable();   // S_SATUAN, no index
// S_STOCK; `character_codes` indexes KODE on KODE_C, else on KODE_N.
TableDef StockTable(bool character_codes = true);
TableDef StkproTable();   // S_STKPRO
TableDef KursmaTable();   // S_KURSMA
TableDef PelangTable();   // S_PELANG
TableDef PelstkTable();   // S_PELSTK
TableDef StkhjlTable();   // S_STKHJL

}  // namespace kt::data::demo
