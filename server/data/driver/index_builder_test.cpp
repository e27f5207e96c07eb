// Round trip: tables written by our writer and indexes built by our builder, read back through
// work areas and compared with a model of the expected order computed independently here.
#include "server/data/driver/index_builder.h"

#include <gtest/gtest.h>

#include "common/testing/files.h"
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <filesystem>
#include <map>
#include <random>

#include "server/data/driver/cdx_file.h"
#include "server/data/driver/cdx_tag.h"
#include "server/data/driver/work_area.h"

namespace kt::data {
namespace {


namespace fs = std::filesystem;

struct Row {
  std::string code;  // C(60)
  std::string name;  // C(20)
  double amount;     // N(12,2)
  Date tgl;
  bool ok;
  double id;  // N(8,0)
  bool deleted;
};

std::string Pad(std::string s, std::size_t w) {
  s.resize(w, ' ');
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c -= 32;
  }
  return s;
}

// Random rows with duplicates, blanks, shared prefixes, negative numbers and blank dates.
std::vector<Row> MakeRows(int n, uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int k) { return static_cast<int>(rng() % static_cast<uint32_t>(k)); };
  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 \xC7\xE9";
  auto text = [&](int max) {
    std::string s;
    const int len = pick(max + 1);
    for (int i = 0; i < len; ++i) s.push_back(letters[pick(static_cast<int>(letters.size()))]);
    return s;
  };
  std::vector<Row> rows;
  for (int i = 0; i < n; ++i) {
    Row r;
    const int kind = pick(10);
    if (kind == 0 && !rows.empty()) r.code = rows[pick(static_cast<int>(rows.size()))].code;  // duplicate
    else if (kind == 1) r.code = "";
    else if (kind < 6) r.code = "PRD" + text(50);  // shared prefix
    else r.code = text(58);
    r.code = Pad(r.code, 60);
    r.name = Pad(text(12), 20);
    r.amount = (static_cast<int64_t>(rng() % 2000000) - 1000000) / 100.0;
    if (pick(20) == 0) r.amount = 0;
    r.tgl = pick(15) == 0 ? Date{} : Date::FromJulianDay(2440588 + pick(20000));
    r.ok = pick(3) != 0;
    r.id = pick(5000) - 100;
    r.deleted = pick(20) == 0;
    rows.push_back(std::move(r));
  }
  return rows;
}

Status WriteTable(const fs::path& path, const std::vector<Row>& rows) {
  KT_RETURN_IF_ERROR(WorkArea::Create(path, {{"CODE", 'C', 60, 0},
                                              {"NAME", 'C', 20, 0},
                                              {"AMOUNT", 'N', 12, 2},
                                              {"TGL", 'D', 8, 0},
                                              {"OK", 'L', 1, 0},
                                              {"ID", 'N', 8, 0}}));
  KT_ASSIGN_OR_RETURN(auto area, WorkArea::Open(path, "W", OpenOptions{true, false, false}));
  for (const Row& r : rows) {
    KT_RETURN_IF_ERROR(area->AppendBlank());
    KT_RETURN_IF_ERROR(area->PutString("CODE", r.code));
    KT_RETURN_IF_ERROR(area->PutString("name", r.name));
    KT_RETURN_IF_ERROR(area->PutNumber("AMOUNT", r.amount));
    KT_RETURN_IF_ERROR(area->PutDate("TGL", r.tgl));
    KT_RETURN_IF_ERROR(area->PutLogical("OK", r.ok));
    KT_RETURN_IF_ERROR(area->PutNumber("ID", r.id));
    if (r.deleted) KT_RETURN_IF_ERROR(area->SetDeleted(true));
  }
  return area->Commit();
}

// A tag and how the model orders and filters the rows for it.
struct ModelTag {
  TagSpec spec;
  char type;
  std::function<std::string(const Row&)> text;  // C keys
  std::function<double(const Row&)> number;     // N and D keys (dates as day numbers)
  std::function<bool(const Row&)> in;           // FOR condition
};

