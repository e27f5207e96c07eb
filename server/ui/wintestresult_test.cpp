#include "server/ui/wintestresult.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include "server/data/database.h"
#include "server/data/demo/demo_data.h"
#include "server/data/item_lookup.h"
#include "server/ui/qt_test_app.h"
#include "server/ui/ui_test_support.h"

namespace kt::ui {
namespace {

// Keys and the paste rule, with the database not open: every lookup fails and shows "###".
class WinTestResultKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    window_ = std::make_unique<WINTESTRESULT>(globals_, NullEventSink());
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  data::GLOBALVARIABLE globals_;
  std::unique_ptr<WINTESTRESULT> window_;
};

TEST_F(WinTestResultKeysTest, OwnWorkAreaNames) {
  EXPECT_EQ(window_->windowTitle(), "Simple Test Result");
  const auto& l = window_->lookup();
  EXPECT_EQ(l.CSTOCK, "STOCKTST");
  EXPECT_EQ(l.CPELANG, "PELANGTST");
  EXPECT_EQ(l.CPELSTK, "PELSTKTST");
  EXPECT_EQ(l.CSTKHJL, "STKHJLTST");
  EXPECT_EQ(l.CSTKPRO, "STKPROTST");
  EXPECT_EQ(l.CKURSMA, "KURSMATST");
  EXPECT_EQ(window_->codeText(), "...");
  EXPECT_EQ(window_->nameText(), "...");
  EXPECT_EQ(window_->priceText(), "...");
}

TEST_F(WinTestResultKeysTest, TypingBackspaceDeleteAndEnter) {
  QTest::keyClick(window_.get(), Qt::Key_Backspace);  // empty buffer: nothing happens
  EXPECT_EQ(window_->BARCODE(), "");
  QTest::keyClicks(window_.get(), "ab-1");
  EXPECT_EQ(window_->BARCODE(), "AB-1") << "typed letters are upper-cased";
  EXPECT_EQ(window_->codeText(), "AB-1");
  QTest::keyClick(window_.get(), Qt::Key_Backspace);
  EXPECT_EQ(window_->BARCODE(), "AB-");
  QTest::keyClick(window_.get(), Qt::Key_Delete);
  EXPECT_EQ(window_->BARCODE(), "");

  QTest::keyClicks(window_.get(), "x9");
  QTest::keyClick(window_.get(), Qt::Key_Return);
  EXPECT_EQ(window_->BARCODE(), "") << "the buffer empties";
  EXPECT_EQ(window_->codeText(), "X9") << "the code label keeps the code";
  EXPECT_EQ(window_->nameText(), "###");
  EXPECT_EQ(window_->priceText(), "###");

  window_->SetBarcode("");
  QTest::keyClick(window_.get(), Qt::Key_Return);  // nothing to look up
  EXPECT_EQ(window_->nameText(), "...");
}

TEST_F(WinTestResultKeysTest, PasteNeedsTheLeadingOne) {
  QGuiApplication::clipboard()->setText("8991234567890");
  QTest::keyClick(window_.get(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(window_->codeText(), "...") << "ignored";
  EXPECT_EQ(window_->nameText(), "...");

  QGuiApplication::clipboard()->setText("1abc");
  QTest::keyClick(window_.get(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(window_->codeText(), "abc") << "looked up without the 1, as pasted";
  EXPECT_EQ(window_->nameText(), "###");
  EXPECT_EQ(window_->BARCODE(), "");
}

// With the demo data set open: lookups as a terminal's, errors into the scan list.
class WinTestResultLookupTest : public ::testing::Test {
 protected:
  struct ScanLines : EventSink {
    void ScanInfo(std::string_view text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
  };

  void SetUp() override {
    TestApp();
    ASSERT_TRUE(data::demo::WriteDemoDataSet(folder_.path()).ok());
    data::ConfigValues config = globals_.Config();
    config.location = folder_.path().string() + "/";
    globals_.SetConfig(config);
    ASSERT_TRUE(data::DBMAINOPEN(globals_, sink_));
    window_ = std::make_unique<WINTESTRESULT>(globals_, sink_);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  testing::TempFolder folder_{"wintestresult"};
  data::GLOBALVARIABLE globals_;
  ScanLines sink_;
  std::unique_ptr<WINTESTRESULT> window_;
};

TEST_F(WinTestResultLookupTest, TypedCodeShowsNameAndPrice) {
  ASSERT_TRUE(window_->lookup().IsSubOpen());
  QTest::keyClicks(window_.get(), "aq600");  // typed in lower case, looked up in upper case
  QTest::keyClick(window_.get(), Qt::Key_Return);
  EXPECT_EQ(window_->codeText(), "AQ600");
  EXPECT_EQ(window_->nameText(), "Air Mineral 600ml");
  EXPECT_EQ(window_->priceText(), "3.500 / 1 BTL");

  QTest::keyClick(window_.get(), Qt::Key_Return);  // empty buffer: nothing changes
  EXPECT_EQ(window_->nameText(), "Air Mineral 600ml");

  QGuiApplication::clipboard()->setText("1KOPI200");
  QTest::keyClick(window_.get(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(window_->nameText(), "Kopi Bubuk 200gram");
  EXPECT_EQ(window_->priceText(), "15.000 / 1 PCS");
}

TEST_F(WinTestResultLookupTest, UnknownCodeShowsHashesAndReportsToTheScanList) {
  QTest::keyClicks(window_.get(), "NOPE");
  QTest::keyClick(window_.get(), Qt::Key_Return);
  EXPECT_EQ(window_->nameText(), "###");
  EXPECT_EQ(window_->priceText(), "###");
  ASSERT_FALSE(sink_.lines.empty());
  EXPECT_EQ(sink_.lines.back(), "###ERR### : NOPE, Kode tidak ketemu !");
}

}  // namespace
}  // namespace kt::ui
