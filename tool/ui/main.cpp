// kx25config: the KX25 terminals' configuration tool on the desktop.
//
//   kx25config [MARLO|RS232|SEARCHONLY]   the main window
//   kx25config --version                  prints the version
//   kx25config --help                     prints the usage (neither needs a display)
//
// KX25_DISCOVERY_TO=ADDR[:PORT] sends discovery requests there instead of broadcasting them, and
// KX25_TFTP_PORT=N sends firmware to that TFTP port instead of 69 (tests, demonstrations with
// kx25sim and a TFTP server on loopback).
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "common/cli/command_line.h"
#include "common/text/text.h"
#include "tool/discovery/destination.h"
#include "tool/ui/host_loop.h"
#include "tool/ui/main_window.h"

int main(int argc, char** argv) {
  kt::cli::CommandLine cl("kx25config",
                          "The KX25 terminals' configuration tool: finds terminals by UDP broadcast, "
                          "configures them, opens their TCP terminal and uploads firmware.");
  std::string word;
  cl.app().add_option("MODE", word,
                      "MARLO (retail-chain firmware pages), RS232 (serial-port pages) or SEARCHONLY "
                      "(Scan only), any case");
  cl.app().footer(
      "KX25_DISCOVERY_TO=ADDR[:PORT] sends discovery requests there instead of broadcasting.\n"
      "KX25_TFTP_PORT=N uploads firmware to that TFTP port instead of 69.");
  if (auto done = cl.Parse(argc, argv, std::cout, std::cerr)) return *done;
  auto to = kt::discovery::DestinationFromEnvironment();
  if (!to.ok()) {
    std::fprintf(stderr, "kx25config: %s\n", to.status().message().c_str());
    return 2;
  }
  uint16_t tftp_port = 0;
  if (const char* port = std::getenv("KX25_TFTP_PORT"); port && *port) {
    const std::optional<long long> value = kt::text::ParseIntegerLenient(port, 1, 65535);
    if (!value) {
      std::fprintf(stderr, "kx25config: KX25_TFTP_PORT: '%s' is not a port\n", port);
      return 2;
    }
    tftp_port = static_cast<uint16_t>(*value);
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kx25config"));
  QApplication::setApplicationVersion(kt::ui::ProgramVersion());
  app.setQuitOnLastWindowClosed(false);  // the host loop decides when the program ends

  kt::ui::ToolState state;
  state.flags = kt::ui::ParseProgramWord(word);
  state.discovery_to = *to;
  kt::ui::UiServices services = kt::ui::DefaultServices();
  services.tftp_port = tftp_port;
  return kt::ui::RunHostLoop(state, services);
}
