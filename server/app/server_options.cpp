#include "server/app/server_options.h"

#include <filesystem>
#include <string>

#include "common/cli/command_line.h"
#include "common/platform/service/system_service.h"

namespace kt::app {

std::optional<int> ParseServerOptions(int argc, const char* const* argv, ServerOptions& options,
                                      std::ostream& out, std::ostream& err) {
  cli::CommandLine cl("kt-vistrand-server",
                      "The KT-Vistrand TCP Server: answers the price checks of KX25 terminals from the "
                      "accounting data. With a window on a desktop, or with --headless as a service; "
                      "logs go to standard output (to the journal under systemd).");
  CLI::App& app = cl.app();
  std::string workdir = ".";
  int port = -1;
  std::string data, bind;
  app.add_flag("--headless", options.headless, "run without a window");
  app.add_option("--workdir", workdir,
                 "working folder: settings table KTVISTRD.DAT, lock, logs (default: the current folder)")
      ->type_name("DIR");
  app.add_option("--port", port, "TCP port for this run (0: a free port), instead of the stored one")
      ->type_name("N")
      ->envname("KT_VISTRAND_PORT")
      ->check(CLI::Range(0, 65535));
  app.add_option("--data", data,
                 "accounting data for this run: the folder holding ST_DB, or ST_DB itself")
      ->type_name("LOCATION")
      ->envname("KT_VISTRAND_DATA");
  app.add_option("--bind", bind, "listen on this local address only")
      ->type_name("IP")
      ->envname("KT_VISTRAND_BIND")
      ->check(cli::kIpv4);
  app.add_option("--max-sessions", options.core.max_sessions,
                 "live sessions beyond which a terminal is refused (default 1000)")
      ->type_name("N")
      ->check(CLI::Range(1, 1000000));
  bool no_restart = false;
  app.add_flag("--no-restart", no_restart,
               "after a run-time error report and end; do not start a new instance");
  // Where the program cannot be a service of its own, the option is not offered; given anyway,
  // it is answered with the reason rather than "not expected".
  const bool services = platform::SystemServicesSupported();
  CLI::Option* service = app.add_option("--service", options.service,
                 "Windows service: install (with the other options given here), uninstall, or run (for "
                 "the service manager)")
      ->type_name("ACTION")
      ->check(CLI::IsMember({"install", "uninstall", "run"}));
  if (!services) service->group("");  // an empty group is not shown
  if (auto done = cl.Parse(argc, argv, out, err)) return done;
  if (!options.service.empty() && !services) {
    return cl.UsageError(err, "--service is for Windows only; on Linux the server runs as the systemd service "
                              "the package installs (kt-vistrand-server.service)");
  }

  options.core.workdir = workdir.empty() ? std::filesystem::path(".") : std::filesystem::path(workdir);
  if (port >= 0) options.core.port = static_cast<uint16_t>(port);
  if (!data.empty()) options.core.data_location = data;
  options.core.bind_ip = bind;
  options.restart = !no_restart;
  return std::nullopt;
}

}  // namespace kt::app
