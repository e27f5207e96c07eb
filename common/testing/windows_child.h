// Test support (Windows builds): a program started as a child process with its standard output
// and error going to a file, in a process group of its own so that a Ctrl-Break can be sent to
// it alone. Destroying a child that still runs ends it: nothing is left behind.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/platform/windows_command_line.h"

namespace kt::test_support {

class WindowsChild {
 public:
  // argv[0] is the program's path; the others are quoted as the C runtime expects.
  WindowsChild(const std::vector<std::string>& argv, const std::filesystem::path& output) {
    std::wstring line;
    for (const std::string& arg : argv) {
      if (!line.empty()) line += L' ';
      line += kt::platform::QuoteCommandLineArgument(std::filesystem::path(arg).wstring());
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = ::CreateFileW(std::filesystem::absolute(output).c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                              nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    const std::wstring program = std::filesystem::absolute(argv.at(0)).wstring();
    if (::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP, nullptr,
                         nullptr, &si, &pi)) {
      process_ = pi.hProcess;
      id_ = pi.dwProcessId;
      ::CloseHandle(pi.hThread);
    }
    ::CloseHandle(out);
    ::CloseHandle(in);
  }
  ~WindowsChild() {
    if (process_ == nullptr) return;
    if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(process_, 99);
      ::WaitForSingleObject(process_, 5000);
    }
    ::CloseHandle(process_);
  }
  WindowsChild(const WindowsChild&) = delete;
  WindowsChild& operator=(const WindowsChild&) = delete;

  bool started() const { return process_ != nullptr; }
  DWORD id() const { return id_; }

  // The exit code once the child ended within `wait`; -1 when it still runs.
  int WaitExit(std::chrono::milliseconds wait) {
    if (process_ == nullptr || ::WaitForSingleObject(process_, static_cast<DWORD>(wait.count())) != WAIT_OBJECT_0)
      return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
  }

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

}  // namespace kt::test_support