std::vector<ModelTag> Tags() {
  auto all = [](const Row&) { return true; };
  return {
      {{"CODE", "CODE", "", false, false}, 'C', [](const Row& r) { return r.code; }, {}, all},
      {{"NAMEUP", "UPPER(NAME)", "", false, false}, 'C', [](const Row& r) { return Upper(r.name); }, {}, all},
      {{"UNAME", "NAME", "", false, true}, 'C', [](const Row& r) { return r.name; }, {}, all},
      {{"CODEDESC", "CODE", "", true, false}, 'C', [](const Row& r) { return r.code; }, {}, all},
      {{"AMTDESC", "AMOUNT", "", true, false}, 'N', {}, [](const Row& r) { return r.amount; }, all},
      {{"TGL", "TGL", "", false, false}, 'D', {}, [](const Row& r) { return double(r.tgl.ToJulianDay()); }, all},
      {{"LIVEID", "ID", "!DELETED()", false, false}, 'N', {}, [](const Row& r) { return r.id; },
       [](const Row& r) { return !r.deleted; }},
      {{"OKCODE", "code", "OK .AND. AMOUNT > 0", false, false}, 'C', [](const Row& r) { return r.code; }, {},
       [](const Row& r) { return r.ok && r.amount > 0; }},
      {{"IDTGL", "STR(ID,8)+DTOS(TGL)", "", false, false}, 'C',
       [](const Row& r) {
         char buf[16];
         std::snprintf(buf, sizeof buf, "%8.0f", r.id);
         return std::string(buf) + r.tgl.ToDtos();
       }, {}, all},
      {{"OKFLAG", "OK", "", false, false}, 'L', [](const Row& r) { return std::string(r.ok ? "T" : "F"); }, {}, all},
  };
}

// Record numbers in presentation order, as the model sees them.
std::vector<uint32_t> ModelOrder(const ModelTag& t, const std::vector<Row>& rows) {
  std::vector<uint32_t> recs;
  for (uint32_t i = 0; i < rows.size(); ++i) {
    if (t.in(rows[i])) recs.push_back(i + 1);
  }
  auto less = [&](uint32_t a, uint32_t b) {
    const Row& x = rows[a - 1];
    const Row& y = rows[b - 1];
    if (t.text) {
      const int c = std::memcmp(t.text(x).data(), t.text(y).data(), t.text(x).size());
      if (c != 0) return c < 0;
    } else if (t.number(x) != t.number(y)) {
      return t.number(x) < t.number(y);
    }
    return a < b;
  };
  std::stable_sort(recs.begin(), recs.end(), less);
  if (t.spec.unique) {
    std::vector<uint32_t> kept;
    for (uint32_t r : recs) {
      if (kept.empty() || t.text(rows[kept.back() - 1]) != t.text(rows[r - 1])) kept.push_back(r);
    }
    recs = kept;
  }
  if (t.spec.descending) std::reverse(recs.begin(), recs.end());
  return recs;
}

std::vector<uint32_t> Walk(WorkArea& area, bool from_bottom) {
  std::vector<uint32_t> out;
  EXPECT_TRUE((from_bottom ? area.GoBottom() : area.GoTop()).ok());
  while (!area.Eof()) {
    out.push_back(area.RecNo());
    EXPECT_TRUE(area.Skip(from_bottom ? -1 : 1).ok());
    if (from_bottom && area.Bof()) break;
  }
  return out;
}

// Levels of a tag's tree: from the root down the first children.
int TreeLevels(const fs::path& cdx_path, const std::string& tag, int key_length) {
  auto cdx = CdxFile::Open(cdx_path).value();
  const CdxSnapshot snap = cdx->Begin().value();
  const std::vector<CdxTagEntry> tags = cdx->Directory(snap).value();
  for (const CdxTagEntry& e : tags) {
    if (e.name != tag) continue;
    uint32_t offset = cdx->ReadTagHeader(e.header_offset, snap).value().root;
    for (int levels = 1;; ++levels) {
      auto node = cdx->ReadNode(offset, key_length, ' ', snap).value();
      if (node->leaf()) return levels;
      offset = node->children.front();
    }
  }
  return 0;
}

