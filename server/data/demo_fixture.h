// A demo data set written once per test program and copied into a fresh folder per test, so a
// test may replace one table without disturbing the others.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "server/data/database.h"
#include "server/data/demo/demo_data.h"
#include "server/data/demo/schema.h"
#include "server/data/global_variable.h"
#include "server/data/test_support.h"

namespace kt::data::testing {

// The pristine demo data set (written on first use, removed at exit).
inline const std::filesystem::path& PristineDemo() {
  static TempFolder* folder = [] {
    auto* f = new TempFolder();
    const Status written = demo::WriteDemoDataSet(f->path());
    if (!written.ok()) {
      ADD_FAILURE() << "demo data set: " << written.ToString();
    }
    std::atexit([] { delete folder; });
    return f;
  }();
  return folder->path();
}

class DemoDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_support::CopyTree(PristineDemo(), root_.path());
  }

  std::filesystem::path data_folder() const { return root_.path() / "ST_DB"; }

  // Replaces one table of this test's copy.
  void Rewrite(const demo::TableDef& def, const std::vector<demo::Row>& rows) {
    const Status written = demo::WriteTable(data_folder(), def, rows);
    ASSERT_TRUE(written.ok()) << written.ToString();
  }
  void RewriteKontro(const std::function<void(demo::Row&)>& change) {
    demo::Row row = demo::DemoKontroRow();
    change(row);
    Rewrite(demo::KontroTable(), {row});
  }

  // Points the settings at this copy and opens the database.
  bool Open(std::string location = {}) {
    ConfigValues config = globals_.Config();
    config.location = location.empty() ? root_.path().string() : location;
    globals_.SetConfig(config);
    return DBMAINOPEN(globals_, sink_);
  }

  TempFolder root_;
  GLOBALVARIABLE globals_;
  RecordingSink sink_;
};

}  // namespace kt::data::testing
