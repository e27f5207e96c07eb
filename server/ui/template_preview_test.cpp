// The settings dialog's live preview, on the real dialog (offscreen): it follows every edit of
// the template fields, marks text sent as written without blocking a save, shows hex on request,
// and takes its item from the open data folder or the built-in sample.
#include "server/ui/template_preview.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <vector>

#include "server/data/data_folder.h"
#include "server/data/database.h"
#include "server/data/demo/demo_data.h"
#include "server/data/demo/schema.h"
#include "server/ui/display_view.h"
#include "server/ui/qt_test_app.h"
#include "server/ui/ui_test_support.h"
#include "server/ui/winsetting.h"

namespace kt::ui {
namespace {

using testing::RecordedPrompts;
using testing::TempFolder;
using Rows = std::vector<std::string>;

const std::string kBlank(20, ' ');

class TemplatePreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    std::filesystem::create_directories(folder_.path() / "DATA" / "ST_DB");
    ASSERT_TRUE(data::LoadSettings(folder_.path(), globals_).ok());
    data::ConfigValues config = globals_.Config();
    config.location = (folder_.path() / "DATA").string() + data::kPathSeparator;
    globals_.SetConfig(config);
  }

  // The demo data set; `stock`, when given, replaces its item table.
  void OpenDemoDatabase(const std::vector<data::demo::DemoItem>* stock = nullptr) {
    ASSERT_TRUE(data::demo::WriteDemoDataSet(folder_.path() / "DEMO").ok());
    if (stock != nullptr) {
      std::vector<data::demo::Row> rows;
      for (const auto& item : *stock) rows.push_back(data::demo::ItemRow(item));
      ASSERT_TRUE(data::demo::WriteTable(folder_.path() / "DEMO" / "ST_DB", data::demo::StockTable(), rows).ok());
    }
    data::ConfigValues config = globals_.Config();
    config.location = (folder_.path() / "DEMO").string() + data::kPathSeparator;
    globals_.SetConfig(config);
    ASSERT_TRUE(data::DBMAINOPEN(globals_, NullEventSink()));
  }

  void Open() {
    dialog_ = std::make_unique<WINSETTING>(folder_.path(), globals_, NullEventSink(), prompts_.Make());
    dialog_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
    preview_ = dialog_->findChild<TemplatePreview*>("PREVIEW");
    ASSERT_NE(preview_, nullptr);
  }

  template <typename T>
  T* Control(const char* name) const { return dialog_->findChild<T*>(name); }

  // Replaces the field's text by typing it, key by key, as a user would.
  void Retype(const char* field, const QString& text) {
    auto* edit = Control<QPlainTextEdit>(field);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }

  Rows Shown(TemplatePreview::Template which) const { return preview_->display(which)->rows(); }

  static Rows Screen(std::initializer_list<std::pair<int, std::string>> lines) {
    Rows rows(8, kBlank);
    for (const auto& [row, text] : lines) rows[static_cast<std::size_t>(row)] = text;
    return rows;
  }

  TempFolder folder_{"preview"};
  data::GLOBALVARIABLE globals_;
  RecordedPrompts prompts_;
  std::unique_ptr<WINSETTING> dialog_;
  TemplatePreview* preview_ = nullptr;
};

TEST_F(TemplatePreviewTest, DefaultsWithTheSampleItemCellByCell) {
  Open();
  EXPECT_EQ(preview_->itemName(), TemplatePreview::kSampleName);
  ASSERT_EQ(TemplatePreview::kSampleName.size(), 50u);
  EXPECT_EQ(Shown(TemplatePreview::kConnected), Screen({{3, "     CONNECTED      "}}));
  EXPECT_EQ(preview_->display(TemplatePreview::kConnected)->rowFont(3), display::Font::kLarge);
  EXPECT_EQ(Shown(TemplatePreview::kScanOk), Screen({{0, " Minyak Goreng Kela "},
                                                     {1, " pa Sawit Premium R "},
                                                     {2, "   efill 2 Liters   "},
                                                     {7, "   32.500 / 1 PCS   "}}));
  EXPECT_EQ(preview_->display(TemplatePreview::kScanOk)->rowFont(7), display::Font::kLarge);
  EXPECT_EQ(preview_->display(TemplatePreview::kScanOk)->rowFont(0), display::Font::kSmall);
  EXPECT_EQ(Shown(TemplatePreview::kScanFailed), Screen({{0, "8990000000000, Kode "}, {1, "tidak ketemu !      "}}));
  for (const char* note : {"NOTE_CONNECTED", "NOTE_SCANOK", "NOTE_SCANGAGAL"}) {
    EXPECT_FALSE(Control<QLabel>(note)->isVisible()) << note;
  }
}

