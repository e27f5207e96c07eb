// The operating system's side of the socket layer in common/net: the system headers, start-up,
// error codes and their text, bounded waits, and the calls and options where BSD sockets and
// Winsock differ. socket_system_linux.cpp and socket_system_windows.cpp implement it (with the
// UDP pieces in udp_system_*.cpp); code outside common/net uses common/net only.
//
// On Windows, Winsock is started before main() in every program that links the socket layer; when
// it cannot start, the program says "Windows sockets initialization failed." and exits.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "common/net/socket_handle.h"
#include "common/status.h"

namespace kt::net::sys {

using Millis = std::chrono::milliseconds;

// The error code of the calling thread's last failed socket call (errno, WSAGetLastError()).
int LastError();
// "what: <the system's text for code>".
std::string ErrorText(std::string_view what, int code);
inline std::string LastErrorText(std::string_view what) { return ErrorText(what, LastError()); }

bool WouldBlock(int code);      // nothing to read / no room to send right now
bool Interrupted(int code);     // a signal cut the call short: try again
bool ConnectPending(int code);  // a non-blocking connect is under way
bool AcceptRetry(int code);     // the peer gave up between the wait and the accept
bool TimedOut(int code);        // a receive time-out (SO_RCVTIMEO) ran out

enum class Ready { kRead, kWrite };
// Waits at most `timeout` until `s` is ready; true when ready or failed (the next call then
// reports the failure), false when the time ran out.
Result<bool> WaitReady(NativeSocket s, Ready what, Millis timeout);

// A new socket that child processes do not inherit; kInvalidSocket on failure (see LastError).
NativeSocket Open(int type, int protocol);
// Accepts a pending connection on a listener the same way; kInvalidSocket on failure.
NativeSocket Accept(NativeSocket listener);
// Stream sockets are prepared here after Open/Accept: every send and receive on them returns at
// once, waits happen in WaitReady only.
void PrepareStream(NativeSocket s);
// Connects without waiting; 0, or -1 with LastError (ConnectPending while under way).
int StartConnect(NativeSocket s, const sockaddr_in& to);
// The outcome of a connect that WaitReady reported ready: 0 or the error code.
int ConnectResult(NativeSocket s);

// The listener's address option: Linux lets a restarted server bind while old connections
// linger (SO_REUSEADDR); Windows keeps any other program off the port (SO_EXCLUSIVEADDRUSE).
void SetListenerAddressOption(NativeSocket s);

// Send and receive without waiting and without SIGPIPE: bytes moved, or -1 with LastError.
long long SendNow(NativeSocket s, const char* data, std::size_t size);
long long RecvNow(NativeSocket s, char* data, std::size_t size, bool peek = false);

// Shuts both directions down so that a thread waiting on the socket returns at once; Forget
// when the socket closes.
void ShutdownBoth(NativeSocket s);
void Forget(NativeSocket s);

// TCP keepalive with the given probe timing; false when the system refused it.
bool SetKeepAlive(NativeSocket s, int idle_seconds, int interval_seconds, int count);
// A receive time-out for blocking datagram reads.
bool SetReceiveTimeout(NativeSocket s, Millis timeout);

}  // namespace kt::net::sys