class RoundTripTest : public testing::Test {
 protected:
  kt::test_support::ScratchFolder scratch_{"kt_driver", "roundtrip_"};
  const fs::path dir_ = scratch_.path();
  const fs::path table_ = dir_ / "ITEMS.G8A";
};

TEST_F(RoundTripTest, EveryTagWalksAndSeeksLikeTheModel) {
  const std::vector<Row> rows = MakeRows(3000, 7);
  ASSERT_TRUE(WriteTable(table_, rows).ok());
  std::vector<TagSpec> specs;
  for (const ModelTag& t : Tags()) specs.push_back(t.spec);
  const Status built = BuildCompoundIndex(table_, specs);
  ASSERT_TRUE(built.ok()) << built.ToString();

  // 60-byte keys: 8 per leaf at best, 7 per interior node, so 3000 keys need 4 levels.
  EXPECT_GE(TreeLevels(dir_ / "ITEMS.CDX", "CODE", 60), 3);

  auto area = WorkArea::Open(table_, "R").value();
  ASSERT_EQ(area->Tags().size(), Tags().size());
  for (const ModelTag& t : Tags()) {
    SCOPED_TRACE(t.spec.name);
    ASSERT_TRUE(area->SetOrder(t.spec.name).ok());
    const std::vector<uint32_t> expected = ModelOrder(t, rows);
    EXPECT_EQ(Walk(*area, false), expected);
    std::vector<uint32_t> backwards = expected;
    std::reverse(backwards.begin(), backwards.end());
    EXPECT_EQ(Walk(*area, true), backwards);

    // Seeking every record's own full key lands on the first record with that key in the
    // tag's order.
    std::map<std::string, uint32_t> first_of_key;
    for (uint32_t r : expected) {
      const Row& row = rows[r - 1];
      std::string key = t.text ? t.text(row) : std::to_string(t.number(row));
      first_of_key.emplace(key, r);
    }
    for (uint32_t r : expected) {
      const Row& row = rows[r - 1];
      Result<bool> found = false;
      if (t.type == 'C') found = area->Seek(t.text(row));
      else if (t.type == 'L') found = area->SeekLogical(row.ok);
      else if (t.type == 'D') found = area->SeekDate(row.tgl);
      else found = area->SeekNumber(t.number(row));
      ASSERT_TRUE(found.ok());
      EXPECT_TRUE(*found);
      const std::string key = t.text ? t.text(row) : std::to_string(t.number(row));
      EXPECT_EQ(area->RecNo(), first_of_key[key]);
      EXPECT_EQ(area->Deleted(), rows[area->RecNo() - 1].deleted);
    }
  }
}

// A seek checks each entry it finds against the record's own key; for a key that is a character
// field (or UPPER of one) the check reads the field in place. It must say what the key built by
// evaluating the expression says, for every tag, record and search length, and for lower-case
// and non-ASCII bytes.
TEST_F(RoundTripTest, KeyCheckInPlaceAgreesWithTheBuiltKey) {
  const std::vector<Row> rows = MakeRows(300, 5);
  ASSERT_TRUE(WriteTable(table_, rows).ok());
  std::vector<TagSpec> specs;
  for (const ModelTag& t : Tags()) specs.push_back(t.spec);
  ASSERT_TRUE(BuildCompoundIndex(table_, specs).ok());
  auto area = WorkArea::Open(table_, "K").value();
  auto cdx = CdxFile::Open(dir_ / "ITEMS.CDX").value();
  auto snap = cdx->Begin().value();
  std::vector<DbfField> fields;
  for (const FieldSpec& f : area->fields()) fields.push_back({f.name, f.type, f.width, f.decimals, 0, f.offset});
  std::mt19937 rng(9);
  const std::vector<CdxTagEntry> entries = cdx->Directory(snap).value();
  ASSERT_EQ(entries.size(), Tags().size());
  for (const CdxTagEntry& entry : entries) {
    SCOPED_TRACE(entry.name);
    const CdxTag tag = CdxTag::Load(cdx, entry, fields).value();
    for (uint32_t r = 1; r <= rows.size(); r += 7) {
      ASSERT_TRUE(area->GoTo(r).ok());
      const std::string record(area->RecordBytes().value());
      const auto key = tag.KeyOf(record).value();
      std::vector<std::string> searches = {"", std::string(static_cast<std::size_t>(tag.key_length()) + 1, ' ')};
      if (key) {
        for (std::size_t n : {std::size_t{1}, key->size() / 2, key->size()}) searches.push_back(key->substr(0, n));
        std::string changed = *key;
        changed[rng() % changed.size()] ^= 0x20;  // flips case, or blank and NUL
        searches.push_back(changed);
      }
      searches.push_back(Upper(rows[r - 1].code.substr(0, 5)));
      for (const std::string& search : searches) {
        const bool expected = key && key->compare(0, search.size(), search) == 0;
        EXPECT_EQ(tag.KeyBeginsWith(record, search).value(), expected) << r << " \"" << search << "\"";
      }
    }
  }
}

