#include "server/ui/wintestresult.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

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
    window_ = std::make_unique<WINTESTRESULT>(globals_, data::NullEventSink());
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

}  // namespace
}  // namespace kt::ui
