// kx25config: the KX25 terminals' configuration tool on the desktop.
//
//   kx25config [MARLO|RS232|SEARCHONLY]   the main window
//   kx25config --version                  prints the version
//
// KX25_DISCOVERY_TO=ADDR[:PORT] sends discovery requests there instead of broadcasting them, and
// KX25_TFTP_PORT=N sends firmware to that TFTP port instead of 69 (tests, demonstrations with
// kx25sim and a TFTP server on loopback).
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tool/discovery/destination.h"
#include "tool/ui/host_loop.h"
#include "tool/ui/main_window.h"

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-V") == 0)) {
    std::printf("kx25config %s\n", kt::ui::ProgramVersion().toLatin1().constData());
    return 0;
  }
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("usage: kx25config [MARLO|RS232|SEARCHONLY]\n"
                "       kx25config --version\n"
                "KX25_DISCOVERY_TO=ADDR[:PORT] sends discovery requests there instead of broadcasting.\n"
                "KX25_TFTP_PORT=N uploads firmware to that TFTP port instead of 69.\n");
    return 0;
  }
  auto to = kt::discovery::DestinationFromEnvironment();
  if (!to.ok()) {
    std::fprintf(stderr, "kx25config: %s\n", to.status().message().c_str());
    return 2;
  }
  uint16_t tftp_port = 0;
  if (const char* port = std::getenv("KX25_TFTP_PORT"); port && *port) {
    char* end = nullptr;
    const long value = std::strtol(port, &end, 10);
    if (*end != '\0' || value < 1 || value > 65535) {
      std::fprintf(stderr, "kx25config: KX25_TFTP_PORT: '%s' is not a port\n", port);
      return 2;
    }
    tftp_port = static_cast<uint16_t>(value);
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kx25config"));
  QApplication::setApplicationVersion(kt::ui::ProgramVersion());
  app.setQuitOnLastWindowClosed(false);  // the host loop decides when the program ends

  kt::ui::ToolState state;
  if (argc >= 2) state.flags = kt::ui::ParseProgramWord(argv[1]);
  state.discovery_to = *to;
  kt::ui::UiServices services = kt::ui::DefaultServices();
  services.tftp_port = tftp_port;
  return kt::ui::RunHostLoop(state, services);
}
