#include "server/data/database.h"

#include <algorithm>
#include <array>
#include <functional>

#include "server/data/data_folder.h"
#include "server/data/driver/work_area.h"
#include "server/data/field_access.h"
#include "server/data/messages.h"

namespace kt::data {

namespace {

Status OpenFailed(std::string_view table) {
  return Status::IOError(std::string(msg::kOpenFailedPrefix) + std::string(table) +
                         std::string(msg::kOpenFailedSuffix));
}

// The error box keeps the operator text; the scan list gets the same failure with its cause.
Status OpenFailed(std::string_view table, const Status& cause, EventSink& sink) {
  sink.ScanInfo(msg::OpenFailedLine(table, cause.message()));
  return OpenFailed(table);
}

// The tables a database open needs, in the order they are opened.
constexpr std::array<std::string_view, 11> kMainTables = {
    "S_KONTRO", "S_KONCAB", "S_DIVISI", "S_MAUANG", "S_MUHJBU", "S_GRPSTK",
    "S_GRPST2", "S_GRPST3", "S_KARYAW", "S_LIBNAS", "S_STOCK"};
enum MainTable { kKontro, kKoncab, kDivisi, kMauang, kMuhjbu, kGrpstk, kGrpst2, kGrpst3, kKaryaw, kLibnas, kStock };

// Reads every record that is not deleted, in the order of `tag` (natural order when the table has
// no such tag). A read failure is reported as the table's open failure.
Status ForEachRecord(WorkArea& area, std::string_view table, std::string_view tag,
                     const std::function<void(const WorkArea&)>& read) {
  const Status ordered = area.SetOrder(tag);
  if (!ordered.ok() && !area.SetOrder("").ok()) return OpenFailed(table);
  if (!area.GoTop().ok()) return OpenFailed(table);
  while (!area.Eof()) {
    if (!area.Deleted()) read(area);
    if (!area.Skip(1).ok()) return OpenFailed(table);
  }
  return Status::Ok();
}

std::vector<ItemGroup> ReadGroups(WorkArea& area, std::string_view table, EventSink& sink, Status& status) {
  std::vector<ItemGroup> groups;
  status = ForEachRecord(area, table, "ID", [&](const WorkArea& a) {
    groups.push_back({ToInt64(FieldNumber(a, "ID", sink)), FieldTrimmed(a, "NAMA", sink),
                      FieldLogical(a, "HIDE_JUAL", sink)});
  });
  return groups;
}

// The width of a field the server depends on; a missing one fails the open with its message.
Result<uint16_t> MeasureWidth(const WorkArea& area, std::string_view field) {
  if (area.FieldPos(field) == 0) return Status::Corruption(MissingFieldWidthMessage(area.alias(), field));
  return static_cast<uint16_t>(area.FieldWidth(field));
}

}  // namespace

Result<std::shared_ptr<const DatabaseSnapshot>> LoadDatabase(const std::filesystem::path& data_folder,
                                                             EventSink& sink) {
  auto db = std::make_shared<DatabaseSnapshot>();
  db->data_folder = data_folder;

  std::array<std::unique_ptr<WorkArea>, kMainTables.size()> areas;
  for (std::size_t i = 0; i < kMainTables.size(); ++i) {
    auto opened = WorkArea::Open(TablePath(data_folder, kMainTables[i]), std::string(kMainTables[i]));
    if (!opened.ok()) return OpenFailed(kMainTables[i], opened.status(), sink);
    areas[i] = std::move(opened).value();
  }

  auto kontro = LoadDbKontro(*areas[kKontro], sink);
  if (!kontro.ok()) return OpenFailed(kMainTables[kKontro], kontro.status(), sink);
  db->kontro = std::move(kontro).value();
  if (db->kontro.VERSI < kMinimumDataVersion) return Status::InvalidArgument(std::string(msg::kVersionTooOld));

  {
    auto satuan = WorkArea::Open(TablePath(data_folder, "S_SATUAN"), "KTTABLE");
    if (!satuan.ok()) return OpenFailed("S_SATUAN", satuan.status(), sink);
    auto units = ReadUnitSets(**satuan, sink);
    if (!units.ok()) return OpenFailed("S_SATUAN", units.status(), sink);
    db->units = std::move(units->sets);
  }

  KT_RETURN_IF_ERROR(ForEachRecord(*areas[kDivisi], kMainTables[kDivisi], "ID", [&](const WorkArea& a) {
    db->ALISTDIVISI.push_back({ToInt64(FieldNumber(a, "ID", sink)), FieldTrimmed(a, "DIVISI", sink),
                               static_cast<int>(ToInt64(FieldNumber(a, "HARGA_JUAL", sink))),
                               ToInt64(FieldNumber(a, "GRPHJL_ID", sink))});
  }));
  KT_RETURN_IF_ERROR(ForEachRecord(*areas[kMauang], kMainTables[kMauang], "ID", [&](const WorkArea& a) {
    Currency c;
    c.id = ToInt64(FieldNumber(a, "ID", sink));
    c.code = FieldTrimmed(a, "KODE", sink);
    c.name = FieldTrimmed(a, "MATA_UANG", sink);
    c.words_cent = FieldTrimmed(a, "TERB_CENT", sink);
    c.words_unit = FieldTrimmed(a, "TERB_MU", sink);
    c.multiply = FieldLogical(a, "MU_KALI", sink);
    c.decimals = static_cast<int>(ToInt64(FieldNumber(a, "DECIMAL", sink)));
    c.km_auto = FieldLogical(a, "KM_AUTO_PY", sink);
    c.kk_auto = FieldLogical(a, "KK_AUTO_PY", sink);
    db->ALISTMAUANG.push_back(std::move(c));
  }));
  KT_RETURN_IF_ERROR(ForEachRecord(*areas[kMuhjbu], kMainTables[kMuhjbu], "MAUANG_NIL", [&](const WorkArea& a) {
    db->ALISTMUHJBU.push_back({ToInt64(FieldNumber(a, "MAUANG_ID", sink)), FieldNumber(a, "NILAI_1", sink),
                               FieldNumber(a, "NILAI_2", sink), FieldNumber(a, "NILAI", sink)});
  }));
  Status groups_read;
  db->ALISTGRPSTK = ReadGroups(*areas[kGrpstk], kMainTables[kGrpstk], sink, groups_read);
  KT_RETURN_IF_ERROR(groups_read);
  db->ALISTGRPST2 = ReadGroups(*areas[kGrpst2], kMainTables[kGrpst2], sink, groups_read);
  KT_RETURN_IF_ERROR(groups_read);
  db->ALISTGRPST3 = ReadGroups(*areas[kGrpst3], kMainTables[kGrpst3], sink, groups_read);
  KT_RETURN_IF_ERROR(groups_read);
  KT_RETURN_IF_ERROR(ForEachRecord(*areas[kKaryaw], kMainTables[kKaryaw], "ID", [&](const WorkArea& a) {
    db->ALISTKARYAW.push_back({ToInt64(FieldNumber(a, "ID", sink)), FieldTrimmed(a, "NAMA", sink)});
  }));
  KT_RETURN_IF_ERROR(ForEachRecord(*areas[kLibnas], kMainTables[kLibnas], "TANGGAL", [&](const WorkArea& a) {
    const Date day = FieldDate(a, "TANGGAL", sink);
    if (!day.blank()) db->ALISTLIBNAS.push_back(day);
  }));
  std::sort(db->ALISTLIBNAS.begin(), db->ALISTLIBNAS.end());

  KT_ASSIGN_OR_RETURN(db->WLENSTOCKKODEC, MeasureWidth(*areas[kStock], "KODE_C"));
  KT_ASSIGN_OR_RETURN(db->WLENSTOCKKODEN, MeasureWidth(*areas[kStock], "KODE_N"));
  // The work areas close here; the lists stay in memory.
  return std::shared_ptr<const DatabaseSnapshot>(std::move(db));
}

bool DBMAINOPEN(GLOBALVARIABLE& globals, EventSink& sink) {
  globals.SetDatabaseOpen(false);
  const std::string folder = globals.DBFOLDER();
  if (folder.empty()) {
    sink.ErrorBox(msg::kLocationNotSet);
    return false;
  }
  auto loaded = LoadDatabase(folder, sink);
  if (!loaded.ok()) {
    sink.ErrorBox(loaded.status().message());
    return false;
  }
  globals.PublishDatabase(std::move(loaded).value());
  globals.SetDatabaseOpen(true);
  return true;
}

}  // namespace kt::data
