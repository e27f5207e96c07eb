// Work areas on tables we create and write: structure, values, navigation in natural order,
// the writer-follows-reader contract, shared handles, threads and index changes on disk.
#include "server/data/driver/work_area.h"

#include <gtest/gtest.h>

#include "common/testing/files.h"
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include "common/coding.h"
#include "common/text/text.h"
#include "server/data/driver/file_lookup.h"
#include "server/data/driver/index_builder.h"
#include "server/data/driver/shared_file.h"

namespace kt::data {
namespace {


namespace fs = std::filesystem;


class WorkAreaTest : public testing::Test {
 protected:
  kt::test_support::ScratchFolder scratch_{"kt_driver", "workarea_"};
  const fs::path dir_ = scratch_.path();
};

const std::vector<FieldSpec> kSettingsFields = {
    {"PORT", 'N', 5, 0},       {"FOLDER", 'C', 200, 0},   {"HARGA_JUAL", 'N', 1, 0},
    {"COM_CONN", 'C', 500, 0}, {"COM_OK", 'C', 500, 0},   {"COM_FAIL", 'C', 500, 0}};

TEST_F(WorkAreaTest, CreateWritesTheHeaderOtherEnginesRead) {
  const fs::path path = dir_ / "KTVISTRD.DAT";
  ASSERT_TRUE(WorkArea::Create(path, kSettingsFields).ok());
  const std::string bytes = kt::test_support::ReadFileBytes(path);
  const std::size_t header_length = 32 + 32 * 6 + 2;
  ASSERT_EQ(bytes.size(), header_length + 1);  // header, then the end-of-file mark
  EXPECT_EQ(bytes[0], '\x03');
  EXPECT_EQ(DecodeFixedLE32(bytes.data() + 4), 0u);
  EXPECT_EQ(DecodeFixedLE16(bytes.data() + 8), header_length);
  EXPECT_EQ(DecodeFixedLE16(bytes.data() + 10), 1 + 5 + 200 + 1 + 500 * 3);
  // COM_CONN C(500): low byte of the width in the length byte, high byte in the decimals byte.
  const char* com_conn = bytes.data() + 32 + 3 * 32;
  EXPECT_EQ(std::string(com_conn, 9), std::string("COM_CONN\0", 9));
  EXPECT_EQ(com_conn[11], 'C');
  EXPECT_EQ(static_cast<uint8_t>(com_conn[16]), 500 % 256);
  EXPECT_EQ(static_cast<uint8_t>(com_conn[17]), 500 / 256);
  EXPECT_EQ(bytes[header_length - 2], '\x0D');
  EXPECT_EQ(bytes[header_length], '\x1A');

  EXPECT_TRUE(WorkArea::Create(path, kSettingsFields).IsInvalidArgument());  // never clobbers
  const std::vector<std::vector<FieldSpec>> bad = {
      {}, {{"1BAD", 'C', 5, 0}}, {{"A", 'N', 21, 0}}, {{"A", 'N', 5, 4}}, {{"A", 'D', 6, 0}},
      {{"A", 'X', 4, 0}}, {{"A", 'C', 4, 0}, {"a", 'C', 4, 0}}, {{"ELEVENCHARS", 'C', 4, 0}}};
  for (const auto& fields : bad) {
    EXPECT_TRUE(WorkArea::Create(dir_ / "BAD.DBF", fields).IsInvalidArgument());
    EXPECT_FALSE(fs::exists(dir_ / "BAD.DBF"));
  }
}

TEST_F(WorkAreaTest, AppendWriteCommitAndReadBack) {
  const fs::path path = dir_ / "KTVISTRD.DAT";
  ASSERT_TRUE(WorkArea::Create(path, kSettingsFields).ok());
  {
    auto area = WorkArea::Open(path, "KTCONFIG", {true, false, true}).value();
    EXPECT_TRUE(area->Eof());
    EXPECT_EQ(area->RecCount().value(), 0u);
    ASSERT_TRUE(area->AppendBlank().ok());
    EXPECT_EQ(area->RecNo(), 1u);
    ASSERT_TRUE(area->PutNumber("PORT", 9101).ok());
    ASSERT_TRUE(area->PutString("folder", "D:\\DATA\\").ok());
    ASSERT_TRUE(area->PutString("COM_OK", std::string(600, 'x')).ok());  // cut to 500
    EXPECT_TRUE(area->PutNumber("PORT", 123456).IsInvalidArgument());
    EXPECT_TRUE(area->PutNumber("HARGA_JUAL", -1).IsInvalidArgument());
    EXPECT_TRUE(area->PutString("PORT", "x").IsInvalidArgument());
    EXPECT_TRUE(area->PutString("NOPE", "x").IsNotFound());
    ASSERT_TRUE(area->Commit().ok());
  }
  auto area = WorkArea::Open(path, "KTCONFIG").value();
  EXPECT_EQ(area->RecCount().value(), 1u);
  EXPECT_EQ(area->GetNumber("PORT").value(), 9101);
  EXPECT_EQ(area->GetNumberText("PORT").value(), "9101");
  EXPECT_EQ(area->GetString("FOLDER").value(), "D:\\DATA\\" + std::string(192, ' '));
  EXPECT_EQ(area->GetString("COM_OK").value(), std::string(500, 'x'));
  EXPECT_EQ(area->GetNumber("HARGA_JUAL").value(), 0);  // blank reads as 0
  EXPECT_EQ(area->FieldPos("com_fail"), 6);
  EXPECT_EQ(area->FieldWidth("COM_FAIL"), 500);
  EXPECT_EQ(area->FieldPos("NOPE"), 0);
  EXPECT_EQ(area->FieldWidth("NOPE"), 0);
  EXPECT_TRUE(area->GetString("NOPE").status().IsNotFound());
  EXPECT_TRUE(area->GetDate("PORT").status().IsInvalidArgument());
  // Read-only areas refuse every write.
  EXPECT_TRUE(area->AppendBlank().IsInvalidArgument());
  EXPECT_TRUE(area->PutNumber("PORT", 1).IsInvalidArgument());
}

TEST_F(WorkAreaTest, ValuesOfEveryTypeRoundTrip) {
  const fs::path path = dir_ / "T.DBF";
  ASSERT_TRUE(WorkArea::Create(path, {{"AMT", 'N', 10, 2}, {"D", 'D', 8, 0}, {"L", 'L', 1, 0}}).ok());
  auto area = WorkArea::Open(path, "T", {true, false, true}).value();
  ASSERT_TRUE(area->AppendBlank().ok());
  ASSERT_TRUE(area->PutNumber("AMT", -25).ok());
  ASSERT_TRUE(area->PutDate("D", Date{2024, 2, 29}).ok());
  ASSERT_TRUE(area->PutLogical("L", true).ok());
  EXPECT_TRUE(area->PutDate("D", Date{2023, 2, 29}).IsInvalidArgument());
  ASSERT_TRUE(area->AppendBlank().ok());
  ASSERT_TRUE(area->PutNumber("AMT", -0.001).ok());  // rounds to zero: stored without a sign
  ASSERT_TRUE(area->SetDeleted(true).ok());
  ASSERT_TRUE(area->Commit().ok());
  ASSERT_TRUE(area->GoTo(1).ok());
  EXPECT_EQ(area->GetRaw("AMT").value(), "    -25.00");
  EXPECT_EQ(area->GetNumberText("AMT").value(), "-25.00");
  EXPECT_EQ(area->GetDate("D").value(), (Date{2024, 2, 29}));
  EXPECT_TRUE(area->GetLogical("L").value());
  EXPECT_FALSE(area->Deleted());
  ASSERT_TRUE(area->GoTo(2).ok());
  EXPECT_EQ(area->GetRaw("AMT").value(), "      0.00");
  EXPECT_TRUE(area->GetDate("D").value().blank());
  EXPECT_FALSE(area->GetLogical("L").value());
  EXPECT_TRUE(area->Deleted());
}

TEST_F(WorkAreaTest, NaturalOrderNavigation) {
  const fs::path path = dir_ / "N.DBF";
  ASSERT_TRUE(WorkArea::Create(path, {{"N", 'N', 3, 0}}).ok());
  {
    auto w = WorkArea::Open(path, "W", {true, false, true}).value();
    for (int i = 1; i <= 3; ++i) {
      ASSERT_TRUE(w->AppendBlank().ok());
      ASSERT_TRUE(w->PutNumber("N", i * 10).ok());
    }
    ASSERT_TRUE(w->Commit().ok());
  }
  auto a = WorkArea::Open(path, "A").value();
  EXPECT_EQ(a->RecNo(), 1u);
  EXPECT_FALSE(a->Eof());
  ASSERT_TRUE(a->Skip(2).ok());
  EXPECT_EQ(a->GetNumber("N").value(), 30);
  ASSERT_TRUE(a->Skip(1).ok());
  EXPECT_TRUE(a->Eof());
  EXPECT_EQ(a->RecNo(), 4u);
  EXPECT_EQ(a->GetNumber("N").value(), 0);  // the phantom record reads empty
  ASSERT_TRUE(a->Skip(-1).ok());
  EXPECT_EQ(a->RecNo(), 3u);
  ASSERT_TRUE(a->Skip(-5).ok());
  EXPECT_TRUE(a->Bof());
  EXPECT_EQ(a->RecNo(), 1u);
  ASSERT_TRUE(a->GoTo(9).ok());
  EXPECT_TRUE(a->Eof());
  EXPECT_EQ(a->RecNo(), 4u);
  EXPECT_TRUE(a->SetOrder("NOTAG").IsNotFound());
  EXPECT_TRUE(a->Seek("x").status().IsInvalidArgument());  // no order selected
}

TEST_F(WorkAreaTest, ReaderSeesRecordsAppendedByAWriter) {
  const fs::path path = dir_ / "GROW.DBF";
  ASSERT_TRUE(WorkArea::Create(path, {{"C", 'C', 4, 0}}).ok());
  auto reader = WorkArea::Open(path, "R").value();
  auto writer = WorkArea::Open(path, "W", {true, false, true}).value();
  EXPECT_EQ(reader->RecCount().value(), 0u);
  ASSERT_TRUE(writer->AppendBlank().ok());
  ASSERT_TRUE(writer->PutString("C", "abcd").ok());
  ASSERT_TRUE(writer->Commit().ok());
  EXPECT_EQ(reader->RecCount().value(), 1u);
  ASSERT_TRUE(reader->GoBottom().ok());
  EXPECT_EQ(reader->GetString("C").value(), "abcd");
  ASSERT_TRUE(writer->AppendBlank().ok());
  ASSERT_TRUE(writer->Commit().ok());
  ASSERT_TRUE(reader->Skip(1).ok());
  EXPECT_FALSE(reader->Eof());
  EXPECT_EQ(reader->RecNo(), 2u);
}

TEST_F(WorkAreaTest, FilesAreFoundIgnoringCaseAndHandlesAreShared) {
  const fs::path fixtures = fs::path(KT_TESTDATA_DIR) / "xbase";
  fs::copy_file(fixtures / "CHARKEY.G8A", dir_ / "s_stock.g8a");
  fs::copy_file(fixtures / "CHARKEY.CDX", dir_ / "S_STOCK.cdx");
  // The stored file (on Windows the file system itself ignores case, so the asked spelling works).
  const auto stock = FindFileIgnoringCase(dir_, "S_Stock.G8A");
  ASSERT_TRUE(stock);
  EXPECT_TRUE(fs::equivalent(*stock, dir_ / "s_stock.g8a")) << *stock;
  const auto index = FindFileIgnoringCase(dir_ / "S_STOCK.CDX");
  ASSERT_TRUE(index);
  EXPECT_TRUE(fs::equivalent(*index, dir_ / "S_STOCK.cdx")) << *index;
  EXPECT_FALSE(FindFileIgnoringCase(dir_, "S_STOC.G8A"));
  EXPECT_FALSE(FindFileIgnoringCase(dir_ / "nodir", "S_STOCK.G8A"));

  const std::size_t before = OpenSharedFileCount();
  std::vector<std::unique_ptr<WorkArea>> areas;
  for (int i = 0; i < 300; ++i) {
    auto a = WorkArea::Open(dir_ / "S_STOCK.G8A", "STOCK" + std::to_string(i));
    ASSERT_TRUE(a.ok()) << a.status().ToString();
    ASSERT_EQ((*a)->Tags().size(), 6u);
    areas.push_back(std::move(a).value());
  }
  EXPECT_EQ(OpenSharedFileCount(), before + 2);  // one table handle, one index handle
  areas.clear();
  EXPECT_EQ(OpenSharedFileCount(), before);

  EXPECT_TRUE(WorkArea::Open(dir_ / "NOSUCH.G8A", "X").status().IsNotFound());
  fs::remove(dir_ / "S_STOCK.cdx");  // the header promises an index that is gone
  EXPECT_TRUE(WorkArea::Open(dir_ / "S_STOCK.G8A", "X").status().IsNotFound());
  EXPECT_TRUE(WorkArea::Open(dir_ / "S_STOCK.G8A", "X", {true, true, false}).ok());
}

// Sessions seek from several threads at once, each in its own work areas on the same files.
TEST_F(WorkAreaTest, ThreadsSeekIndependently) {
  const fs::path table = fs::path(KT_TESTDATA_DIR) / "xbase" / "BIGTAB.G8A";
  auto probe = WorkArea::Open(table, "P").value();
  ASSERT_TRUE(probe->SetOrder("KEY20").ok());
  std::vector<std::pair<std::string, uint32_t>> expected;  // key -> first record in tag order
  ASSERT_TRUE(probe->GoTop().ok());
  for (int i = 0; i < 400 && !probe->Eof(); ++i) {
    const std::string key = probe->GetString("KEY20").value();
    if (expected.empty() || expected.back().first != key) expected.emplace_back(key, probe->RecNo());
    ASSERT_TRUE(probe->Skip(97).ok());
  }
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      auto area = WorkArea::Open(table, "T" + std::to_string(t)).value();
      if (!area->SetOrder("KEY20").ok()) ++mismatches;
      for (int round = 0; round < 5; ++round) {
        for (const auto& [key, recno] : expected) {
          auto found = area->Seek(key);
          if (!found.ok() || !*found || area->GetString("KEY20").value() != key) ++mismatches;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// An index rewritten in place by another program is read afresh, not from stale cached pages.
TEST_F(WorkAreaTest, IndexRewrittenInPlaceIsReadAfresh) {
#ifdef _WIN32
  GTEST_SKIP() << "moves an index file aside while it is open, which Windows refuses without delete sharing";
#endif
  const fs::path table = dir_ / "ITEMS.G8A";
  ASSERT_TRUE(WorkArea::Create(table, {{"CODE", 'C', 8, 0}}).ok());
  auto write_codes = [&](const std::vector<std::string>& codes) {
    auto w = WorkArea::Open(table, "W", {true, false, false}).value();
    for (uint32_t i = 0; i < codes.size(); ++i) {
      if (i + 1 > w->RecCount().value()) {
        ASSERT_TRUE(w->AppendBlank().ok());
      } else {
        ASSERT_TRUE(w->GoTo(i + 1).ok());
      }
      ASSERT_TRUE(w->PutString("CODE", codes[i]).ok());
    }
    ASSERT_TRUE(w->Commit().ok());
  };
  std::vector<std::string> codes;
  for (int i = 0; i < 500; ++i) codes.push_back("C" + std::to_string(1000 + i));
  write_codes(codes);
  ASSERT_TRUE(BuildCompoundIndex(table, {{"CODE", "CODE", "", false, false}}).ok());

  auto reader = WorkArea::Open(table, "R").value();
  ASSERT_TRUE(reader->SetOrder("CODE").ok());
  EXPECT_TRUE(reader->Seek("C1250").value());
  EXPECT_EQ(reader->RecNo(), 251u);

  // Another program swaps two codes and rewrites the index file in place (same inode).
  std::swap(codes[250], codes[10]);
  const std::string old_index = kt::test_support::ReadFileBytes(dir_ / "ITEMS.CDX");
  write_codes(codes);
  fs::rename(dir_ / "ITEMS.CDX", dir_ / "OLD.CDX");  // keep the open inode aside
  ASSERT_TRUE(BuildCompoundIndex(table, {{"CODE", "CODE", "", false, false}}).ok());
  const std::string new_index = kt::test_support::ReadFileBytes(dir_ / "ITEMS.CDX");
  ASSERT_EQ(new_index.size(), old_index.size());
  ASSERT_NE(new_index, old_index);
  {
    std::fstream f(dir_ / "OLD.CDX", std::ios::in | std::ios::out | std::ios::binary);
    f.write(new_index.data(), static_cast<std::streamsize>(new_index.size()));
  }
  EXPECT_TRUE(reader->Seek("C1250").value());
  EXPECT_EQ(reader->RecNo(), 11u);
  EXPECT_EQ(reader->GetString("CODE").value(), "C1250   ");
}

// An index may already hold records whose append the table header does not show yet (or that
// a pack removed): such entries are passed over, and they appear once the count includes them.
TEST_F(WorkAreaTest, IndexEntriesBeyondTheRecordCountArePassedOver) {
  const fs::path table = dir_ / "LAG.G8A";
  ASSERT_TRUE(WorkArea::Create(table, {{"CODE", 'C', 4, 0}}).ok());
  {
    auto w = WorkArea::Open(table, "W", {true, false, false}).value();
    for (const char* code : {"B", "D", "A", "C", "E"}) {
      ASSERT_TRUE(w->AppendBlank().ok());
      ASSERT_TRUE(w->PutString("CODE", code).ok());
    }
    ASSERT_TRUE(w->Commit().ok());
  }
  ASSERT_TRUE(BuildCompoundIndex(table, {{"CODE", "CODE", "", false, false}}).ok());
  auto set_count = [&](uint32_t n) {
    std::fstream f(table, std::ios::in | std::ios::out | std::ios::binary);
    char raw[4];
    EncodeFixedLE32(raw, n);
    f.seekp(4);
    f.write(raw, 4);
  };
  set_count(3);  // records 4 ("C") and 5 ("E") are not there yet
  auto area = WorkArea::Open(table, "R").value();
  ASSERT_TRUE(area->SetOrder("CODE").ok());
  std::vector<uint32_t> order;
  ASSERT_TRUE(area->GoTop().ok());
  while (!area->Eof()) {
    order.push_back(area->RecNo());
    ASSERT_TRUE(area->Skip(1).ok());
  }
  EXPECT_EQ(order, (std::vector<uint32_t>{3, 1, 2}));
  EXPECT_FALSE(area->Seek("C").value());  // soft would land on the next visible key
  EXPECT_EQ(area->RecNo(), 4u);            // end of table: count + 1
  EXPECT_TRUE(area->Seek("C", true).status().ok());
  EXPECT_EQ(area->RecNo(), 2u);  // "D"
  ASSERT_TRUE(area->GoBottom().ok());
  EXPECT_EQ(area->RecNo(), 2u);

  set_count(5);  // the writer finished
  EXPECT_TRUE(area->Seek("C").value());
  EXPECT_EQ(area->RecNo(), 4u);
  ASSERT_TRUE(area->GoBottom().ok());
  EXPECT_EQ(area->RecNo(), 5u);
}

// Seeks by code, then alternative code, then barcode, as a price lookup makes them: the first order
// that finds its key stays selected; none finding leaves the area at end of table in the last.
TEST_F(WorkAreaTest, SeekInOrdersStopsAtTheFirstOrderThatFinds) {
  const fs::path table = dir_ / "ITEMS.G8A";
  ASSERT_TRUE(WorkArea::Create(table, {{"CODE", 'C', 4, 0}, {"CODE2", 'C', 4, 0}, {"BAR", 'C', 6, 0},
                                       {"QTY", 'N', 5, 0}}).ok());
  {
    auto w = WorkArea::Open(table, "W", {true, false, false}).value();
    for (const auto& [code, code2, bar] : {std::tuple{"A1", "X1", "111111"}, std::tuple{"B2", "A1", "222222"},
                                          std::tuple{"C3", "", "333333"}}) {
      ASSERT_TRUE(w->AppendBlank().ok());
      ASSERT_TRUE(w->PutString("CODE", code).ok());
      ASSERT_TRUE(w->PutString("CODE2", code2).ok());
      ASSERT_TRUE(w->PutString("BAR", bar).ok());
    }
    ASSERT_TRUE(w->Commit().ok());
  }
  ASSERT_TRUE(BuildCompoundIndex(table, {{"CODE", "CODE", "", false, false},
                                         {"CODE2", "CODE2", "", false, false},
                                         {"BAR", "BAR", "", false, false},
                                         {"QTY", "QTY", "", false, false}})
                  .ok());
  auto area = WorkArea::Open(table, "R").value();

  struct Case {
    const char* code;
    const char* barcode;
    std::optional<std::size_t> found;
    uint32_t recno;
    const char* order;
  };
  const Case cases[] = {
      {"A1", "A1    ", 0, 1, "CODE"},       // by code, though another record has it as its second code
      {"X1", "X1    ", 1, 1, "CODE2"},      // by the second code after a miss
      {"333333", "333333", 3, 3, "BAR"},    // by barcode after two misses and a missing order
      {"ZZ", "ZZ    ", std::nullopt, 4, "BAR"},  // nowhere: end of table, RecNo() = count + 1
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const OrderSeek seeks[] = {{"CODE", c.code}, {"code2", c.code}, {"NOTAG", c.code}, {"BAR", c.barcode}};
    Result<OrderSeekResult> r = area->SeekInOrders(seeks);
    ASSERT_TRUE(r.ok()) << r.status().ToString();
    EXPECT_EQ(r->found, c.found);
    // The index has no NOTAG, which is looked up only when the seeks before it missed.
    EXPECT_EQ(r->missing, c.found && *c.found < 2 ? 0u : 1u << 2);
    EXPECT_EQ(area->Found(), c.found.has_value());
    EXPECT_EQ(area->Eof(), !c.found.has_value());
    EXPECT_EQ(area->RecNo(), c.recno);
    EXPECT_EQ(area->order(), c.order);
    if (c.found) {
      EXPECT_EQ(text::TrimRight(area->GetString("CODE").value()), c.recno == 1 ? "A1" : "C3");
    }
  }
  // A skip from the position found goes on in that order.
  ASSERT_TRUE(area->SeekInOrders(std::vector<OrderSeek>{{"CODE", "ZZ"}, {"CODE2", "A1"}}).ok());
  ASSERT_TRUE(area->Skip(1).ok());
  EXPECT_EQ(area->RecNo(), 1u);  // "X1" follows "A1" in CODE2

  // Only character keys; at least one seek and at most 32.
  EXPECT_TRUE(area->SeekInOrders(std::vector<OrderSeek>{{"QTY", "1"}}).status().IsInvalidArgument());
  EXPECT_TRUE(area->SeekInOrders({}).status().IsInvalidArgument());
  EXPECT_TRUE(area->SeekInOrders(std::vector<OrderSeek>(33, {"CODE", "A1"})).status().IsInvalidArgument());
  // No order to seek in at all: nothing found, nothing moved.
  ASSERT_TRUE(area->GoTo(2).ok());
  Result<OrderSeekResult> none = area->SeekInOrders(std::vector<OrderSeek>{{"NOTAG", "A1"}});
  ASSERT_TRUE(none.ok());
  EXPECT_FALSE(none->found);
  EXPECT_EQ(none->missing, 1u);
  EXPECT_EQ(area->RecNo(), 2u);
}

// GOTO a record, then skip in index order: the walk continues from that record's place in the
// tag, in ascending and descending tags alike.
TEST_F(WorkAreaTest, SkipAfterGoToContinuesInIndexOrder) {
  const fs::path table = fs::path(KT_TESTDATA_DIR) / "xbase" / "CHARKEY.G8A";
  auto area = WorkArea::Open(table, "C").value();
  for (const char* tag : {"CODE", "CODEDESC", "NAMEUP"}) {
    SCOPED_TRACE(tag);
    ASSERT_TRUE(area->SetOrder(tag).ok());
    std::vector<uint32_t> order;
    ASSERT_TRUE(area->GoTop().ok());
    while (!area->Eof()) {
      order.push_back(area->RecNo());
      ASSERT_TRUE(area->Skip(1).ok());
    }
    ASSERT_GT(order.size(), 100u);
    for (std::size_t at : {std::size_t{1}, std::size_t{57}, order.size() - 2}) {
      ASSERT_TRUE(area->GoTo(order[at]).ok());
      ASSERT_TRUE(area->Skip(1).ok());
      EXPECT_EQ(area->RecNo(), order[at + 1]);
      ASSERT_TRUE(area->GoTo(order[at]).ok());
      ASSERT_TRUE(area->Skip(-1).ok());
      EXPECT_EQ(area->RecNo(), order[at - 1]);
    }
  }
  // A record the FOR condition keeps out of the tag has no place to continue from.
  ASSERT_TRUE(area->SetOrder("").ok());
  uint32_t inactive = 0;
  ASSERT_TRUE(area->GoTop().ok());
  while (!area->Eof() && !inactive) {
    if (!area->GetLogical("ACTIVE").value()) inactive = area->RecNo();
    ASSERT_TRUE(area->Skip(1).ok());
  }
  ASSERT_NE(inactive, 0u);
  ASSERT_TRUE(area->SetOrder("ACTCODE").ok());
  ASSERT_TRUE(area->GoTo(inactive).ok());
  EXPECT_TRUE(area->Skip(1).IsInvalidArgument());
}

TEST_F(WorkAreaTest, ExclusiveOpeningExcludesSharedOnes) {
  const fs::path path = dir_ / "EXCL.DBF";
  ASSERT_TRUE(WorkArea::Create(path, {{"C", 'C', 4, 0}}).ok());
  const OpenOptions exclusive{false, false, true};
  {
    auto sole = WorkArea::Open(path, "SOLE", exclusive);
    ASSERT_TRUE(sole.ok()) << sole.status().ToString();
    EXPECT_TRUE(WorkArea::Open(path, "OTHER").status().IsUnavailable());
    EXPECT_TRUE(WorkArea::Open(path, "OTHER", exclusive).status().IsUnavailable());
  }
  auto shared = WorkArea::Open(path, "A").value();
  auto shared_too = WorkArea::Open(path, "B", {true, false, true}).value();
  EXPECT_TRUE(WorkArea::Open(path, "SOLE", exclusive).status().IsUnavailable());
}

}  // namespace
}  // namespace kt::data
