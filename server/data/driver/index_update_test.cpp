// Index maintenance by the table writer, against an in-memory model: random appends, key changes,
// FOR-condition changes and deletions, with the whole index checked (structure and every key of
// every record) after each batch, the unique tag compared entry by entry with the model's history,
// and orders and seeks read back through a separate reader work area.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <random>
#include <set>

#include "common/testing/files.h"
#include "server/data/driver/file_lookup.h"
#include "server/data/driver/index_builder.h"
#include "server/data/driver/index_check.h"
#include "server/data/driver/shared_file.h"
#include "server/data/driver/work_area.h"
#include "server/data/driver/xbase_locks.h"
#include "common/coding.h"

namespace kt::data {
namespace {

namespace fs = std::filesystem;

struct Row {
  std::string code;  // C(10)
  std::string name;  // C(24)
  double amount = 0;
  Date tgl;
  int grp = 0;
  bool flag = false;
  bool deleted = false;
};

std::string Pad(std::string s, std::size_t w) {
  s.resize(w, ' ');
  return s;
}
std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

const std::vector<FieldSpec> kFields = {{"CODE", 'C', 10, 0}, {"NAME", 'C', 24, 0},
                                        {"AMOUNT", 'N', 10, 2}, {"TGL", 'D', 8, 0},
                                        {"GRP", 'N', 2, 0},     {"FLAG", 'L', 1, 0}};

// Every kind of tag a writer must keep: character, numeric, date and logical keys, descending,
// unique, FOR conditions (one on the deleted flag), and keys long enough for deep trees and wide
// leaf entries.
const std::vector<TagSpec> kTags = {
    {"CODE", "UPPER(CODE)", "", false, false},
    {"CODED", "CODE", "", true, false},
    {"UCODE", "LEFT(CODE,3)", "", false, true},
    {"AMT", "AMOUNT", "", false, false},
    {"GRP1", "CODE", "GRP=1", false, false},
    {"LIVE", "CODE+NAME", ".NOT. DELETED()", false, false},
    {"DT", "DTOS(TGL)+STR(GRP,2)", "", true, false},
    {"FLAGS", "FLAG", "", false, false},
    {"WIDE", "NAME+NAME+NAME+NAME+NAME+NAME", "", false, false},
};

class Model {
 public:
  explicit Model(uint32_t seed) : rng_(seed) {}

  Row RandomRow() {
    Row r;
    r.code = RandomCode();
    r.name = Pad(Pick(4) == 0 ? "" : "N" + RandomCode(), 24);
    r.amount = (static_cast<int>(rng_() % 200001) - 100000) / 100.0;
    r.tgl = Pick(8) == 0 ? Date{} : Date::FromJulianDay(2460000 + Pick(400));
    r.grp = Pick(4);
    r.flag = Pick(2) == 0;
    return r;
  }
  // Short codes over few letters: many duplicates, shared prefixes, lower case and blanks.
  std::string RandomCode() {
    static const char kLetters[] = "aAbB1C";
    std::string s;
    const int len = Pick(8);
    for (int i = 0; i < len; ++i) s.push_back(kLetters[Pick(6)]);
    return Pad(s, 10);
  }
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

  std::vector<Row> rows;
  std::map<std::string, uint32_t> unique_keys;  // UCODE as the writer keeps it: key -> record

  static std::string UniqueKey(const Row& r) { return r.code.substr(0, 3); }
  void Added(uint32_t recno) {
    unique_keys.emplace(UniqueKey(rows[recno - 1]), recno);  // kept when the key is there already
  }
  void Changed(uint32_t recno, const Row& before) {
    const std::string was = UniqueKey(before), now = UniqueKey(rows[recno - 1]);
    if (was == now) return;
    if (auto it = unique_keys.find(was); it != unique_keys.end() && it->second == recno) {
      unique_keys.erase(it);
    }
    unique_keys.emplace(now, recno);
  }

