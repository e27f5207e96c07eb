#include <windows.h>

#include <cstdio>
#include <thread>

#include "common/platform/service/system_service.h"
#include "common/platform/stop/stop_request.h"
#include "common/platform/windows_command_line.h"
#include "common/platform/windows_error.h"

namespace kt::platform {
namespace {

std::wstring Widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

Status SystemError(const std::string& what, DWORD err) {
  if (err == ERROR_ACCESS_DENIED) {
    return Status::IOError(what + ": " + WindowsErrorText(err) + " (run it as an administrator)");
  }
  return Status::IOError(what + ": " + WindowsErrorText(err));
}

// Closes a service manager handle when it goes.
struct ScHandle {
  SC_HANDLE h;
  explicit ScHandle(SC_HANDLE handle) : h(handle) {}
  ~ScHandle() {
    if (h != nullptr) CloseServiceHandle(h);
  }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
};

// ---- Running under the manager ----

struct Running {
  std::wstring name;
  std::filesystem::path log_file;
  const std::function<int()>* body = nullptr;
  SERVICE_STATUS_HANDLE status_handle = nullptr;
  SERVICE_STATUS status{};
  int exit_code = 0;
  bool started = false;
};

Running g_running;

void Report(DWORD state, DWORD exit_code = NO_ERROR, DWORD wait_hint = 0) {
  static DWORD checkpoint = 1;
  SERVICE_STATUS& s = g_running.status;
  s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  s.dwCurrentState = state;
  s.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  s.dwWin32ExitCode = exit_code == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  s.dwServiceSpecificExitCode = exit_code;
  s.dwWaitHint = wait_hint;
  s.dwCheckPoint = (state == SERVICE_RUNNING || state == SERVICE_STOPPED) ? 0 : checkpoint++;
  SetServiceStatus(g_running.status_handle, &s);
}

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING, 0, 10000);
      StopRequest::RequestStop();
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  g_running.started = true;
  g_running.status_handle = RegisterServiceCtrlHandlerExW(g_running.name.c_str(), OnControl, nullptr);
  if (g_running.status_handle == nullptr) return;
  Report(SERVICE_START_PENDING, 0, 10000);
  // Standard output and error are nowhere for a service: they go to the log, a line at a time.
  if (_wfreopen(g_running.log_file.c_str(), L"a", stdout) != nullptr) setvbuf(stdout, nullptr, _IOLBF, 4096);
  if (_wfreopen(g_running.log_file.c_str(), L"a", stderr) != nullptr) setvbuf(stderr, nullptr, _IONBF, 0);
  Report(SERVICE_RUNNING);
  g_running.exit_code = (*g_running.body)();
  Report(SERVICE_STOPPED, static_cast<DWORD>(g_running.exit_code));
}

}  // namespace

bool SystemServicesSupported() { return true; }

Status InstallService(const ServiceDefinition& service) {
  ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (manager.h == nullptr) return SystemError("cannot open the service manager", GetLastError());
  wchar_t program[32768];
  const DWORD n = GetModuleFileNameW(nullptr, program, 32768);
  std::wstring command = platform::QuoteCommandLineArgument(std::wstring(program, n));
  for (const std::string& arg : service.arguments) {
    command += L" " + platform::QuoteCommandLineArgument(Widen(arg));
  }
  ScHandle created(CreateServiceW(manager.h, Widen(service.name).c_str(), Widen(service.display_name).c_str(),
                                  SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr, nullptr,
                                  nullptr));
  if (created.h == nullptr) {
    const DWORD err = GetLastError();
    if (err == ERROR_SERVICE_EXISTS) return Status::Unavailable("service " + service.name + " is installed already");
    return SystemError("cannot install service " + service.name, err);
  }
  std::wstring description = Widen(service.description);
  SERVICE_DESCRIPTIONW text{description.data()};
  ChangeServiceConfig2W(created.h, SERVICE_CONFIG_DESCRIPTION, &text);
  // A failed server comes back after five seconds, three times; then the manager waits for a
  // day without failures (the crash handler's storm guard, in the manager's terms).
  SC_ACTION actions[] = {{SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000},
                         {SC_ACTION_NONE, 0}};
  SERVICE_FAILURE_ACTIONSW failure{};
  failure.dwResetPeriod = 24 * 60 * 60;
  failure.cActions = 4;
  failure.lpsaActions = actions;
  ChangeServiceConfig2W(created.h, SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
  return Status::Ok();
}

Status UninstallService(const std::string& name) {
  ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.h == nullptr) return SystemError("cannot open the service manager", GetLastError());
  ScHandle service(OpenServiceW(manager.h, Widen(name).c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (service.h == nullptr) {
    const DWORD err = GetLastError();
    if (err == ERROR_SERVICE_DOES_NOT_EXIST) return Status::NotFound("no service " + name + " is installed");
    return SystemError("cannot open service " + name, err);
  }
  SERVICE_STATUS status{};
  if (ControlService(service.h, SERVICE_CONTROL_STOP, &status)) {
    for (int i = 0; i < 300 && status.dwCurrentState != SERVICE_STOPPED; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!QueryServiceStatus(service.h, &status)) break;
    }
  }
  if (!DeleteService(service.h)) return SystemError("cannot remove service " + name, GetLastError());
  return Status::Ok();
}

Result<int> RunService(const std::string& name, const std::filesystem::path& log_file,
                       const std::function<int()>& body) {
  g_running.name = Widen(name);
  g_running.body = &body;
  g_running.log_file = log_file;
  SERVICE_TABLE_ENTRYW table[] = {{g_running.name.data(), ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherW(table)) {
    const DWORD err = GetLastError();
    if (err == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
      return Status::Unavailable("--service run is for the service manager; use --headless in a console");
    }
    return SystemError("cannot start service " + name, err);
  }
  return g_running.exit_code;
}

}  // namespace kt::platform
