// The TFTP client that puts a firmware image onto a terminal: a separate program whose exit status
// is the verdict. A binary (octet) put of the local file under the remote name "/" to the
// terminal's address.
// Linux (tftp_client.cpp): atftp, given its arguments as a list (no shell, so no quoting), on
// the TFTP port unless another is given:
//     atftp --put --local-file FILE --remote-file / HOST [PORT]
// atftp is used because it exits non-zero on every failure (a server's refusal included).
// Windows (tftp_client_windows.cpp): the system's tftp.exe, started without a console window and
// without inherited handles, with the command line the accounting PCs have always used:
//     tftp.exe -i HOST put "FILE, every backslash doubled" /
// tftp.exe takes no port (port must be 0), and its output is not captured (no inherited handles).
// The cancel descriptor is a platform::WakeEvent's handle on both systems.
//
// Thread safety: free functions; RunTftpPut blocks the calling thread (at most the limit, plus
// the time to end the client).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tool/firmware/upload_result.h"

namespace kt::firmware {

#ifdef _WIN32
inline constexpr const char* kDefaultTftpClient = "tftp.exe";
#else
inline constexpr const char* kDefaultTftpClient = "atftp";
#endif
inline constexpr std::chrono::milliseconds kUploadLimit{60000};

struct TftpPut {
  std::string client = kDefaultTftpClient;  // program name (searched on PATH) or path
  std::string host;                         // dotted IPv4 text
  uint16_t port = 0;                        // 0: the TFTP port
  std::string file;                         // local file, passed as it is
  std::chrono::milliseconds limit = kUploadLimit;
};

// The argument list of the client (argv[0] first).
std::vector<std::string> TftpPutArguments(const TftpPut& put);

struct TftpOutcome {
  UploadResult result = UploadResult::kFatal;
  int exit_code = 0;        // when the client ended by exit()
  std::string system_text;  // why the client could not be started (kStartFailed)
};

// Runs the client, waiting at most put.limit. At the limit the client is ended (it is never left
// running) and the result is kTimedOut. `on_output` receives the client's output lines;
// `cancel_fd` (if >= 0) ends the wait early when it becomes readable: the client is ended and
// the result is kFatal.
TftpOutcome RunTftpPut(const TftpPut& put, const std::function<void(std::string_view)>& on_output = {},
                       int cancel_fd = -1);

}  // namespace kt::firmware
