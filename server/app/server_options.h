// The server's command line, read before anything else starts (no Qt, no display needed):
//   kt-vistrand-server [--headless] [--workdir DIR] [--port N] [--data LOCATION] [--bind IP]
//                      [--max-sessions N] [--no-restart] [--service install|uninstall|run]
// --service is for Windows (server/app/service_command.h); on Linux it is left out of the help and
// answered with a usage error that says so (the systemd unit runs the server there).
// --port, --data and --bind may also come from KT_VISTRAND_PORT, KT_VISTRAND_DATA and
// KT_VISTRAND_BIND (the service's environment file); the command line wins.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "server/app/server_core.h"

namespace kt::app {

struct ServerOptions {
  CoreOptions core;      // workdir, port, data location, bind address
  bool headless = false;
  bool restart = true;   // false: the crash handler reports and ends without a successor
  std::string service;   // "install", "uninstall", "run" or empty
};

// Fills `options` from argv. Returns the exit code when the program must end now (help or
// version printed, or a usage error reported on `err`), nullopt when it starts.
std::optional<int> ParseServerOptions(int argc, const char* const* argv, ServerOptions& options,
                                      std::ostream& out, std::ostream& err);

}  // namespace kt::app
