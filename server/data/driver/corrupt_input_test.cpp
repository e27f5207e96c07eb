// Damaged tables and indexes: every fault gives a clean error (never a crash, hang or read out
// of bounds) and the files are left exactly as they were.
#include <gtest/gtest.h>

#include "common/testing/files.h"
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <random>

#include "common/coding.h"
#include "server/data/driver/cdx_file.h"
#include "server/data/driver/dbf_header.h"
#include "server/data/driver/index_builder.h"
#include "server/data/driver/work_area.h"

namespace kt::data {
namespace {


namespace fs = std::filesystem;

void SetLE16(std::string& b, std::size_t at, uint16_t v) { EncodeFixedLE16(b.data() + at, v); }
void SetLE32(std::string& b, std::size_t at, uint32_t v) { EncodeFixedLE32(b.data() + at, v); }
void SetBE32(std::string& b, std::size_t at, uint32_t v) { EncodeFixedBE32(b.data() + at, v); }

// Opens the table and drives every tag through walks and seeks; returns the first error.
Status Exercise(const fs::path& table, OpenOptions options = {}) {
  KT_ASSIGN_OR_RETURN(auto area, WorkArea::Open(table, "X", options));
  KT_ASSIGN_OR_RETURN(uint32_t count, area->RecCount());
  for (uint32_t r = 1; r <= std::min<uint32_t>(count, 50); ++r) {
    KT_RETURN_IF_ERROR(area->GoTo(r));
    for (const FieldSpec& f : area->fields()) KT_RETURN_IF_ERROR(area->GetRaw(f.name).status());
  }
  for (const TagInfo& t : area->Tags()) {
    KT_RETURN_IF_ERROR(area->SetOrder(t.name));
    // A walk can never be longer than the keys a file of this size holds: a guard for the test.
    uint64_t steps = 0;
    KT_RETURN_IF_ERROR(area->GoTop());
    for (; !area->Eof() && steps < 100000; ++steps) KT_RETURN_IF_ERROR(area->Skip(1));
    EXPECT_LT(steps, 100000u) << "walk did not end";
    KT_RETURN_IF_ERROR(area->GoBottom());
    KT_RETURN_IF_ERROR(area->Skip(-3));
    Result<bool> r = false;
    if (t.key_type == 'C') r = area->Seek("PRD", true);
    else if (t.key_type == 'L') r = area->SeekLogical(true, true);
    else if (t.key_type == 'D') r = area->SeekDate(Date{2020, 1, 1}, true);
    else r = area->SeekNumber(42, true);
    KT_RETURN_IF_ERROR(r.status());
  }
  return Status::Ok();
}

class CorruptInputTest : public testing::Test {
 protected:
  kt::test_support::ScratchFolder scratch_{"kt_driver", "corrupt_"};
  const fs::path dir_ = scratch_.path();
  // A scratch copy of a fixture table (and its index).
  fs::path Copy(const std::string& name, bool with_index) {
    const fs::path fixtures = fs::path(KT_TESTDATA_DIR) / "xbase";
    for (const char* ext : {".G8A", ".CDX"}) {
      if (std::string(ext) == ".CDX" && !with_index) continue;
      fs::copy_file(fixtures / (name + ext), dir_ / (name + ext), fs::copy_options::overwrite_existing);
      fs::permissions(dir_ / (name + ext), fs::perms::owner_write, fs::perm_options::add);
    }
    return dir_ / (name + ".G8A");
  }
};

TEST_F(CorruptInputTest, EveryTruncatedTableHeaderFails) {
  const fs::path table = Copy("CHARKEY", false);
  const std::string good = kt::test_support::ReadFileBytes(table);
  const std::size_t header_length = DecodeFixedLE16(good.data() + 8);
  for (std::size_t len = 0; len < header_length; ++len) {
    kt::test_support::WriteFileBytes(table, good.substr(0, len));
    const Status s = WorkArea::Open(table, "X", {true, true, false}).status();
    EXPECT_TRUE(s.IsCorruption()) << len << ": " << s.ToString();
  }
  // The decoder alone, on every prefix.
  for (std::size_t len = 0; len < header_length; ++len) {
    EXPECT_FALSE(DbfHeader::Decode(std::span(reinterpret_cast<const std::byte*>(good.data()), len)).ok());
  }
}

TEST_F(CorruptInputTest, DamagedTableHeadersFailCleanly) {
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
  } cases[] = {
      {"header length cuts a descriptor", [](std::string& b) { SetLE16(b, 8, 80); }},
      {"header length past the file", [](std::string& b) { SetLE16(b, 8, 60000); }},
      {"header length below one field", [](std::string& b) { SetLE16(b, 8, 40); }},
      {"record count larger than the file", [](std::string& b) { SetLE32(b, 4, 301); }},
      {"huge record count", [](std::string& b) { SetLE32(b, 4, 0xFFFFFFFF); }},
      {"record length shorter than the fields", [](std::string& b) { SetLE16(b, 10, 20); }},
      {"record length 0", [](std::string& b) { SetLE16(b, 10, 0); }},
      {"field width 0", [](std::string& b) { b[32 + 16] = 0; }},
      {"field without a name", [](std::string& b) { b[32] = 0; }},
      {"terminator missing", [](std::string& b) { b[32 + 5 * 32] = 'X'; }},
  };
  const fs::path table = Copy("CHARKEY", false);
  const std::string good = kt::test_support::ReadFileBytes(table);
  for (const Case& c : cases) {
    std::string bad = good;
    c.damage(bad);
    kt::test_support::WriteFileBytes(table, bad);
    const Status s = WorkArea::Open(table, "X", {true, true, false}).status();
    EXPECT_TRUE(s.IsCorruption()) << c.what << ": " << s.ToString();
    EXPECT_EQ(kt::test_support::ReadFileBytes(table), bad) << c.what;  // untouched
  }
}

// A table with a deep tree (60-byte keys) to damage.
class CorruptIndexTest : public CorruptInputTest {
 protected:
  void SetUp() override {
    CorruptInputTest::SetUp();
    table_ = dir_ / "DEEP.G8A";
    ASSERT_TRUE(WorkArea::Create(table_, {{"CODE", 'C', 60, 0}, {"N", 'N', 6, 0}}).ok());
    auto w = WorkArea::Open(table_, "W", {true, false, false}).value();
    std::mt19937 rng(5);
    for (int i = 0; i < 700; ++i) {
      ASSERT_TRUE(w->AppendBlank().ok());
      ASSERT_TRUE(w->PutString("CODE", "PRD" + std::to_string(rng())).ok());
      ASSERT_TRUE(w->PutNumber("N", i).ok());
    }
    ASSERT_TRUE(w->Commit().ok());
    w.reset();
    ASSERT_TRUE(BuildCompoundIndex(table_, {{"CODE", "CODE", "", false, false},
                                            {"N", "N", "", true, false}}).ok());
    cdx_ = dir_ / "DEEP.CDX";
    good_ = kt::test_support::ReadFileBytes(cdx_);
    // Find the CODE tag's header, root, a child of the root and the first two leaves.
    auto cdx = CdxFile::Open(cdx_).value();
    const CdxSnapshot snap = cdx->Begin().value();
    const std::vector<CdxTagEntry> tags = cdx->Directory(snap).value();
    tag_header_ = tags[0].header_offset;
    root_ = cdx->ReadTagHeader(tag_header_, snap).value().root;
    auto root = cdx->ReadNode(root_, 60, ' ', snap).value();
    ASSERT_FALSE(root->leaf());
    child_ = root->children[0];
    uint32_t offset = root_;
    while (true) {
      auto node = cdx->ReadNode(offset, 60, ' ', snap).value();
      if (node->leaf()) {
        leaf_ = offset;
        second_leaf_ = node->right;
        break;
      }
      offset = node->children[0];
    }
    ASSERT_TRUE(Exercise(table_).ok());
  }
  fs::path table_, cdx_;
  std::string good_;
  uint32_t tag_header_ = 0, root_ = 0, child_ = 0, leaf_ = 0, second_leaf_ = 0;
};

TEST_F(CorruptIndexTest, DamagedNodesAndHeadersGiveCorruption) {
  auto interior_child = [](uint32_t node) { return node + 12 + 60 + 4; };
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
  } cases[] = {
      {"tag key length 300", [&](std::string& b) { SetLE16(b, tag_header_ + 12, 300); }},
      {"tag key length 0", [&](std::string& b) { SetLE16(b, tag_header_ + 12, 0); }},
      {"directory key length wrong", [&](std::string& b) { SetLE16(b, 12, 12); }},
      {"directory root past the end", [&](std::string& b) { SetLE32(b, 0, 0x7FFFFE00); }},
      {"tag root past the end", [&](std::string& b) { SetLE32(b, tag_header_, 0x7FFFFE00); }},
      {"tag root not page aligned", [&](std::string& b) { SetLE32(b, tag_header_, root_ + 7); }},
      {"tag root at the file header", [&](std::string& b) { SetLE32(b, tag_header_, 0); }},
      {"child pointer out of range", [&](std::string& b) { SetBE32(b, interior_child(root_), 0xFFFFFE00); }},
      {"child pointer to itself", [&](std::string& b) { SetBE32(b, interior_child(root_), root_); }},
      {"child pointer loops to the root", [&](std::string& b) { SetBE32(b, interior_child(child_), root_); }},
      {"interior key count too large", [&](std::string& b) { SetLE16(b, root_ + 2, 60); }},
      {"leaf key count too large", [&](std::string& b) { SetLE16(b, leaf_ + 2, 400); }},
      {"leaf entry width 0", [&](std::string& b) { b[leaf_ + 23] = 0; }},
      {"leaf masks disagree with widths", [&](std::string& b) { b[leaf_ + 18] = 0x7F; }},
      {"leaf counts exceed the key length", [&](std::string& b) { b[leaf_ + 24 + 2 * 4 + 3] = '\xFF'; }},
      {"leaf right sibling loops to itself", [&](std::string& b) { SetLE32(b, leaf_ + 8, leaf_); }},
      {"leaf sibling chain loops back", [&](std::string& b) { SetLE32(b, second_leaf_ + 8, leaf_); }},
      {"leaf attribute invalid", [&](std::string& b) { SetLE16(b, leaf_, 9); }},
      {"file cut short", [&](std::string& b) { b.resize(b.size() - 1536); }},
      {"file cut to a header", [&](std::string& b) { b.resize(700); }},
  };
  for (const Case& c : cases) {
    std::string bad = good_;
    c.damage(bad);
    // A fresh file each time (a new inode, so no cache carries over).
    fs::remove(cdx_);
    kt::test_support::WriteFileBytes(cdx_, bad);
    const Status s = Exercise(table_);
    EXPECT_TRUE(s.IsCorruption()) << c.what << ": " << s.ToString();
    EXPECT_EQ(kt::test_support::ReadFileBytes(cdx_), bad) << c.what;
  }
}

