#include "common/platform/sockets/socket_system.h"

#include <mstcpip.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

// Not in every mingw-w64 header set; the value is fixed by the Winsock ABI.
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace kt::net::sys {
namespace {

// Winsock must be started before the first socket call; every program that links the socket
// layer starts it here, before main().
struct WinsockStartup {
  WinsockStartup() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
      std::fputs("Windows sockets initialization failed.\n", stderr);
      std::fflush(stderr);
      std::exit(1);
    }
  }
  ~WinsockStartup() { ::WSACleanup(); }
};
const WinsockStartup winsock_startup;

std::string SystemText(int code) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n && text ? std::string(text, n) : std::string();
  if (text) ::LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
    out.pop_back();
  if (out.empty()) out = "socket error";
  return out + " (" + std::to_string(code) + ")";
}

// select() does not return for a socket that another thread shut down. Waits therefore look
// in slices and end early once the socket is in this set.
std::mutex shut_mutex;
std::set<NativeSocket> shut_sockets;
constexpr auto kWaitSlice = std::chrono::milliseconds(50);

bool IsShutDown(NativeSocket s) {
  std::scoped_lock lock(shut_mutex);
  return shut_sockets.count(s) > 0;
}

void NotInherited(NativeSocket s) {
  if (s != INVALID_SOCKET) ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

int LastError() { return ::WSAGetLastError(); }

std::string ErrorText(std::string_view what, int code) { return std::string(what) + ": " + SystemText(code); }

bool WouldBlock(int code) { return code == WSAEWOULDBLOCK; }
bool Interrupted(int code) { return code == WSAEINTR; }
bool ConnectPending(int code) { return code == WSAEWOULDBLOCK || code == WSAEINPROGRESS; }
bool AcceptRetry(int code) { return code == WSAEWOULDBLOCK || code == WSAECONNRESET || code == WSAEINTR; }
bool TimedOut(int code) { return code == WSAETIMEDOUT || code == WSAEWOULDBLOCK; }

Result<bool> WaitReady(NativeSocket s, Ready what, Millis timeout) {
  // select() rather than WSAPoll: only select reports a failed non-blocking connect.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (IsShutDown(s)) return true;  // the next call reports the end
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) left = std::chrono::microseconds(0);
    const bool last_slice = left <= kWaitSlice;
    if (!last_slice) left = kWaitSlice;
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval tv{static_cast<long>(left.count() / 1000000), static_cast<long>(left.count() % 1000000)};
    const int n = what == Ready::kRead ? ::select(0, &ready, nullptr, &failed, &tv)
                                       : ::select(0, nullptr, &ready, &failed, &tv);
    if (n > 0) return true;
    if (n == 0) {
      if (last_slice) return false;
      continue;
    }
    const int err = ::WSAGetLastError();
    // A socket closed by another thread ends the wait like a failure the next call reports.
    if (err == WSAENOTSOCK) return true;
    if (err != WSAEINTR) return Status::IOError(ErrorText("select", err));
  }
}

NativeSocket Open(int type, int protocol) {
  SOCKET s = ::WSASocketW(AF_INET, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
    // Windows before 7 SP1 does not know WSA_FLAG_NO_HANDLE_INHERIT.
    s = ::WSASocketW(AF_INET, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
    NotInherited(s);
  }
  if (s != INVALID_SOCKET && type == SOCK_DGRAM) {
    // A datagram answered by "port unreachable" must not fail the next receive.
    BOOL off = FALSE;
    DWORD bytes = 0;
    ::WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &bytes, nullptr, nullptr);
  }
  return s;
}

NativeSocket Accept(NativeSocket listener) {
  SOCKET s = ::accept(listener, nullptr, nullptr);
  NotInherited(s);
  return s;
}

// Windows has no per-call "don't wait" flag: stream sockets stay non-blocking for their life.
void PrepareStream(NativeSocket s) {
  u_long on = 1;
  ::ioctlsocket(s, FIONBIO, &on);
}

int StartConnect(NativeSocket s, const sockaddr_in& to) {
  PrepareStream(s);
  return ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

int ConnectResult(NativeSocket s) {
  int err = 0;
  int len = sizeof err;
  ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
  return err;
}

void SetListenerAddressOption(NativeSocket s) {
  BOOL on = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
}

long long SendNow(NativeSocket s, const char* data, std::size_t size) {
  const int n = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  const int sent = ::send(s, data, n, 0);
  return sent == SOCKET_ERROR ? -1 : sent;
}

long long RecvNow(NativeSocket s, char* data, std::size_t size, bool peek) {
  const int n = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  const int got = ::recv(s, data, n, peek ? MSG_PEEK : 0);
  return got == SOCKET_ERROR ? -1 : got;
}

void ShutdownBoth(NativeSocket s) {
  {
    std::scoped_lock lock(shut_mutex);
    shut_sockets.insert(s);
  }
  ::shutdown(s, SD_BOTH);
}

void Forget(NativeSocket s) {
  std::scoped_lock lock(shut_mutex);
  shut_sockets.erase(s);
}

bool SetKeepAlive(NativeSocket s, int idle_seconds, int interval_seconds, int count) {
  BOOL on = TRUE;
  if (::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on) != 0)
    return false;
  tcp_keepalive values{1, static_cast<ULONG>(idle_seconds) * 1000, static_cast<ULONG>(interval_seconds) * 1000};
  DWORD bytes = 0;
  if (::WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &bytes, nullptr, nullptr) != 0)
    return false;
#ifdef TCP_KEEPCNT
  // The probe count is settable from Windows 10 1703 on; older systems send ten probes.
  ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, reinterpret_cast<const char*>(&count), sizeof count);
#else
  (void)count;
#endif
  return true;
}

bool SetReceiveTimeout(NativeSocket s, Millis timeout) {
  const DWORD ms = static_cast<DWORD>(timeout.count());
  return ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms) == 0;
}

}  // namespace kt::net::sys
