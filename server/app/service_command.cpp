#include "server/app/service_command.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/platform/service/system_service.h"
#include "server/app/headless.h"
#include "server/errlog/crash_handler.h"

namespace kt::app {
namespace {

constexpr std::string_view kProgram = "kt-vistrand-server";

int Fail(const Status& st) {
  std::fprintf(stderr, "%s: %s\n", kProgram.data(), st.message().c_str());
  return 1;
}

// The service's arguments: this command line without --service and --workdir, then
// "--service run" and the working folder made absolute (a service starts in the system folder).
std::vector<std::string> ServiceArguments(const std::filesystem::path& workdir, int argc, char** argv) {
  std::vector<std::string> args = {"--service", "run", "--workdir", workdir.string()};
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--service" || a == "--workdir") {
      ++i;  // and its value
      continue;
    }
    if (a.starts_with("--service=") || a.starts_with("--workdir=") || a == "--headless") continue;
    args.emplace_back(a);
  }
  return args;
}

}  // namespace

int RunServiceCommand(const ServerOptions& options, int argc, char** argv) {
  std::error_code ec;
  const std::filesystem::path workdir = std::filesystem::absolute(options.core.workdir, ec);
  if (ec) return Fail(Status::InvalidArgument(options.core.workdir.string() + ": " + ec.message()));

  if (options.service == "install") {
    platform::ServiceDefinition service{kServiceName, errlog::kApplicationName,
                                        "Answers the price checks of KX25 terminals from the accounting data.",
                                        ServiceArguments(workdir, argc, argv)};
    if (Status st = platform::InstallService(service); !st.ok()) return Fail(st);
    std::printf("Installed service %s for %s\n", kServiceName, workdir.string().c_str());
    return 0;
  }
  if (options.service == "uninstall") {
    if (Status st = platform::UninstallService(kServiceName); !st.ok()) return Fail(st);
    std::printf("Removed service %s\n", kServiceName);
    return 0;
  }
  // run: the working folder is the current folder too, so the crash report and every relative
  // path mean the same as in a console.
  std::filesystem::current_path(workdir, ec);
  if (ec) return Fail(Status::IOError("cannot enter " + workdir.string() + ": " + ec.message()));
  ServerOptions service_options = options;
  service_options.core.workdir = workdir;
  service_options.headless = true;
  service_options.restart = false;  // the service manager restarts a failed service
  auto code = platform::RunService(kServiceName, workdir / kServiceLogName,
                                   [&] { return RunHeadless(service_options, argc, argv); });
  if (!code.ok()) return Fail(code.status());
  return *code;
}

}  // namespace kt::app