// Random byte damage anywhere in the index or the table: any outcome but a crash or a hang.
TEST_F(CorruptIndexTest, RandomByteDamageNeverCrashes) {
  const std::string good_table = kt::test_support::ReadFileBytes(table_);
  std::mt19937 rng(17);
  for (int round = 0; round < 150; ++round) {
    std::string cdx = good_, dbf = good_table;
    const bool hit_table = round % 5 == 0;
    std::string& target = hit_table ? dbf : cdx;
    const int flips = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < flips; ++i) {
      // Mostly the header and node headers, where numbers live.
      const std::size_t at = rng() % 2 ? rng() % std::min<std::size_t>(target.size(), 2048)
                                       : rng() % target.size();
      target[at] = static_cast<char>(rng());
    }
    fs::remove(cdx_);
    fs::remove(table_);
    kt::test_support::WriteFileBytes(cdx_, cdx);
    kt::test_support::WriteFileBytes(table_, dbf);
    const Status ignored = Exercise(table_);  // ok or an error: both fine
    (void)ignored;
    EXPECT_EQ(kt::test_support::ReadFileBytes(cdx_), cdx);
    EXPECT_EQ(kt::test_support::ReadFileBytes(table_), dbf);
  }
}

}  // namespace
}  // namespace kt::data
