// Runs the real ktvistrand-lookup program on a demo data set written to a temporary folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/testing/run_command.h"
#include "server/data/data_folder.h"
#include "server/data/demo/demo_data.h"
#include "server/data/demo/schema.h"
#include "server/data/settings_table.h"
#include "server/data/test_support.h"

namespace kt::data {
namespace {

using test_support::CommandRun;

CommandRun RunLookup(const std::string& args) { return test_support::RunCommand(KT_LOOKUP_EXE, args); }

class LookupCommand : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = new testing::TempFolder();
    ASSERT_TRUE(demo::WriteDemoDataSet(root_->path()).ok());
  }
  static void TearDownTestSuite() { delete root_; }
  static std::string Root() { return root_->path().string(); }

  static testing::TempFolder* root_;
};
testing::TempFolder* LookupCommand::root_ = nullptr;

TEST_F(LookupCommand, OneLinePerCode) {
  for (const std::string& location : {Root(), Root() + "/ST_DB/"}) {
    const CommandRun run = RunLookup("--data " + location + " --at '2026-12-10 09:00' AQ600 2*SAMPO01 NOPE ABC+ LAMA01");
    EXPECT_EQ(run.exit_code, 0);
    const std::string lines[] = {
        "OK\tAir Mineral 600ml\t",
        "OK\tSampo Anti Ketombe Botol 170ml Menthol\t",
        "FAIL\tNOPE, Kode tidak ketemu !\n",
        "FAIL\t, Kode tidak ketemu !\n",
        "FAIL\tLAMA01, Item ini sudah tidak aktif lagi !\n",
    };
    std::size_t at = 0;
    for (const std::string& line : lines) {
      const std::size_t found = run.out.find(line, at);
      ASSERT_NE(found, std::string::npos) << line << " in\n" << run.out;
      at = found + line.size();
    }
    EXPECT_NE(run.out.find(" / 1 BTL\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" / 2 BTL\n"), std::string::npos) << run.out;
  }
}

TEST_F(LookupCommand, DatabaseFailuresAndUsage) {
  testing::TempFolder empty;
  CommandRun run = RunLookup("--data " + empty.path().string() + " AQ600");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  // The operator text, then the file and the cause, on standard error.
  EXPECT_EQ(run.err.rfind("ktvistrand-lookup: Gagal buke file S_KONTRO ! (", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(std::string("ST_DB") + kPathSeparator + "S_KONTRO.G8A"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("no such file"), std::string::npos) << run.err;

  // A damaged stock table: named, with what is wrong with it.
  testing::TempFolder damaged;
  test_support::CopyTree(root_->path(), damaged.path());
  std::ofstream(damaged.path() / "ST_DB" / "S_STOCK.G8A", std::ios::binary | std::ios::trunc) << "not a table";
  run = RunLookup("--data " + damaged.path().string() + " AQ600");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("ktvistrand-lookup: Gagal buke file S_STOCK ! (", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("S_STOCK.G8A"), std::string::npos) << run.err;

  testing::TempFolder old;
  test_support::CopyTree(root_->path(), old.path());
  demo::Row kontro = demo::DemoKontroRow();
  kontro.Set("VERSI", 825);
  ASSERT_TRUE(demo::WriteTable(old.path() / "ST_DB", demo::KontroTable(), {kontro}).ok());
  run = RunLookup("--data " + old.path().string() + " AQ600");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "ktvistrand-lookup: Versi data KT-Akuntansi minimum 826 !\n");

  for (const std::string& bad : {std::string("AQ600"), "--data " + Root(), "--data " + Root() + " --level 6 AQ600",
                                 "--data " + Root() + " --at '2026-13-01 10:00' AQ600"}) {
    EXPECT_EQ(RunLookup(bad).exit_code, 2) << bad;
  }
}

// The rows of the first display drawn after "scan CODE" in `out`, without the frame.
std::vector<std::string> DrawnRows(const std::string& out, const std::string& code) {
  std::vector<std::string> rows;
  std::size_t at = out.find("scan " + code + "\n");
  if (at == std::string::npos) return rows;
  at = out.find('\n', out.find('\n', at) + 1) + 1;  // past the title and the top edge
  for (int r = 0; r < 8; ++r) {
    const std::size_t end = out.find('\n', at);
    rows.push_back(out.substr(at, end - at));
    at = end + 1;
  }
  return rows;
}

TEST_F(LookupCommand, RenderDrawsTheRepliesWithTheDefaultTemplates) {
  const std::string at = " --at '2026-12-10 09:00' ";
  const CommandRun plain = RunLookup("--data " + Root() + at + "AQ600");
  const std::size_t tab = plain.out.rfind('\t');
  ASSERT_NE(tab, std::string::npos) << plain.out;
  const std::string price = plain.out.substr(tab + 1, plain.out.size() - tab - 2);  // "3.500 / 1 BTL"
  ASSERT_LE(price.size(), 20u);

  const CommandRun run = RunLookup("--data " + Root() + at + "--render AQ600 NOPE404");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out.find("OK\t"), std::string::npos) << run.out;
  const std::string blank(20, ' ');
  const std::size_t pad = (20 - price.size()) / 2;
  const std::vector<std::string> found = {
      "  | Air Mineral 600ml  |", "  |" + blank + "|", "  |" + blank + "|", "  |" + blank + "|",
      "  |" + blank + "|",       "  |" + blank + "|", "  |" + blank + "|",
      "L |" + std::string(pad, ' ') + price + std::string(20 - pad - price.size(), ' ') + "|"};
  EXPECT_EQ(DrawnRows(run.out, "AQ600"), found) << run.out;
  const std::vector<std::string> failed = {
      "  |NOPE404, Kode tidak |", "  |ketemu !            |", "  |" + blank + "|", "  |" + blank + "|",
      "  |" + blank + "|",       "  |" + blank + "|",       "  |" + blank + "|", "  |" + blank + "|"};
  EXPECT_EQ(DrawnRows(run.out, "NOPE404"), failed) << run.out;
}

TEST_F(LookupCommand, RenderTakesTheTemplatesOfAWorkingFolder) {
  testing::TempFolder work;
  {
    auto config = KTCONFIG::Open(work.path());
    ASSERT_TRUE(config.ok());
    ConfigValues values;
    values.CCONFIGCOMCONN = "{esc}%";
    values.CCONFIGCOMOK = "{esc}%{esc}B{0x31}{esc}.{0x31}LEFT({namaitem},5){0x03}";
    values.CCONFIGCOMFAIL = "{esc}%GAGAL";
    ASSERT_TRUE((*config)->Write(values).ok());
  }
  const CommandRun run = RunLookup("--data " + Root() + " --render --workdir " + work.path().string() + " AQ600 NOPE");
  EXPECT_EQ(run.exit_code, 0);
  const std::vector<std::string> found = DrawnRows(run.out, "AQ600");
  ASSERT_EQ(found.size(), 8u) << run.out;
  EXPECT_EQ(found[0], "L |       Air M        |");
  const std::vector<std::string> failed = DrawnRows(run.out, "NOPE");
  ASSERT_EQ(failed.size(), 8u) << run.out;
  EXPECT_EQ(failed[0], "  |GAGAL               |");

  // A folder without a settings table is a usage error, and stays without one.
  testing::TempFolder empty;
  EXPECT_EQ(RunLookup("--data " + Root() + " --render --workdir " + empty.path().string() + " AQ600").exit_code, 2);
  EXPECT_FALSE(std::filesystem::exists(empty.path() / std::string(kSettingsFileName)));
  EXPECT_EQ(RunLookup("--data " + Root() + " --workdir " + work.path().string() + " AQ600").exit_code, 2);
}

}  // namespace
}  // namespace kt::data
