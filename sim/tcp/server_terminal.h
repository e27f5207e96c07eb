// A simulated KX25 configured as TCP server, for the tool's TCP terminal: it listens on an
// address and port, takes one connection at a time, draws what it receives with the display
// emulator, and sends scanned codes (each as the code and CR) while a tool is connected.
//
// The display is drawn (through the log callback) once the received bytes pause for `quiet`.
// Codes scanned while no tool is connected wait until one connects.
//
// Thread safety: the public methods may be called from any thread; the log callback is called on
// the terminal's own thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/display/emulator.h"
#include "common/net/socket_handle.h"
#include "common/status.h"

namespace kt::sim {

struct ServerTerminalOptions {
  std::string listen_ip = "127.0.0.1";
  uint16_t port = 0;  // 0: any free port (see port())
  std::chrono::milliseconds quiet{150};
  std::function<void(const std::string&)> log;  // connection lines and drawn displays
};

class ServerTerminal {
 public:
  static Result<std::unique_ptr<ServerTerminal>> Start(const ServerTerminalOptions& options);
  ~ServerTerminal();
  ServerTerminal(const ServerTerminal&) = delete;
  ServerTerminal& operator=(const ServerTerminal&) = delete;

  uint16_t port() const { return port_; }

  // Queues a scanned code; it goes out as code + CR while (or once) a tool is connected.
  void Scan(const std::string& code);

  bool connected() const;
  // Everything received over all connections, and the display as it is now.
  std::string received() const;
  std::vector<std::string> DisplayRows() const;
  // Waits (at most `limit`) until `pred(received())` holds; for tests and scripts.
  bool WaitForReceived(const std::function<bool(const std::string&)>& pred, std::chrono::milliseconds limit);

  void Stop();

 private:
  explicit ServerTerminal(const ServerTerminalOptions& o) : options_(o) {}
  void Run();
  void Serve(net::SocketHandle& conn, const std::string& peer);
  void Log(const std::string& line) const;

  const ServerTerminalOptions options_;
  net::SocketHandle listener_;
  uint16_t port_ = 0;
  std::thread thread_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  // State below is protected by mutex_.
  bool stop_ = false;
  bool connected_ = false;
  std::deque<std::string> scans_;
  std::string received_;
  display::DisplayEmulator display_;
};

}  // namespace kt::sim
