#include "sim/udp/terminal_services.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "common/net/udp_socket.h"
#include "sim/tcp/server_terminal.h"
#include "sim/tftp/tftp_receiver.h"

namespace kt::sim {
namespace {

bool ParsePort(const char* text, uint16_t& out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno || end == text || *end || v < 0 || v > 65535) return false;
  out = static_cast<uint16_t>(v);
  return true;
}

}  // namespace

bool ParseTerminalServiceOption(int argc, char** argv, int& i, TerminalServiceOptions& o, std::string& error) {
  const std::string a = argv[i];
  const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
  auto value = [&](bool ok) {
    if (!ok) error = "bad or missing value for " + a;
    ++i;
    return true;
  };
  if (a == "--tcp-server") {
    o.tcp_server = true;
    return value(v && ParsePort(v, o.tcp_port));
  }
  if (a == "--scans") {
    if (v) o.scans_file = v;
    return value(v != nullptr);
  }
  if (a == "--scans-stdin") {
    o.scans_stdin = true;
    return true;
  }
  if (a == "--scan-interval") {
    uint16_t ms = 0;
    const bool ok = v && ParsePort(v, ms);
    o.scan_interval = std::chrono::milliseconds(ms);
    return value(ok);
  }
  if (a == "--tftp") {
    if (v) o.tftp_dir = v;
    return value(v != nullptr);
  }
  if (a == "--tftp-port") return value(v && ParsePort(v, o.tftp_port) && o.tftp_port != 0);
  if (a == "--tftp-refuse") {
    o.tftp_refuse = true;
    return true;
  }
  return false;
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
      s->feeder_ = std::thread([p = s.get(), o] { p->FeedScans(o); });
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
  stop_ = true;
  if (feeder_.joinable()) feeder_.join();
  if (tcp_) tcp_->Stop();
  if (tftp_) tftp_->Stop();
}

void TerminalServices::FeedScans(TerminalServiceOptions o) {
  auto wait = [&](std::chrono::milliseconds d) {
    const auto until = std::chrono::steady_clock::now() + d;
    while (!stop_ && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  };
  if (!o.scans_file.empty()) {
    std::ifstream in(o.scans_file);
    if (!in && log_) log_("kx25sim: cannot read " + o.scans_file);
    // The script starts once a tool is connected, so none of it is scanned into the void.
    while (!stop_ && !tcp_->connected()) wait(std::chrono::milliseconds(50));
    std::string line;
    while (!stop_ && std::getline(in, line)) {
      while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
      if (line.empty()) continue;
      tcp_->Scan(line);
      wait(o.scan_interval);
    }
  }
  if (!o.scans_stdin) return;
  std::string pending;
  while (!stop_) {
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
