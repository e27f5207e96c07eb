#include "sim/udp/terminal_services.h"

#include <poll.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <mutex>

#include "common/net/udp_socket.h"
#include "sim/tcp/server_terminal.h"
#include "sim/tftp/tftp_receiver.h"

namespace kt::sim {
void AddTerminalServiceOptions(CLI::App& command, TerminalServiceOptions& o) {
  command
      .add_option("--tcp-server", o.tcp_port,
                  "run the first terminal as TCP server on its own address and PORT (0: any free "
                  "port); every simulated terminal then reports that port and server mode")
      ->type_name("PORT")
      ->check(CLI::Range(0, 65535))
      ->each([&o](const std::string&) { o.tcp_server = true; });
  command.add_option("--scans", o.scans_file, "codes to scan (one per line) once the tool is connected")
      ->type_name("FILE");
  command.add_flag("--scans-stdin", o.scans_stdin, "codes to scan, typed on standard input");
  command
      .add_option_function<int>(
          "--scan-interval", [&o](int ms) { o.scan_interval = std::chrono::milliseconds(ms); },
          "pause between the codes of --scans (default 1000)")
      ->type_name("MS")
      ->check(CLI::Range(0, 65535));
  command.add_option("--tftp", o.tftp_dir, "receive firmware by TFTP into DIR (the system's in.tftpd; root only)")
      ->type_name("DIR");
  command.add_option("--tftp-port", o.tftp_port, "the TFTP receiver's port (default 69)")
      ->type_name("N")
      ->check(CLI::Range(1, 65535));
  command.add_flag("--tftp-refuse", o.tftp_refuse, "refuse every upload, as a terminal that rejects an image");
}

Result<std::unique_ptr<TerminalServices>> TerminalServices::Start(const TerminalServiceOptions& o, uint32_t address,
                                                                  std::function<void(const std::string&)> log) {
  std::unique_ptr<TerminalServices> s(new TerminalServices());
  s->log_ = std::move(log);
  const std::string ip = net::FormatIpv4(address);
  if (o.tcp_server) {
    ServerTerminalOptions t;
    t.listen_ip = ip;
    t.port = o.tcp_port;
    t.log = s->log_;
    KT_ASSIGN_OR_RETURN(s->tcp_, ServerTerminal::Start(t));
    if (s->log_) s->log_("kx25sim: TCP terminal listening on " + ip + ":" + std::to_string(s->tcp_->port()));
    if (!o.scans_file.empty() || o.scans_stdin) {
      s->feeder_ = std::jthread([p = s.get(), o](std::stop_token stop) { p->FeedScans(stop, o); });
    }
  }
  if (!o.tftp_dir.empty()) {
    TftpReceiverOptions r;
    r.address = address;
    r.port = o.tftp_port;
    r.folder = o.tftp_dir;
    r.allow_create = !o.tftp_refuse;
    KT_ASSIGN_OR_RETURN(s->tftp_, TftpReceiver::Start(r));
    if (s->log_) {
      s->log_("kx25sim: TFTP receiver on " + ip + ":" + std::to_string(s->tftp_->endpoint().port) + ", storing " +
              s->tftp_->stored_path() + (o.tftp_refuse ? " (refusing uploads)" : ""));
    }
  }
  return s;
}

TerminalServices::~TerminalServices() { Stop(); }

uint16_t TerminalServices::tcp_port() const { return tcp_ ? tcp_->port() : 0; }

void TerminalServices::Stop() {
  feeder_.request_stop();  // wakes the feeder's waits at once
  if (feeder_.joinable()) feeder_.join();
  if (tcp_) tcp_->Stop();
  if (tftp_) tftp_->Stop();
}

void TerminalServices::FeedScans(std::stop_token stop, TerminalServiceOptions o) {
  // Waits `d`, or less when Stop asks the feeder to end.
  std::mutex wait_mutex;
  std::condition_variable_any wake;
  auto wait = [&](std::chrono::milliseconds d) {
    std::unique_lock lock(wait_mutex);
    wake.wait_for(lock, stop, d, [] { return false; });
  };
  if (!o.scans_file.empty()) {
    std::ifstream in(o.scans_file);
    if (!in && log_) log_("kx25sim: cannot read " + o.scans_file);
    // The script starts once a tool is connected, so none of it is scanned into the void.
    while (!stop.stop_requested() && !tcp_->connected()) wait(std::chrono::milliseconds(50));
    std::string line;
    while (!stop.stop_requested() && std::getline(in, line)) {
      while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
      if (line.empty()) continue;
      tcp_->Scan(line);
      wait(o.scan_interval);
    }
  }
  if (!o.scans_stdin) return;
  std::string pending;
  while (!stop.stop_requested()) {
    pollfd p{0, POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) continue;
    char buf[256];
    const ssize_t n = ::read(0, buf, sizeof buf);
    if (n <= 0) return;  // end of input
    pending.append(buf, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string code = pending.substr(0, end);
      pending.erase(0, end + 1);
      while (!code.empty() && code.back() == '\r') code.pop_back();
      if (!code.empty()) tcp_->Scan(code);
    }
  }
}

}  // namespace kt::sim
