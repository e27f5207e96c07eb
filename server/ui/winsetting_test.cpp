#include "server/ui/winsetting.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "server/data/data_folder.h"
#include "server/reply/default_templates.h"
#include "server/ui/qt_test_app.h"
#include "server/ui/ui_test_support.h"

namespace kt::ui {
namespace {

using testing::RecordedPrompts;
using testing::TempFolder;

const QString kPortWrong = QStringLiteral("Port salah diisi! ( 1000 s/d 65535 )");
const QString kRestart = QStringLiteral(
    "KT-Vistrand TCP Server|Please restart KT-Vistrand TCP Server...\r\nMohon restart KT-Vistrand TCP Server...");

class WinSettingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    std::filesystem::create_directories(folder_.path() / "DATA" / "ST_DB");
    std::filesystem::create_directories(folder_.path() / "DATA.2024" / "ST_DB");
    ASSERT_TRUE(data::LoadSettings(folder_.path(), globals_).ok());
    data::ConfigValues config = globals_.Config();
    config.location = Location("DATA");
    globals_.SetConfig(config);
  }

  std::string Location(const std::string& name) const {
    return (folder_.path() / name).string() + data::kPathSeparator;
  }

  void Open() {
    dialog_ = std::make_unique<WINSETTING>(folder_.path(), globals_, NullEventSink(), prompts_.Make());
    dialog_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
  }

  template <typename T>
  T* Control(const char* name) const { return dialog_->findChild<T*>(name); }

  TempFolder folder_{"winsetting"};
  data::GLOBALVARIABLE globals_;
  RecordedPrompts prompts_;
  std::unique_ptr<WINSETTING> dialog_;
};

TEST_F(WinSettingTest, FilledFromTheSettingsObject) {
  Open();
  EXPECT_EQ(dialog_->windowTitle(), "Setting");
  EXPECT_EQ(Control<QLineEdit>("LOKASI")->text().toStdString(), Location("DATA"));
  EXPECT_EQ(Control<QLineEdit>("PORT")->text(), "9101");
  auto* level = Control<QComboBox>("HARGAJUAL");
  ASSERT_EQ(level->count(), 6);
  EXPECT_EQ(level->itemText(0), "--- Auto ---");
  EXPECT_EQ(level->itemText(5), "Harga Jual ke-5");
  EXPECT_EQ(level->itemData(5).toInt(), 5);
  EXPECT_EQ(level->currentIndex(), 0);
  EXPECT_EQ(Control<QPlainTextEdit>("SCANOK")->toPlainText().toStdString(), reply::DefaultComOk());
  for (const char* name : {"BUTTONBROWSE", "BUTTONRESETDEFAULT", "BUTTONTUTUPAPLIKASI", "BUTTONTUTUP", "BUTTONSIMPAN"}) {
    EXPECT_NE(Control<QPushButton>(name), nullptr) << name;
  }
  EXPECT_EQ(Control<QPushButton>("BUTTONTUTUPAPLIKASI")->text(), "Tutup &Aplikasi");
}

struct SaveCase {
  const char* name;
  std::string location;  // folder name below the test folder; "" keeps the stored one
  const char* port;
  QString error;         // expected error box; empty for a save
  const char* focus;     // field that gets the focus back
  int result;            // dialog result after a save
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SaveCase& c, std::ostream* os) { *os << c.name; }

class WinSettingSaveTest : public WinSettingTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(WinSettingSaveTest, RulesAndOutcome) {
  const SaveCase& c = GetParam();
  Open();
  if (!c.location.empty()) {
    const std::string location = c.location[0] == '\\' ? c.location : Location(c.location);
    Control<QLineEdit>("LOKASI")->setText(QString::fromStdString(location));
  }
  Control<QLineEdit>("PORT")->setText(c.port);
  QTest::mouseClick(Control<QPushButton>("BUTTONSIMPAN"), Qt::LeftButton);

