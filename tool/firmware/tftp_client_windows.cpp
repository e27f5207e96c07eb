#include <windows.h>

#include <cstdint>

#include "common/platform/windows_error.h"
#include "tool/firmware/tftp_client.h"

namespace kt::firmware {
namespace {

// The local file as tftp.exe has always been given it: every backslash doubled, in double quotes.
std::string PreparedPath(const std::string& file) {
  std::string out = "\"";
  for (char c : file) {
    out += c;
    if (c == '\\') out += '\\';
  }
  return out + "\"";
}

std::wstring Widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

}  // namespace

std::vector<std::string> TftpPutArguments(const TftpPut& put) {
  return {put.client, "-i", put.host, "put", PreparedPath(put.file), "/"};
}

TftpOutcome RunTftpPut(const TftpPut& put, const std::function<void(std::string_view)>&, int cancel_fd) {
  TftpOutcome out;
  if (put.port != 0) {
    out.result = UploadResult::kStartFailed;
    out.system_text = "tftp.exe cannot use another port than the TFTP port";
    return out;
  }
  std::string line;
  for (const std::string& arg : TftpPutArguments(put)) line += (line.empty() ? "" : " ") + arg;
  std::wstring command = Widen(line);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // Found by the system's usual search; no console window, no inherited handles, this process's
  // environment and current folder.
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &info)) {
    out.result = UploadResult::kStartFailed;
    out.system_text = platform::WindowsErrorText(GetLastError());
    return out;
  }
  CloseHandle(info.hThread);
  // The cancel "descriptor" is a WakeEvent's handle (common/platform/wake/wake_event.h).
  HANDLE waits[2] = {info.hProcess, reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(cancel_fd))};
  const DWORD waited =
      WaitForMultipleObjects(cancel_fd >= 0 ? 2 : 1, waits, FALSE, static_cast<DWORD>(put.limit.count()));
  if (waited == WAIT_OBJECT_0 + 1) {  // cancelled: the client is ended, the result is fatal
    TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    return out;
  }
  if (waited == WAIT_TIMEOUT) {
    TerminateProcess(info.hProcess, 1);  // as on Linux: never left running
    CloseHandle(info.hProcess);
    out.result = UploadResult::kTimedOut;
    return out;
  }
  DWORD code = 0;
  const bool read = waited == WAIT_OBJECT_0 && GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  if (!read) return out;  // kFatal
  out.exit_code = static_cast<int>(code);
  out.result = code == 0 ? UploadResult::kSuccess : UploadResult::kServerError;
  return out;
}

}  // namespace kt::firmware