// Model test: soft and exact seeks of random (often partial) keys against a sorted model of the
// CODE tag, ascending and descending.
TEST_F(RoundTripTest, PrefixSeeksMatchTheModel) {
  const std::vector<Row> rows = MakeRows(2500, 11);
  ASSERT_TRUE(WriteTable(table_, rows).ok());
  ASSERT_TRUE(BuildCompoundIndex(table_, {{"CODE", "CODE", "", false, false},
                                          {"CODEDESC", "CODE", "", true, false}})
                  .ok());
  std::multimap<std::string, uint32_t> model;  // std::string compares as unsigned bytes
  for (uint32_t i = 0; i < rows.size(); ++i) model.emplace(rows[i].code, i + 1);

  auto area = WorkArea::Open(table_, "M").value();
  std::mt19937 rng(3);
  for (int i = 0; i < 1500; ++i) {
    // A prefix of an existing key, sometimes altered in its last byte, or random bytes.
    std::string search = rows[rng() % rows.size()].code.substr(0, 1 + rng() % 61);
    if (rng() % 3 == 0 && !search.empty()) search.back() = static_cast<char>(rng() % 256);
    if (rng() % 10 == 0) search = std::string(1 + rng() % 4, static_cast<char>('0' + rng() % 80));
    const std::string cut = search.substr(0, 60);
    auto matches = [&](const std::string& key) { return key.compare(0, cut.size(), cut) == 0; };
    auto prefix_less = [&](const std::string& key) {
      return std::string_view(key).substr(0, cut.size()) < std::string_view(cut);
    };
    const bool soft = rng() % 2 == 0;
    SCOPED_TRACE(testing::Message() << "search \"" << search << "\" soft " << soft);

    // Ascending: first entry whose key (over the search length) is not below the search.
    auto it = std::find_if(model.begin(), model.end(), [&](const auto& e) { return !prefix_less(e.first); });
    ASSERT_TRUE(area->SetOrder("CODE").ok());
    bool found = area->Seek(search, soft).value();
    const bool model_found = it != model.end() && matches(it->first);
    EXPECT_EQ(found, model_found);
    if (model_found || (soft && it != model.end())) {
      EXPECT_EQ(area->RecNo(), it->second);
    } else {
      EXPECT_TRUE(area->Eof());
      EXPECT_EQ(area->RecNo(), rows.size() + 1);
    }

    // Descending: the last entry (in ascending terms) whose key is not above the search.
    auto rit = std::find_if(model.rbegin(), model.rend(), [&](const auto& e) {
      return std::string_view(e.first).substr(0, cut.size()) <= std::string_view(cut);
    });
    ASSERT_TRUE(area->SetOrder("CODEDESC").ok());
    found = area->Seek(search, soft).value();
    const bool rmodel_found = rit != model.rend() && matches(rit->first);
    EXPECT_EQ(found, rmodel_found);
    if (rmodel_found || (soft && rit != model.rend())) {
      EXPECT_EQ(area->RecNo(), rit->second);
    } else {
      EXPECT_TRUE(area->Eof());
    }
  }
}

