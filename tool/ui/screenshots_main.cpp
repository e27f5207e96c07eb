// kx25config-screenshots OUTDIR: renders the tool's windows offscreen into OUTDIR: the classic
// main window after a scan of simulated terminals on loopback (kx25config-classic.png), the
// graphical mode (kx25config-graphical.png), the adapter dialog (kx25config-adapters.png) and the
// firmware dialog (kx25config-firmware.png), every page of the configuration dialog
// (kx25config-page-*.png) and the TCP terminal window answering a scan (kx25config-terminal.png),
// the images of the README.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTabWidget>
#include <QEventLoop>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "sim/tcp/server_terminal.h"
#include "tool/config/config_record.h"
#include "tool/config/exchange.h"
#include "tool/ui/adapter_dialogs.h"
#include "tool/ui/config_dialog.h"
#include "tool/ui/terminal_window.h"
#include "tool/ui/firmware_dialog.h"
#include "tool/ui/main_window.h"
#include "tool/ui/sim_fixture.h"

namespace {

using kt::ui::testing::SimTerminal;

const std::vector<SimTerminal> kShop = {
    {"192.168.1.31", "03.10", "Kasir depan"},        {"192.168.1.32", "03.10", "Rak minuman"},
    {"192.168.1.33", "02.10", "Gudang belakang"},    {"192.168.1.120", "03.12", "Lorong 4 - makanan ringan"},
    {"192.168.1.45", "01.05", "Kasir 2"},           {"192.168.1.46", "03.12", "Pintu masuk"},
};

bool Save(QWidget& w, const std::filesystem::path& file, const QRegion& shape = {}) {
  w.show();
  if (!QTest::qWaitForWindowExposed(&w)) return false;
  QApplication::processEvents();
  QImage image = w.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  if (!shape.isEmpty()) {  // the skin's cut-out parts are transparent in the picture too
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (!shape.contains(QPoint(x, y))) image.setPixel(x, y, 0);
      }
    }
  }
  return image.save(QString::fromStdString(file.string()));
}

bool ScanAndWait(kt::ui::MainWindow& w) {
  QEventLoop loop;
  QObject::connect(&w, &kt::ui::MainWindow::ScanEnded, &loop, &QEventLoop::quit);
  QTimer::singleShot(30000, &loop, &QEventLoop::quit);
  w.ScanPressed();
  loop.exec();
  return !w.scanning() && w.device_list()->count() > 0;
}

// Every page of the configuration dialog of a terminal read from the simulator, with the RS232
// page the "RS232" start word adds.
bool SaveConfigPages(kt::ui::ToolState& state, kt::ui::testing::FakeServices& fake, const kt::config::Mac& mac,
                     const std::filesystem::path& out) {
  const kt::discovery::DeviceEntry* entry = state.table.Find(mac);
  if (!entry) return false;
  auto decoded = kt::config::DecodeConfigRecord(entry->slot);
  if (!decoded.ok()) return false;
  struct NoErrors : kt::config::ExchangeErrors {
    void ShowError(const std::string&) override {}
  } errors;
  kt::config::ExchangeOptions o;
  o.destination = *state.discovery_to;
  kt::config::Configuration c = kt::config::CompleteConfiguration(std::move(*decoded), o, errors);
  c.lines[kt::config::kIdle1].text = "Selamat datang";
  c.lines[kt::config::kIdle2].text = "Silakan pindai harga";
  c.lines[kt::config::kError1].text = "Barang tidak ditemukan";
  kt::ui::ConfigDialogOptions options;
  options.rs232_word = true;
  kt::ui::ConfigDialog dialog(c, options, fake.services);
  dialog.wireless()->security->setCurrentIndex(2);  // WPA-Personal: its key and lists shown
  bool ok = true;
  const char* const kNames[] = {"network", "wireless", "messages", "rs232", "misc"};
  for (int i = 0; i < dialog.tabs()->count() && i < 5; ++i) {
    dialog.tabs()->setCurrentIndex(i);
    ok = Save(dialog, out / (std::string("kx25config-page-") + kNames[i] + ".png")) && ok;
  }
  return ok;
}

