#include "common/platform/service/system_service.h"

namespace kt::platform {
namespace {

Status Unsupported() {
  return Status::InvalidArgument(
      "--service is for Windows only; on Linux the server runs as the systemd service the package installs "
      "(kt-vistrand-server.service)");
}

}  // namespace

bool SystemServicesSupported() { return false; }

Status InstallService(const ServiceDefinition&) { return Unsupported(); }

Status UninstallService(const std::string&) { return Unsupported(); }

Result<int> RunService(const std::string&, const std::filesystem::path&, const std::function<int()>&) {
  return Unsupported();
}

}  // namespace kt::platform
