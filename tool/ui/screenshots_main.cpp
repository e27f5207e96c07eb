// kx25config-screenshots OUTDIR: renders the tool's windows offscreen into OUTDIR: the classic
// main window after a scan of simulated terminals on loopback (kx25config-classic.png), the
// graphical mode (kx25config-graphical.png), the adapter dialog (kx25config-adapters.png) and the
// firmware dialog (kx25config-firmware.png), the images of the README.
#include <QApplication>
#include <QEventLoop>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tool/ui/adapter_dialogs.h"
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
  if (!ok) std::fprintf(stderr, "kx25config-screenshots: a window could not be rendered\n");
  return ok ? 0 : 1;
}
