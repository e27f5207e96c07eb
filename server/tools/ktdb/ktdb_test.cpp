#include "server/tools/ktdb/ktdb.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "common/testing/files.h"

namespace kt::tools {
namespace {

const std::string kFix = std::string(KT_TESTDATA_DIR) + "/xbase/";

struct Outcome {
  int code;
  std::string out, err;
};

Outcome Ktdb(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int code = RunKtdb(args, out, err);
  return Outcome{code, out.str(), err.str()};
}

TEST(KtdbTest, StructureListsFieldsThenRecordCount) {
  const Outcome r = Ktdb({"structure", kFix + "NUMDATE.G8A"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "ID\tN\t8\t0\nAMOUNT\tN\t12\t2\nTGL\tD\t8\t0\nFLAG\tL\t1\t0\nNOTE\tC\t12\t0\n"
            "records\t500\n");
}

TEST(KtdbTest, TagsShowExpressionsOrderAndUniqueness) {
  const Outcome r = Ktdb({"tags", kFix + "charkey.g8a"});  // found without regard to case
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "CODE\tCODE\t\tascending\tduplicates\n"
            "NAMEUP\tUPPER(NAME)\t\tascending\tduplicates\n"
            "CODEDESC\tCODE\t\tdescending\tduplicates\n"
            "ACTCODE\tCODE\tACTIVE\tascending\tduplicates\n"
            "GRPCODE\tGRP+CODE\t\tascending\tduplicates\n"
            "UCODE\tCODE\t\tascending\tunique\n");
}

// Expected values from the fixtures' own probe results.
TEST(KtdbTest, SeekPrintsFoundEofRecno) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"CHARKEY.G8A", "CODE", "865OBE34  "}, "1\t0\t240\n"},
      {{"CHARKEY.G8A", "CODE", "KK7E"}, "0\t1\t301\n"},
      {{"NUMDATE.G8A", "AMOUNT", "91038.175", "--soft"}, "0\t0\t359\n"},
      {{"NUMDATE.G8A", "ID", "425", "--type", "num"}, "1\t0\t123\n"},
      {{"NUMDATE.G8A", "TGL", "20191022", "--soft"}, "0\t0\t436\n"},
      {{"NUMDATE.G8A", "TGL", ""}, "1\t0\t6\n"},
      {{"PROMO.G8A", "ITEM_TGL1", "000000193020220506", "--soft"}, "0\t0\t488\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"seek"};
    args.push_back(kFix + c.args[0]);
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    const Outcome r = Ktdb(args);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[2];
  }
}

