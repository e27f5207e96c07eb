// kt-vistrand-screenshots OUTDIR: renders the server's windows offscreen, filled with a typical
// morning's activity, into OUTDIR/server-main-window.png, server-settings.png,
// server-settings-marks.png and server-test-window.png (the images of the README).
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "server/data/database.h"
#include "server/data/demo/demo_data.h"
#include "server/data/global_variable.h"
#include "server/data/settings_table.h"
#include "server/ui/line_log.h"
#include "server/ui/server_control.h"
#include "server/ui/window_sink.h"
#include "server/ui/winsetting.h"
#include "server/ui/winstarting.h"
#include "server/ui/wintestresult.h"

namespace {

// A server whose self-test has passed.
class ServingServer : public kt::ui::ServerControl {
 public:
  void StartServer() override {}
  bool Listening() const override { return true; }
  bool ProbeSent() const override { return true; }
  bool SelfTestPassed() const override { return true; }
  uint16_t Port() const override { return 9101; }
  bool RetryDatabase() override { return false; }
  bool DatabaseOpen() const override { return true; }
};

bool Save(QWidget& w, const std::filesystem::path& file) {
  w.show();
  if (!QTest::qWaitForWindowExposed(&w)) return false;
  QApplication::processEvents();
  return w.grab().save(QString::fromStdString(file.string()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kt-vistrand-screenshots OUTDIR\n");
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const std::filesystem::path out = argv[1];
  const std::filesystem::path work = std::filesystem::temp_directory_path() / ("kt_shots_" + std::to_string(::getpid()));
  std::filesystem::create_directories(out);
  std::filesystem::create_directories(work);

  kt::data::GLOBALVARIABLE globals;
  kt::ui::WindowSink sink(nullptr);
  bool ok = kt::data::LoadSettings(work, globals).ok() && kt::data::demo::WriteDemoDataSet(work / "DATA").ok();
  kt::data::ConfigValues config = globals.Config();
  config.location = (work / "DATA").string() + "/";
  globals.SetConfig(config);
  ok = ok && kt::data::DBMAINOPEN(globals, sink);

  ServingServer server;
  kt::ui::WINSTARTING::Options options;
  options.workdir = work;
  options.tray_available = false;
  options.prompts.confirm = [](QWidget*, const QString&) { return false; };
  options.prompts.error = [](QWidget*, const QString&) {};
  options.prompts.info = [](QWidget*, const QString&, const QString&) {};
  {
    kt::ui::WINSTARTING window(server, globals, sink, options);
    window.PostInit();
    if (!QTest::qWaitFor([&window] { return !window.probeRunning(); }, 5000))
      std::fprintf(stderr, "the self-test probe did not finish; the picture may show it running\n");
    window.TIMERSTOP();
    for (const char* line : {"Start port listening... ", "Firewall testing passed...",
                             "Connection from 192.168.1.31 on: 08:01:12",
                             "Connection (1) accepted from 192.168.1.31 on: 08:01:12",
                             "Connection from 192.168.1.32 on: 08:02:40",
                             "Connection (2) accepted from 192.168.1.32 on: 08:02:40"}) {
      sink.ConnectedInfo(line);
    }
    for (const char* line : {"192.168.1.31 Received Data: F8991002100012", "192.168.1.32 Received Data: FKOPI200",
                             "192.168.1.31 Received Data: F8990000000088", "192.168.1.32 Received Data: FXYZ123",
                             "###ERR### : XYZ123, Kode tidak ketemu !"}) {
      sink.ScanInfo(line);
    }
    ok = Save(window, out / "server-main-window.png") && ok;

    {
      // The settings dialog with its preview of an item of the open data folder.
      kt::ui::WINSETTING settings(work, globals, sink, options.prompts);
      settings.findChild<QLineEdit*>("LOKASI")->setText("/srv/akuntansi/");  // a typical location
      QTest::keyClicks(settings.findChild<QLineEdit*>("PREVIEW_CODE"), "SAMPO01");
      ok = Save(settings, out / "server-settings.png") && ok;
      // A typo in the greeting, marked under its field, and the bytes in hex.
      auto* connected = settings.findChild<QPlainTextEdit*>("CONNECTED");
      connected->setPlainText("{esc}%{esc}B{0x31}{esc}.{0x34}CONNECTED{0x03}{ESC}.{0x37}LEFT({namaitem},5");
      settings.findChild<QCheckBox*>("PREVIEW_HEX")->setChecked(true);
      ok = Save(settings, out / "server-settings-marks.png") && ok;
    }

    kt::ui::WINTESTRESULT test(globals, sink);
    QTest::keyClicks(&test, "aq600");
    QTest::keyClick(&test, Qt::Key_Return);
    ok = Save(test, out / "server-test-window.png") && ok;
  }
  std::error_code ignored;
  std::filesystem::remove_all(work, ignored);
  if (!ok) std::fprintf(stderr, "kt-vistrand-screenshots: a window could not be rendered\n");
  return ok ? 0 : 1;
}
