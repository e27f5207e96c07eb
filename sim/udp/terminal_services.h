// What the first simulated terminal offers besides UDP, for `kx25sim terminals`:
//
//   --tcp-server PORT      runs as TCP server on its own address and PORT (0: any free port);
//                          every simulated terminal then reports that port and server mode
//   --scans FILE           codes to scan (one per line) once the tool is connected
//   --scans-stdin          codes to scan, typed on standard input
//   --scan-interval MS     pause between the codes of --scans (default 1000)
//   --tftp DIR             receives firmware by TFTP into DIR (the system's in.tftpd; root only)
//   --tftp-port N          its port (default 69)
//   --tftp-refuse          refuses every upload, as a terminal that rejects an image
//
// Thread safety: Start/Stop from one thread; the services run threads of their own.
#pragma once

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>

#include "common/status.h"

namespace kt::sim {

class ServerTerminal;
class TftpReceiver;

struct TerminalServiceOptions {
  bool tcp_server = false;
  uint16_t tcp_port = 0;
  std::string scans_file;
  bool scans_stdin = false;
  std::chrono::milliseconds scan_interval{1000};
  std::string tftp_dir;
  uint16_t tftp_port = 69;
  bool tftp_refuse = false;
};

// Declares the options above on `command`, filling `o` when parsed.
void AddTerminalServiceOptions(CLI::App& command, TerminalServiceOptions& o);

class TerminalServices {
 public:
  // Starts what the options ask for on the terminal's address (host order).
  static Result<std::unique_ptr<TerminalServices>> Start(const TerminalServiceOptions& options, uint32_t address,
                                                         std::function<void(const std::string&)> log);
  ~TerminalServices();
  TerminalServices(const TerminalServices&) = delete;
  TerminalServices& operator=(const TerminalServices&) = delete;

  // The TCP server's port; 0 without one.
  uint16_t tcp_port() const;
  void Stop();

 private:
  TerminalServices() = default;
  void FeedScans(std::stop_token stop, TerminalServiceOptions options);

  std::function<void(const std::string&)> log_;
  std::unique_ptr<ServerTerminal> tcp_;
  std::unique_ptr<TftpReceiver> tftp_;
  std::jthread feeder_;  // asked to stop by Stop
};

}  // namespace kt::sim