TEST(KtdbTest, SeekBatchFromKeyFileAndStats) {
  const std::string keys = (std::filesystem::path(testing::TempDir()) / ("ktdb_keys_" + std::to_string(::getpid()) + ".txt")).string();
  std::ofstream(keys) << "865OBE34  \nKK7E\r\nPJG1\n";
  Outcome r = Ktdb({"seek", kFix + "CHARKEY.G8A", "CODE", "--keys", keys});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 18), "1\t0\t240\n0\t1\t301\n1\t");
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);

  r = Ktdb({"seek", kFix + "CHARKEY.G8A", "CODE", "--keys", keys, "--stats"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(std::regex_match(r.out, std::regex("3\t2\t[0-9]+\\.[0-9]{6}\n"))) << r.out;
  std::filesystem::remove(keys);
}

TEST(KtdbTest, WalkFromTopAndFromBottom) {
  Outcome r = Ktdb({"walk", kFix + "MEMOTAB.G8A", "CODE", "--count", "3"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "40\n12\n14\n");
  r = Ktdb({"walk", kFix + "MEMOTAB.G8A", "code", "--bottom", "--count", "2"});
  EXPECT_EQ(r.out, "3\n32\n");
  r = Ktdb({"walk", kFix + "MEMOTAB.G8A", "CODE"});
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 40);
  r = Ktdb({"walk", kFix + "EMPTYTAB.G8A", "CODE"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "");
}

TEST(KtdbTest, GetPrintsValuesAsStored) {
  const Outcome r = Ktdb({"get", kFix + "MEMOTAB.G8A", "6", "code", "TGL", "NOTES"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "WT3085  \n20151116\nNote rope Box\n");
}

TEST(KtdbTest, ErrorsAreOneLineAndNonZero) {
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string needle;
  } cases[] = {
      {{"structure", kFix + "NOSUCH.G8A"}, 1, "no such file"},
      {{"seek", kFix + "CHARKEY.G8A", "NOTAG", "X"}, 1, "no tag"},
      {{"seek", kFix + "NUMDATE.G8A", "ID", "abc"}, 2, "not a number"},
      {{"seek", kFix + "NUMDATE.G8A", "ID", "1", "--type", "char"}, 2, "has N keys"},
      {{"seek", kFix + "CHARKEY.G8A", "CODE", "X", "--stats"}, 2, "--stats needs"},
      {{"get", kFix + "CHARKEY.G8A", "999", "CODE"}, 1, "does not exist"},
      {{"get", kFix + "CHARKEY.G8A", "1", "NOPE"}, 1, "no field NOPE"},
      {{"walk", kFix + "CHARKEY.G8A"}, 2, "TAG is required"},
      {{"frobnicate"}, 2, "unknown command"},
      {{"structure", kFix + "README.md"}, 1, "README.md"},
  };
  for (const Case& c : cases) {
    const Outcome r = Ktdb(c.args);
    EXPECT_EQ(r.code, c.code) << c.needle;
    EXPECT_NE(r.err.find(c.needle), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// The indexes the other engine wrote pass the check; a damaged copy fails it with the problems.
TEST(KtdbTest, CheckPassesTheFixturesAndNamesProblems) {
  for (const char* table : {"CHARKEY", "NUMDATE", "PROMO", "MEMOTAB", "EMPTYTAB", "BIGTAB"}) {
    const Outcome r = Ktdb({"check", kFix + table + ".G8A"});
    EXPECT_EQ(r.code, 0) << table << ": " << r.out << r.err;
    EXPECT_EQ(r.out, "ok\n");
  }
  const kt::test_support::ScratchFolder scratch("kt_ktdb", "check_");
  for (const char* ext : {".G8A", ".CDX"}) {
    std::filesystem::copy_file(kFix + "NUMDATE" + ext, scratch.path() / (std::string("NUMDATE") + ext));
  }
  // A new ID in record 1 behind the index's back: the ID tags' keys no longer match it.
  const std::filesystem::path table = scratch.path() / "NUMDATE.G8A";
  std::string bytes = kt::test_support::ReadFileBytes(table);
  const std::size_t header = static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8;
  const std::size_t length = static_cast<uint8_t>(bytes[10]) | static_cast<uint8_t>(bytes[11]) << 8;
  (void)length;
  bytes.replace(header + 1, 8, "  123456");
  kt::test_support::WriteFileBytes(table, bytes);
  const Outcome r = Ktdb({"check", table.string()});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("ID: "), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("problem"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

// A folder that already holds a data set is refused, untouched, unless --force; --force replaces
// the demo's own tables and leaves every other file alone.
TEST(KtdbTest, CreateDemoNeverReplacesADataSetByAccident) {
  const std::filesystem::path dir =
      std::filesystem::path(::testing::TempDir()) / ("ktdb_demo_" + std::to_string(::getpid()));
  const std::filesystem::path st_db = dir / "ST_DB";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(st_db);
  const auto read = [](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  // The shop's own tables: one the demo also writes (any case), one it does not, and a note.
  std::filesystem::copy_file(kFix + "CHARKEY.G8A", st_db / "s_stock.g8a");
  std::filesystem::copy_file(kFix + "CHARKEY.G8A", st_db / "S_KONTRO.G8A");
  std::filesystem::copy_file(kFix + "NUMDATE.G8A", st_db / "S_OWN.G8A");
  std::ofstream(st_db / "notes.txt") << "keep me";
  const std::string kontro = read(st_db / "S_KONTRO.G8A");

  const Outcome refused = Ktdb({"create-demo", dir.string(), "--items", "20"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find(st_db.string() + " already holds 3 table(s)"), std::string::npos) << refused.err;
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(read(st_db / "S_KONTRO.G8A"), kontro);
  // No second stock table beside the shop's "s_stock.g8a" (compared by name: Windows file
  // systems ignore case themselves).
  for (const auto& entry : std::filesystem::directory_iterator(st_db))
    EXPECT_NE(entry.path().filename().string(), "S_STOCK.G8A");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(st_db), {}), 4);

  const Outcome forced = Ktdb({"create-demo", dir.string(), "--items", "20", "--force"});
  EXPECT_EQ(forced.code, 0) << forced.err;
  EXPECT_NE(read(st_db / "S_KONTRO.G8A"), kontro);  // the demo's own table is replaced
  EXPECT_EQ(read(st_db / "S_OWN.G8A"), read(kFix + "NUMDATE.G8A"));
  EXPECT_EQ(read(st_db / "notes.txt"), "keep me");
  EXPECT_TRUE(std::filesystem::exists(st_db / "s_stock.g8a"));
  EXPECT_TRUE(std::filesystem::exists(st_db / "S_STOCK.G8A"));

  // An empty or missing folder needs no --force.
  std::filesystem::remove_all(dir);
  EXPECT_EQ(Ktdb({"create-demo", dir.string(), "--items", "20"}).code, 0);
  std::filesystem::remove_all(dir);
}

TEST(KtdbTest, HelpListsEveryCommand) {
  const Outcome r = Ktdb({"--help"});
  EXPECT_EQ(r.code, 0);
  for (const char* word : {"structure", "tags", "seek", "--keys", "--stats", "walk", "get", "check"}) {
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace kt::tools
