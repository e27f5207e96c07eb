// A program run by the operating system's service manager.
//
// Windows (system_service_windows.cpp): install and uninstall through the service control
// manager (needs an administrator), and run under it: the service reports itself running, a
// stop or shutdown control asks the program to stop (StopRequest::RequestStop) and the service
// reports stopped with the program's exit code. A service has no console, so standard output and
// error go to a log file. The manager, not the crash handler, restarts a failed service (the
// failure actions set at install: three restarts, then none until a day has passed).
// Linux (system_service_linux.cpp): services are systemd units installed with the package;
// everything here answers InvalidArgument and says so.
//
// Thread safety: called from the main thread.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/status.h"

namespace kt::platform {

struct ServiceDefinition {
  std::string name;          // the manager's key, no blanks
  std::string display_name;  // as the services list shows it
  std::string description;
  std::vector<std::string> arguments;  // after the program's path, e.g. {"--service", "run", ...}
};

// False where the program cannot install or run itself as a service (Linux).
bool SystemServicesSupported();

// Registers this program (automatic start, own process). Unavailable when a service of that name
// exists; IOError with the system's reason otherwise.
Status InstallService(const ServiceDefinition& service);

// Stops the service when it runs (waiting up to 30 s), then removes it. NotFound when there
// is none of that name.
Status UninstallService(const std::string& name);

// Runs `body` as the service `name`, with standard output and error appended to `log_file`.
// Returns body's exit code; Unavailable when the program was not started by the service manager.
Result<int> RunService(const std::string& name, const std::filesystem::path& log_file,
                       const std::function<int()>& body);

}  // namespace kt::platform
