// kt-vistrand-server --service install|uninstall|run: the server as a service of the operating
// system's service manager (Windows; common/platform/service/system_service.h).
//   install    registers the program to start with Windows, with --service run, the working
//              folder made absolute and the other options of this command line
//   uninstall  stops and removes it
//   run        what the manager starts: the headless server, ended by the manager's stop, logging
//              to kt-vistrand-server.log in the working folder; the manager restarts it after a
//              failure (the crash handler reports but starts no successor)
#pragma once

#include "server/app/server_options.h"

namespace kt::app {

inline constexpr const char* kServiceName = "KTVistrandServer";
inline constexpr const char* kServiceLogName = "kt-vistrand-server.log";

// Returns the exit code.
int RunServiceCommand(const ServerOptions& options, int argc, char** argv);

}  // namespace kt::app