 private:
  std::mt19937 rng_;
};

Status Write(WorkArea& area, const Row& r) {
  KT_RETURN_IF_ERROR(area.PutString("CODE", r.code));
  KT_RETURN_IF_ERROR(area.PutString("NAME", r.name));
  KT_RETURN_IF_ERROR(area.PutNumber("AMOUNT", r.amount));
  KT_RETURN_IF_ERROR(area.PutDate("TGL", r.tgl));
  KT_RETURN_IF_ERROR(area.PutNumber("GRP", r.grp));
  KT_RETURN_IF_ERROR(area.PutLogical("FLAG", r.flag));
  return area.SetDeleted(r.deleted);
}

class IndexUpdateTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WorkArea::Create(table_, kFields).ok());
    {
      auto w = WorkArea::Open(table_, "INIT", OpenOptions{true, false, false});
      ASSERT_TRUE(w.ok()) << w.status().ToString();
      for (int i = 0; i < 150; ++i) {
        model_.rows.push_back(model_.RandomRow());
        ASSERT_TRUE((*w)->AppendBlank().ok());
        ASSERT_TRUE(Write(**w, model_.rows.back()).ok());
      }
      ASSERT_TRUE((*w)->Commit().ok());
    }
    for (uint32_t r = 1; r <= model_.rows.size(); ++r) model_.Added(r);
    ASSERT_TRUE(BuildCompoundIndex(table_, kTags).ok());
    auto w = WorkArea::Open(table_, "WRITER", OpenOptions{true, false, true});
    ASSERT_TRUE(w.ok()) << w.status().ToString();
    writer_ = std::move(w).value();
    auto r = WorkArea::Open(table_, "READER");
    ASSERT_TRUE(r.ok()) << r.status().ToString();
    reader_ = std::move(r).value();
  }

  // One random change through the writer, mirrored in the model.
  void RandomChange() {
    const int kind = model_.Pick(20);
    if (kind < 6 || model_.rows.empty()) {
      model_.rows.push_back(model_.RandomRow());
      ASSERT_TRUE(writer_->AppendBlank().ok());
      ASSERT_TRUE(Write(*writer_, model_.rows.back()).ok());
      ASSERT_TRUE(writer_->GoTo(static_cast<uint32_t>(model_.rows.size())).ok());  // flushes
      model_.Added(static_cast<uint32_t>(model_.rows.size()));
      return;
    }
    const auto recno = static_cast<uint32_t>(model_.Pick(static_cast<int>(model_.rows.size())) + 1);
    Row& row = model_.rows[recno - 1];
    const Row before = row;
    if (kind < 12) row.code = model_.RandomCode();
    else if (kind < 14) row.name = Pad(model_.Pick(3) ? "N" + model_.RandomCode() : "", 24);
    else if (kind < 15) row.amount = (model_.Pick(20001) - 10000) / 10.0;
    else if (kind < 17) row.deleted = !row.deleted;
    else if (kind < 19) row.grp = model_.Pick(4);
    else {
      row.flag = !row.flag;
      row.tgl = Date::FromJulianDay(2460000 + model_.Pick(400));
    }
    ASSERT_TRUE(writer_->GoTo(recno).ok());
    ASSERT_TRUE(Write(*writer_, row).ok());
    ASSERT_TRUE(writer_->GoTo(recno).ok());  // flushes
    model_.Changed(recno, before);
  }

  void CheckAll(const std::string& when) {
    SCOPED_TRACE(when);
    const Status check = CheckCompoundIndex(table_);
    ASSERT_TRUE(check.ok()) << check.ToString();

    // The unique tag holds exactly the keys the model's history says, with their records.
    ASSERT_TRUE(reader_->SetOrder("UCODE").ok());
    std::vector<uint32_t> got, want;
    ASSERT_TRUE(reader_->GoTop().ok());
    while (!reader_->Eof()) {
      got.push_back(reader_->RecNo());
      ASSERT_TRUE(reader_->Skip(1).ok());
    }
    for (const auto& [key, recno] : model_.unique_keys) want.push_back(recno);
    EXPECT_EQ(got, want);

    // The descending tag presents the model's order reversed.
    std::vector<uint32_t> order(model_.rows.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i + 1;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      return model_.rows[a - 1].code < model_.rows[b - 1].code;
    });
    std::reverse(order.begin(), order.end());
    ASSERT_TRUE(reader_->SetOrder("CODED").ok());
    got.clear();
    ASSERT_TRUE(reader_->GoTop().ok());
    while (!reader_->Eof()) {
      got.push_back(reader_->RecNo());
      ASSERT_TRUE(reader_->Skip(1).ok());
    }
    EXPECT_EQ(got, order);

    // Seeks of present and absent codes find the first record of the code, or nothing.
    ASSERT_TRUE(reader_->SetOrder("CODE").ok());
    for (int i = 0; i < 20; ++i) {
      const std::string code = Upper(i % 2 && !model_.rows.empty()
                                         ? model_.rows[model_.Pick(static_cast<int>(model_.rows.size()))].code
                                         : model_.RandomCode());
      uint32_t first = 0;
      for (uint32_t r = 1; r <= model_.rows.size() && !first; ++r) {
        if (Upper(model_.rows[r - 1].code) == code) first = r;
      }
      auto found = reader_->Seek(code);
      ASSERT_TRUE(found.ok()) << found.status().ToString();
      EXPECT_EQ(*found, first != 0) << "code [" << code << "]";
      if (first) {
        EXPECT_EQ(reader_->RecNo(), first) << "code [" << code << "]";
      }
    }
  }

  uint64_t IndexSize() const {
    return fs::file_size(*FindFileIgnoringCase(dir_, "ITEMS.CDX"));
  }

  kt::test_support::ScratchFolder scratch_{"kt_driver", "indexupdate_"};
  const fs::path dir_ = scratch_.path();
  const fs::path table_ = dir_ / "ITEMS.G8A";
  Model model_{20261210};
  std::unique_ptr<WorkArea> writer_;
  std::unique_ptr<WorkArea> reader_;
};