TEST_F(RoundTripTest, EmptyTableAndBadSpecs) {
  ASSERT_TRUE(WriteTable(table_, {}).ok());
  ASSERT_TRUE(BuildCompoundIndex(table_, {{"CODE", "CODE", "", false, false},
                                          {"AMT", "AMOUNT", "AMOUNT > 0", true, false}})
                  .ok());
  auto area = WorkArea::Open(table_, "E").value();
  ASSERT_TRUE(area->SetOrder("amt").ok());
  EXPECT_TRUE(area->Eof());
  EXPECT_TRUE(area->Bof());
  EXPECT_FALSE(area->SeekNumber(1, true).value());
  EXPECT_TRUE(area->Eof());
  EXPECT_EQ(area->RecNo(), 1u);
  area.reset();

  struct Bad {
    TagSpec spec;
    const char* why;
  } bad[] = {
      {{"", "CODE", "", false, false}, "empty name"},
      {{"TOOLONGNAME1", "CODE", "", false, false}, "long name"},
      {{"X", "NOSUCH", "", false, false}, "unknown field"},
      {{"X", "UPPER(", "", false, false}, "syntax"},
      {{"X", "CODE+CODE+CODE+CODE+CODE", "", false, false}, "key over 240 bytes"},
      {{"X", "CODE", "AMOUNT", false, false}, "FOR not logical"},
      {{"X", "CODE", "", false, false}, "duplicate name"},
  };
  for (const Bad& b : bad) {
    std::vector<TagSpec> specs = {b.spec};
    if (std::string(b.why) == "duplicate name") specs.push_back(b.spec);
    const Status s = BuildCompoundIndex(table_, specs);
    EXPECT_TRUE(s.IsInvalidArgument()) << b.why << ": " << s.ToString();
  }
  // A failed build leaves the previous index in place.
  EXPECT_EQ(WorkArea::Open(table_, "E").value()->Tags().size(), 2u);
}

// Sixty tags do not fit one directory leaf: the directory becomes a tree of its own, and the
// header offsets it holds need wider record fields once the file passes 64 KiB.
TEST_F(RoundTripTest, ManyTagsMakeADirectoryTree) {
  const std::vector<Row> rows = MakeRows(400, 5);
  ASSERT_TRUE(WriteTable(table_, rows).ok());
  std::vector<TagSpec> specs;
  for (int i = 0; i < 60; ++i) {
    // Names that share little, so few fit one directory leaf.
    const std::string name = std::string{static_cast<char>('A' + i % 26), static_cast<char>('A' + i / 26)} +
                             "_" + std::to_string(1000000 + i * 7919);
    specs.push_back(TagSpec{name, i % 2 ? "CODE" : "UPPER(NAME)",
                            i % 3 ? "" : "OK", i % 5 == 0, false});
  }
  ASSERT_TRUE(BuildCompoundIndex(table_, specs).ok());
  EXPECT_GT(fs::file_size(dir_ / "ITEMS.CDX"), 65536u);
  auto area = WorkArea::Open(table_, "T").value();
  const std::vector<TagInfo> tags = area->Tags();
  ASSERT_EQ(tags.size(), specs.size());
  for (std::size_t i = 0; i < specs.size(); ++i) {
    EXPECT_EQ(tags[i].name, specs[i].name);  // creation order
    EXPECT_EQ(tags[i].for_expression, specs[i].for_expression);
    EXPECT_EQ(tags[i].descending, specs[i].descending);
  }
  {
    auto cdx = CdxFile::Open(dir_ / "ITEMS.CDX").value();
    const CdxSnapshot snap = cdx->Begin().value();
    const uint32_t root = cdx->ReadTagHeader(0, snap).value().root;
    EXPECT_FALSE(cdx->ReadNode(root, 10, ' ', snap).value()->leaf());
  }
  ASSERT_TRUE(area->SetOrder(Upper(specs.back().name)).ok());
  ASSERT_TRUE(area->GoTop().ok());
  uint32_t n = 0;
  while (!area->Eof()) {
    ++n;
    ASSERT_TRUE(area->Skip(1).ok());
  }
  EXPECT_EQ(n, rows.size());
}

}  // namespace
}  // namespace kt::data
