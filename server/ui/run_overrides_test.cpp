// --port and --data hold for one run only: the real start-up core started with them, the main
// window, its settings dialog saving, and the stored settings a later start without them reads.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <ostream>

#include "server/app/server_core.h"
#include "server/data/data_folder.h"
#include "server/data/settings_table.h"
#include "server/ui/activity_list.h"
#include "server/ui/core_control.h"
#include "server/ui/line_log.h"
#include "server/ui/qt_test_app.h"
#include "server/ui/ui_test_support.h"
#include "server/ui/window_sink.h"
#include "server/ui/winsetting.h"
#include "server/ui/winstarting.h"

namespace kt::ui {
namespace {

using testing::RecordedPrompts;
using testing::TempFolder;

const QString kRestart = QStringLiteral(
    "KT-Vistrand TCP Server|Please restart KT-Vistrand TCP Server...\r\nMohon restart KT-Vistrand TCP Server...");

struct Case {
  const char* name;
  // What the user changes in the dialog; empty leaves the field alone.
  std::string location;  // folder below the test folder
  QString port;
  QString scan_ok;
  bool restart_notice;
};

void PrintTo(const Case& k, std::ostream* os) { *os << k.name; }

class RunOverridesTest : public ::testing::TestWithParam<Case> {
 protected:
  std::string Location(const std::string& name) const {
    return (folder_.path() / name).string() + data::kPathSeparator;
  }
  TempFolder folder_{"overrides"};
};

TEST_P(RunOverridesTest, DialogShowsAndSavesTheStoredSettingsOnly) {
  const Case& k = GetParam();
  TestApp();
  for (const char* name : {"SHOP", "TEST", "OTHER"}) std::filesystem::create_directories(folder_.path() / name / "ST_DB");

  // The shop's stored settings.
  data::ConfigValues shop;
  {
    data::GLOBALVARIABLE g;
    ASSERT_TRUE(data::LoadSettings(folder_.path(), g).ok());
    shop = g.StoredConfig();
    shop.location = Location("SHOP");
    shop.WCONFIGHARGAJUAL = 2;
    auto table = data::KTCONFIG::Open(folder_.path());
    ASSERT_TRUE(table.ok());
    ASSERT_TRUE((*table)->Write(shop).ok());
    ASSERT_TRUE((*table)->Close().ok());
  }

  // A technician's run with test data on a port of its own.
  app::CoreOptions options;
  options.workdir = folder_.path();
  options.port = 0;
  options.data_location = Location("TEST");
  options.bind_ip = "127.0.0.1";
  app::ServerCore core(options, NullEventSink());
  ASSERT_TRUE(core.Start().ok());
  const uint16_t port_in_force = core.Port();
  ASSERT_NE(port_in_force, 0);
  ASSERT_NE(port_in_force, shop.WCONFIGPORT);

  RecordedPrompts prompts;
  LineLog log(folder_.path() / "KTVistrd.log");
  WindowSink sink(&log);
  CoreControl control(core);
  WINSTARTING::Options o;
  o.workdir = folder_.path();
  o.prompts = prompts.Make();
  o.tray_available = false;
  o.quit = [] {};
  WINSTARTING window(control, core.globals(), sink, o);
  window.PostInit();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.probesAnswered() == 1; }, 10000));
  // The window shows what is in force.
  EXPECT_EQ(window.findChild<QLineEdit*>("id107")->text(), QString::number(port_in_force));
  EXPECT_TRUE(window.connectionList()->Lines().contains(
      QString::fromStdString("Data (this run only): " + Location("TEST"))));

  // "&Setting": the dialog shows the stored values; the user edits and saves.
  QString shown_location, shown_port;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<WINSETTING*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    poll.stop();
    shown_location = dialog->findChild<QLineEdit*>("LOKASI")->text();
    shown_port = dialog->findChild<QLineEdit*>("PORT")->text();
    if (!k.location.empty()) dialog->findChild<QLineEdit*>("LOKASI")->setText(QString::fromStdString(Location(k.location)));
    if (!k.port.isEmpty()) dialog->findChild<QLineEdit*>("PORT")->setText(k.port);
    if (!k.scan_ok.isEmpty()) dialog->findChild<QPlainTextEdit*>("SCANOK")->setPlainText(k.scan_ok);
    dialog->findChild<QPushButton*>("BUTTONSIMPAN")->click();
    if (dialog->isVisible()) dialog->BUTTONTUTUP();  // a refused save: leave, the checks below tell
  });
  poll.start();
  window.BUTTONSETTING();
  EXPECT_EQ(shown_location.toStdString(), Location("SHOP"));
  EXPECT_EQ(shown_port, QString::number(shop.WCONFIGPORT));
  EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join("; ").toStdString();
  EXPECT_EQ(prompts.infos, k.restart_notice ? QStringList{kRestart} : QStringList{});

  // This run still serves the test data on its own port; edited templates apply at once.
  const data::ConfigValues in_force = core.globals().Config();
  EXPECT_EQ(in_force.location, Location("TEST"));
  EXPECT_EQ(in_force.WCONFIGPORT, 0) << "the --port of this run";
  EXPECT_EQ(core.Port(), port_in_force);
  if (!k.scan_ok.isEmpty()) {
    EXPECT_EQ(in_force.CCONFIGCOMOK, k.scan_ok.toStdString());
  }

  // The next start without options reads the stored settings: unchanged except what was edited.
  data::GLOBALVARIABLE next;
  ASSERT_TRUE(data::LoadSettings(folder_.path(), next).ok());
  data::ConfigValues expected = shop;
  if (!k.location.empty()) expected.location = Location(k.location);
  if (!k.port.isEmpty()) expected.WCONFIGPORT = static_cast<uint16_t>(k.port.toInt());
  if (!k.scan_ok.isEmpty()) expected.CCONFIGCOMOK = k.scan_ok.toStdString();
  const data::ConfigValues stored = next.Config();
  EXPECT_EQ(stored.location, expected.location);
  EXPECT_EQ(stored.WCONFIGPORT, expected.WCONFIGPORT);
  EXPECT_EQ(stored.WCONFIGHARGAJUAL, expected.WCONFIGHARGAJUAL);
  EXPECT_EQ(stored.CCONFIGCOMCONN, expected.CCONFIGCOMCONN);
  EXPECT_EQ(stored.CCONFIGCOMOK, expected.CCONFIGCOMOK);
  EXPECT_EQ(stored.CCONFIGCOMFAIL, expected.CCONFIGCOMFAIL);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, RunOverridesTest,
    ::testing::Values(Case{"Template", "", "", "OK <NAMA>", false},
                      // A new stored port needs a restart; the --port of this run is no change.
                      Case{"Port", "", "9300", "", true},
                      // A new stored location serves from the next start; --data stays in force.
                      Case{"Location", "OTHER", "", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kt::ui