TEST_F(IndexUpdateTest, RandomChangesKeepEveryTagLikeTheModel) {
  CheckAll("after the bulk build");
  for (int batch = 0; batch < 60; ++batch) {
    for (int i = 0; i < 40; ++i) {
      RandomChange();
      if (HasFatalFailure()) return;
    }
    ASSERT_TRUE(writer_->Commit().ok());
    CheckAll("batch " + std::to_string(batch));
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(model_.rows.size(), 800u);
}

// Emptying tags down to their root leaf and filling them again: nodes join, roots collapse, the
// freed pages go to the free list and are used again instead of growing the file.
TEST_F(IndexUpdateTest, TagsShrinkToEmptyAndGrowIntoFreedPages) {
  for (int i = 0; i < 700; ++i) {
    model_.rows.push_back(model_.RandomRow());
    model_.rows.back().grp = 1;
    ASSERT_TRUE(writer_->AppendBlank().ok());
    ASSERT_TRUE(Write(*writer_, model_.rows.back()).ok());
    model_.Added(static_cast<uint32_t>(model_.rows.size()));
  }
  ASSERT_TRUE(writer_->Commit().ok());
  CheckAll("grown");
  const uint64_t grown = IndexSize();

  auto set_all = [&](int grp, bool deleted) {
    for (uint32_t r = 1; r <= model_.rows.size(); ++r) {
      model_.rows[r - 1].grp = grp;
      model_.rows[r - 1].deleted = deleted;
      ASSERT_TRUE(writer_->GoTo(r).ok());
      ASSERT_TRUE(writer_->PutNumber("GRP", grp).ok());
      ASSERT_TRUE(writer_->SetDeleted(deleted).ok());
    }
    ASSERT_TRUE(writer_->Commit().ok());
  };
  set_all(0, true);  // GRP1 and LIVE lose every entry
  CheckAll("emptied");
  ASSERT_TRUE(reader_->SetOrder("GRP1").ok());
  ASSERT_TRUE(reader_->GoTop().ok());
  EXPECT_TRUE(reader_->Eof());
  EXPECT_LE(IndexSize(), grown + 4 * 512);  // tag DT changes keys too: a split or two

  set_all(1, false);
  CheckAll("filled again");
  EXPECT_LE(IndexSize(), grown + 8 * 512) << "freed pages were not used again";
}

// Appending records whose numbers outgrow the leaves' record bits: the leaves widen their
// entries. (Tag WIDE has 144-byte keys, whose entries hold 8 record bits at 3 bytes.)
TEST_F(IndexUpdateTest, WriterAndReaderAgreeOnSeeksWhileRecordNumbersGrow) {
  for (int i = 0; i < 400; ++i) {
    model_.rows.push_back(model_.RandomRow());
    ASSERT_TRUE(writer_->AppendBlank().ok());
    ASSERT_TRUE(Write(*writer_, model_.rows.back()).ok());
    model_.Added(static_cast<uint32_t>(model_.rows.size()));
    if (i % 100 == 99) {
      ASSERT_TRUE(writer_->Commit().ok());
      CheckAll("appended " + std::to_string(i + 1));
    }
  }
  // The writer's own order follows its changes.
  ASSERT_TRUE(writer_->SetOrder("CODE").ok());
  const std::string code = Upper(model_.rows.back().code);
  auto found = writer_->Seek(code);
  ASSERT_TRUE(found.ok());
  EXPECT_TRUE(*found);
}

// A reader holding the index's shared lock (another handle, as another program would) keeps the
// writer's key change out until it lets go; then the change lands and the counter has moved.
TEST_F(IndexUpdateTest, KeyChangesWaitForReadersHoldingTheIndexLock) {
  const fs::path cdx = *FindFileIgnoringCase(dir_, "ITEMS.CDX");
  auto counter = [&] {
    const std::string bytes = kt::test_support::ReadFileBytes(cdx);
    return DecodeFixedBE32(bytes.data() + 8);
  };
  const uint32_t before = counter();
  auto other = OpenSharedFile(cdx, /*writable=*/false);
  ASSERT_TRUE(other.ok());
  ASSERT_TRUE((*other)->LockRange(kIndexFileLock.offset, kIndexFileLock.length, false).ok());
  auto change = std::async(std::launch::async, [&] {
    KT_RETURN_IF_ERROR(writer_->GoTo(1));
    KT_RETURN_IF_ERROR(writer_->PutString("CODE", "ZZZLOCK"));
    return writer_->Commit();
  });
  EXPECT_EQ(change.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  EXPECT_EQ(counter(), before);
  (*other)->UnlockRange(kIndexFileLock.offset, kIndexFileLock.length);
  ASSERT_EQ(change.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  EXPECT_TRUE(change.get().ok());
  EXPECT_EQ(counter(), before + 2);
  const Row was = model_.rows[0];
  model_.rows[0].code = Pad("ZZZLOCK", 10);
  model_.Changed(1, was);
  CheckAll("after the lock");
}

// Two writers in threads of one process share the file handles, so the system's locks cannot keep
// them apart: they take turns in the process, and no append or index change is lost.
TEST_F(IndexUpdateTest, WritersInThreadsOfOneProcessTakeTurns) {
  writer_.reset();
  const uint32_t before = static_cast<uint32_t>(model_.rows.size());
  auto write = [&](int thread) -> Status {
    KT_ASSIGN_OR_RETURN(auto area, WorkArea::Open(table_, "W" + std::to_string(thread),
                                                  OpenOptions{true, false, true}));
    for (int i = 0; i < 300; ++i) {
      KT_RETURN_IF_ERROR(area->AppendBlank());
      KT_RETURN_IF_ERROR(area->PutString("CODE", "T" + std::to_string(thread) + "-" + std::to_string(i)));
      KT_RETURN_IF_ERROR(area->Skip(0));
      // and a key change of an older record
      KT_RETURN_IF_ERROR(area->GoTo(1 + static_cast<uint32_t>(i % 100)));
      KT_RETURN_IF_ERROR(area->PutString("NAME", "N" + std::to_string(thread) + std::to_string(i)));
      KT_RETURN_IF_ERROR(area->Skip(0));
    }
    return area->Commit();
  };
  auto a = std::async(std::launch::async, write, 1);
  auto b = std::async(std::launch::async, write, 2);
  EXPECT_TRUE(a.get().ok());
  EXPECT_TRUE(b.get().ok());
  EXPECT_EQ(reader_->RecCount().value(), before + 600);
  const Status check = CheckCompoundIndex(table_);
  EXPECT_TRUE(check.ok()) << check.ToString();
}

TEST_F(IndexUpdateTest, TablesWithExpressionsWeCannotEvaluateAreNotWritten) {
  writer_.reset();
  reader_.reset();
  ASSERT_TRUE(BuildCompoundIndex(table_, {{"CODE", "CODE", "", false, false}}).ok());
  // Make the tag's expression one we do not understand (same length, so the pool stays valid).
  const fs::path cdx = *FindFileIgnoringCase(dir_, "ITEMS.CDX");
  std::string bytes = kt::test_support::ReadFileBytes(cdx);
  const std::size_t at = bytes.find("CODE", 1024 + 512);
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 4, "CQDE");
  kt::test_support::WriteFileBytes(cdx, bytes);
  auto w = WorkArea::Open(table_, "WRITER", OpenOptions{true, false, true});
  ASSERT_TRUE(w.ok()) << w.status().ToString();
  ASSERT_TRUE((*w)->GoTo(1).ok());
  const Status put = (*w)->PutString("CODE", "X");
  EXPECT_TRUE(put.IsInvalidArgument()) << put.ToString();
  EXPECT_TRUE((*w)->AppendBlank().IsInvalidArgument());
}

}  // namespace
}  // namespace kt::data