TEST_F(TemplatePreviewTest, FollowsEveryKeystroke) {
  Open();
  Retype("CONNECTED", "{esc}%AB");
  EXPECT_EQ(Shown(TemplatePreview::kConnected), Screen({{0, "AB" + std::string(18, ' ')}}));
  // One more key at a time: each one is drawn before the next arrives.
  auto* edit = Control<QPlainTextEdit>("CONNECTED");
  QTest::keyClick(edit, Qt::Key_C);
  EXPECT_EQ(Shown(TemplatePreview::kConnected)[0], "ABc" + std::string(17, ' '));
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(Shown(TemplatePreview::kConnected)[0], "A" + std::string(19, ' '));
  Retype("CONNECTED", "{esc}%{esc}B{0x31}{esc}.{0x34}HALO{0x03}");
  EXPECT_EQ(Shown(TemplatePreview::kConnected), Screen({{3, "        HALO        "}}));
  EXPECT_EQ(preview_->display(TemplatePreview::kConnected)->rowFont(3), display::Font::kLarge);

  Retype("SCANOK", "{esc}%{esc}.{0x31}LEFT({namaitem},6){0x03}{esc}.{0x38}{hargajual}{0x03}");
  EXPECT_EQ(Shown(TemplatePreview::kScanOk), Screen({{0, "       Minyak       "}, {7, "      32.500 / 1 PCS"}}));
  Retype("SCANGAGAL", "{esc}%X{errmsg}");
  EXPECT_EQ(Shown(TemplatePreview::kScanFailed)[0], "X8990000000000, Kode");

  // "Reset to Default Command" refills the fields, and the preview follows.
  Control<QPushButton>("BUTTONRESETDEFAULT")->click();
  EXPECT_EQ(Shown(TemplatePreview::kConnected), Screen({{3, "     CONNECTED      "}}));
  EXPECT_EQ(Shown(TemplatePreview::kScanOk)[0], " Minyak Goreng Kela ");
}

TEST_F(TemplatePreviewTest, MarksTextSentAsWrittenButSavesIt) {
  Open();
  const QString bad = QStringLiteral("{esc}%{Esc}MID({namaitem},3)");
  Retype("CONNECTED", bad);
  auto* note = Control<QLabel>("NOTE_CONNECTED");
  EXPECT_TRUE(note->isVisible());
  EXPECT_TRUE(note->text().contains(QStringLiteral("7: \"{Esc}\" is no placeholder"))) << note->text().toStdString();
  EXPECT_TRUE(note->text().contains(QStringLiteral("\"MID(\" is no function"))) << note->text().toStdString();
  EXPECT_TRUE(note->text().contains(QStringLiteral("\"{namaitem}\" has no item"))) << note->text().toStdString();
  const auto marks = Control<QPlainTextEdit>("CONNECTED")->extraSelections();
  ASSERT_EQ(marks.size(), 3);
  EXPECT_EQ(marks[0].cursor.selectionStart(), 6);
  EXPECT_EQ(marks[0].cursor.selectedText(), "{Esc}");
  EXPECT_EQ(marks[1].cursor.selectedText(), "MID(");
  EXPECT_EQ(marks[2].cursor.selectedText(), "{namaitem}");
  // The other fields are clean, and stay unmarked.
  EXPECT_FALSE(Control<QLabel>("NOTE_SCANOK")->isVisible());
  EXPECT_TRUE(Control<QPlainTextEdit>("SCANOK")->extraSelections().isEmpty());

  // An unclosed call in the found-item template, marked under its own field.
  Retype("SCANOK", "{esc}%LEFT({namaitem},18");
  EXPECT_TRUE(Control<QLabel>("NOTE_SCANOK")->text().contains(QStringLiteral("7: \"LEFT(\" has no")))
      << Control<QLabel>("NOTE_SCANOK")->text().toStdString();
  Retype("SCANOK", "{esc}%LEFT({namaitem},18)");
  EXPECT_FALSE(Control<QLabel>("NOTE_SCANOK")->isVisible());
  EXPECT_TRUE(Control<QPlainTextEdit>("SCANOK")->extraSelections().isEmpty());

  // Marks never block a save: the text is stored as written.
  Control<QPushButton>("BUTTONSIMPAN")->click();
  EXPECT_TRUE(prompts_.errors.isEmpty()) << prompts_.errors.join("|").toStdString();
  EXPECT_EQ(dialog_->result(), WINSETTING::kSaved);
  EXPECT_EQ(globals_.CCONFIGCOMCONN(), bad.toStdString());
}