// The TCP terminal window connected to a simulated terminal in server mode, after a scanned code
// was answered with a demonstration screen.
bool SaveTerminal(const std::filesystem::path& file) {
  auto server = kt::sim::ServerTerminal::Start({});
  if (!server.ok()) return false;
  kt::terminal::TerminalTarget target{"127.0.0.1", (*server)->port(), 1};
  kt::terminal::SessionOptions options;
  options.echo_checks = [](uint32_t, std::string&) -> kt::terminal::EchoCheck {
    return [](std::string&) { return kt::terminal::EchoVerdict::kAnswered; };
  };
  options.random = [] { return 0u; };
  auto* window = new kt::ui::TerminalWindow(target, std::move(options));
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  window->show();
  window->respond_box()->setChecked(true);
  window->Connect();
  auto wait_for = [](const std::function<bool()>& done) {
    for (int i = 0; i < 1000 && !done(); ++i) QTest::qWait(10);
    return done();
  };
  bool ok = wait_for([&] { return window->connected(); });
  (*server)->Scan("4006381333931");
  ok = ok && wait_for([&] { return window->emulator().clears() >= 2; });
  QTest::qWait(200);
  ok = Save(*window, file) && ok;
  delete window;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kx25config-screenshots OUTDIR\n");
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out);

  auto sim = kt::ui::testing::StartTerminals(kShop);
  if (!sim) {
    std::fprintf(stderr, "kx25config-screenshots: the simulated terminals did not start\n");
    return 1;
  }
  kt::ui::testing::FakeServices fake;
  fake.adapters = {kt::ui::testing::MakeAdapter("enp3s0 (e1000e)", 0x10, {"192.168.1.20"}),
                   kt::ui::testing::MakeAdapter("wlp2s0 (iwlwifi)", 0x11, {"10.0.8.14"}, true)};
  fake.adapters[0].dhcp_enabled = true;
  fake.adapters[0].dhcp_server = "192.168.1.1";
  fake.adapters[1].gateway = "10.0.8.1";
  fake.store.stored.key_existed = true;
  fake.store.stored.adapter_mac = "00:1B:21:3A:4F:10";
  fake.store.stored.adapter_ip = "192.168.1.20";
  fake.store.stored.graphical_ui = 0;

  kt::ui::ToolState state;
  state.discovery_to = sim->endpoint();
  state.scan_seconds = 2;
  bool ok = true;
  {
    kt::ui::MainWindow classic(state, fake.services, false);
    ok = ScanAndWait(classic) && ok;
    classic.device_list()->setCurrentRow(1);
    ok = Save(classic, out / "kx25config-classic.png") && ok;
  }
  fake.store.stored.graphical_ui = 1;
  {
    kt::ui::MainWindow graphical(state, fake.services, true);
    ok = ScanAndWait(graphical) && ok;
    ok = Save(graphical, out / "kx25config-graphical.png", graphical.shape()) && ok;
  }
  {
    kt::ui::AdapterDialog adapters(state.settings, fake.services);
    ok = Save(adapters, out / "kx25config-adapters.png") && ok;
  }
  {
    kt::ui::FirmwareDialog firmware(QStringLiteral("/home/teknisi/firmware/kx25-0312.bin"), fake.services);
    ok = Save(firmware, out / "kx25config-firmware.png") && ok;
  }
  ok = SaveConfigPages(state, fake, sim->MacOf(0), out) && ok;
  ok = SaveTerminal(out / "kx25config-terminal.png") && ok;
  if (!ok) std::fprintf(stderr, "kx25config-screenshots: a window could not be rendered\n");
  return ok ? 0 : 1;
}