  if (!c.error.isEmpty()) {
    ASSERT_EQ(prompts_.errors.size(), 1);
    EXPECT_TRUE(prompts_.errors.front().startsWith(c.error)) << prompts_.errors.front().toStdString();
    EXPECT_TRUE(dialog_->isVisible()) << "the dialog stays open";
    EXPECT_EQ(dialog_->focusWidget(), Control<QWidget>(c.focus));
    EXPECT_EQ(globals_.WCONFIGPORT(), 9101) << "nothing saved";
    data::GLOBALVARIABLE reread;
    ASSERT_TRUE(data::LoadSettings(folder_.path(), reread).ok());
    EXPECT_EQ(reread.WCONFIGPORT(), 9101);
    return;
  }
  EXPECT_TRUE(prompts_.errors.isEmpty()) << prompts_.errors.join("\n").toStdString();
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(dialog_->result(), c.result);
  const uint16_t port = static_cast<uint16_t>(std::stoi(c.port));
  EXPECT_EQ(globals_.WCONFIGPORT(), port);
  EXPECT_EQ(prompts_.infos, c.result == WINSETTING::kCloseApplication ? QStringList{kRestart} : QStringList{});
  data::GLOBALVARIABLE reread;
  ASSERT_TRUE(data::LoadSettings(folder_.path(), reread).ok());
  EXPECT_EQ(reread.WCONFIGPORT(), port);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinSettingSaveTest,
    ::testing::Values(
        SaveCase{"Port999", "", "999", kPortWrong, "PORT", 0},
        SaveCase{"Port65536", "", "65536", kPortWrong, "PORT", 0},
        SaveCase{"PortEmpty", "", "", "Port belum diisi! ( 1000 s/d 65535 )", "PORT", 0},
        SaveCase{"Port1000", "", "1000", "", nullptr, WINSETTING::kCloseApplication},
        SaveCase{"Port65535", "", "65535", "", nullptr, WINSETTING::kCloseApplication},
        SaveCase{"NetworkPath", "\\\\server\\share", "9101",
                 "Mengakses data sharing secara langsung via Network Resource tidak dibolehkan.", "LOKASI", 0},
        SaveCase{"DotInName", "DATA.2024", "9101",
                 "Nama folder tidak boleh ada character titik (.) atau koma (,) !", "LOKASI", 0},
        SaveCase{"MissingDataFolder", "NOWHERE", "9101", "Sistem tidak menemukan Data Folder ! ( ", "LOKASI", 0},
        SaveCase{"Unchanged", "", "9101", "", nullptr, WINSETTING::kSaved}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WinSettingTest, EmptyTemplateKeepsTheFocusOnIt) {
  Open();
  Control<QPlainTextEdit>("SCANGAGAL")->setPlainText("  ");
  dialog_->BUTTONSIMPAN();
  EXPECT_EQ(prompts_.errors, QStringList{"Command Scan Gagal belum diisi"});
  EXPECT_EQ(dialog_->focusWidget(), Control<QWidget>("SCANGAGAL"));
}

TEST_F(WinSettingTest, UnchangedPortAndLocationApplyTemplatesAtOnce) {
  Open();
  Control<QPlainTextEdit>("SCANOK")->setPlainText("{namaitem} {hargajual}{0x03}");
  Control<QComboBox>("HARGAJUAL")->setCurrentIndex(3);
  dialog_->BUTTONSIMPAN();
  EXPECT_EQ(dialog_->result(), WINSETTING::kSaved);
  EXPECT_TRUE(prompts_.infos.isEmpty()) << "no restart notice";
  EXPECT_EQ(globals_.CCONFIGCOMOK(), "{namaitem} {hargajual}{0x03}");
  EXPECT_EQ(globals_.WCONFIGHARGAJUAL(), 3);
}

TEST_F(WinSettingTest, StDbSuffixIsStoredWithoutIt) {
  Open();
  Control<QLineEdit>("LOKASI")->setText(QString::fromStdString(Location("DATA") + "ST_DB" + data::kPathSeparator));
  dialog_->BUTTONSIMPAN();
  EXPECT_EQ(dialog_->result(), WINSETTING::kSaved);
  EXPECT_EQ(globals_.Config().location, Location("DATA"));
}

TEST_F(WinSettingTest, BrowseResetAndTheCloseButtons) {
  Open();
  QString asked_caption;
  dialog_->chooseFolder = [&](QWidget*, const QString& caption, const QString&) {
    asked_caption = caption;
    return QString::fromStdString((folder_.path() / "DATA").string());
  };
  QTest::mouseClick(Control<QPushButton>("BUTTONBROWSE"), Qt::LeftButton);
  EXPECT_EQ(asked_caption, "Silahkan pilih lokasi Data Folder:");
  EXPECT_EQ(Control<QLineEdit>("LOKASI")->text().toStdString(), Location("DATA"));

  Control<QPlainTextEdit>("CONNECTED")->setPlainText("x");
  QTest::mouseClick(Control<QPushButton>("BUTTONRESETDEFAULT"), Qt::LeftButton);
  EXPECT_EQ(Control<QPlainTextEdit>("CONNECTED")->toPlainText().toStdString(), reply::DefaultComConn());
  EXPECT_EQ(globals_.CCONFIGCOMCONN(), reply::DefaultComConn()) << "nothing saved by the reset itself";

  QTest::mouseClick(Control<QPushButton>("BUTTONTUTUPAPLIKASI"), Qt::LeftButton);
  EXPECT_EQ(dialog_->result(), WINSETTING::kCloseApplication);
  Open();
  QTest::mouseClick(Control<QPushButton>("BUTTONTUTUP"), Qt::LeftButton);
  EXPECT_EQ(dialog_->result(), WINSETTING::kClosed);
}

}  // namespace
}  // namespace kt::ui