TEST_F(TemplatePreviewTest, HexOnRequest) {
  Open();
  auto* hex = Control<QPlainTextEdit>("PREVIEW_HEX_CONNECTED");
  EXPECT_FALSE(hex->isVisible());
  Control<QCheckBox>("PREVIEW_HEX")->setChecked(true);
  EXPECT_TRUE(hex->isVisible());
  EXPECT_EQ(hex->toPlainText(), "1B 25 1B 42 31 1B 2E 34\n43 4F 4E 4E 45 43 54 45\n44 03");
  Retype("CONNECTED", "{esc}%{0xff}");
  EXPECT_EQ(hex->toPlainText(), "1B 25 FF");
  EXPECT_EQ(preview_->stream(TemplatePreview::kConnected), "\x1B%\xFF");
  Control<QCheckBox>("PREVIEW_HEX")->setChecked(false);
  EXPECT_FALSE(hex->isVisible());
}

TEST_F(TemplatePreviewTest, ItemsOfTheOpenDataFolder) {
  OpenDemoDatabase();
  Open();
  // Without a typed code: the first item that prices, not the sample.
  const std::string first = preview_->itemName();
  EXPECT_NE(first, TemplatePreview::kSampleName);
  EXPECT_FALSE(first.empty());
  EXPECT_NE(Shown(TemplatePreview::kScanOk)[7].find(" / "), std::string::npos);

  // A typed code that is found: its item, with its price.
  auto* code = Control<QLineEdit>("PREVIEW_CODE");
  QTest::keyClicks(code, "SAMPO01");
  EXPECT_EQ(preview_->itemName(), "Sampo Anti Ketombe");
  EXPECT_EQ(Shown(TemplatePreview::kScanOk)[0], " Sampo Anti Ketombe ");
  EXPECT_NE(Shown(TemplatePreview::kScanOk)[7].find(" / 1 BTL"), std::string::npos) << Shown(TemplatePreview::kScanOk)[7];
  EXPECT_EQ(Shown(TemplatePreview::kScanFailed)[0], "8990000000000, Kode ");

  // A code that fails: the failure shows its error, the found item falls back to the first.
  code->clear();
  QTest::keyClicks(code, "NOPE404");
  EXPECT_EQ(Shown(TemplatePreview::kScanFailed), Screen({{0, "NOPE404, Kode tidak "}, {1, "ketemu !            "}}));
  EXPECT_EQ(preview_->itemName(), first);
  EXPECT_TRUE(Control<QLabel>("PREVIEW_ITEM")->toolTip().contains("Kode tidak ketemu"));
}

TEST_F(TemplatePreviewTest, TheFirstItemThatPricesNotTheFirstRecord) {
  // Records that a scan refuses come first: hidden, not for the retail counter, off in this warehouse.
  std::vector<data::demo::DemoItem> stock;
  for (const auto& item : data::demo::ShowcaseItems()) {
    if (item.id == data::demo::items::kHidden || item.id == data::demo::items::kNotRetail ||
        item.id == data::demo::items::kOtherWarehouse) {
      stock.insert(stock.begin(), item);
    } else if (item.id == data::demo::items::kCoffee18) {
      stock.push_back(item);
    }
  }
  OpenDemoDatabase(&stock);
  Open();
  EXPECT_EQ(preview_->itemName(), "Kopi Bubuk 200gram");
  EXPECT_EQ(Shown(TemplatePreview::kScanOk)[0], " Kopi Bubuk 200gram ");
}

}  // namespace
}  // namespace kt::ui
