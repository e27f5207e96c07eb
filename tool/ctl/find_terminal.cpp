#include "tool/ctl/find_terminal.h"

#include <charconv>
#include <string_view>

#include "common/net/udp_socket.h"

namespace kt::ctl {
namespace {

bool ParseNumber(std::string_view text, long lo, long hi, long& out) {
  long v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || p != text.data() + text.size() || v < lo || v > hi) return false;
  out = v;
  return true;
}

class StopWhenFound : public discovery::ScanObserver {
 public:
  StopWhenFound(discovery::Scanner& s, const TerminalName& name) : scanner_(s), name_(name) {}
  void OnLineAdded(const std::string&, const discovery::DeviceEntry& e) override {
    if (!found && name_.Matches(e.summary)) {
      found = e;
      scanner_.RequestStop();
    }
  }
  void OnSendError(const std::string& text) override { send_error = text; }
  std::optional<discovery::DeviceEntry> found;
  std::string send_error;

 private:
  discovery::Scanner& scanner_;
  const TerminalName& name_;
};

}  // namespace

bool ParseDiscoveryOption(int argc, char** argv, int& i, discovery::ScanOptions& o, std::string& error) {
  const std::string_view a = argv[i];
  const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
  long n = 0;
  if (a == "--to") {
    ++i;
    std::string_view s = v ? v : "";
    std::string_view port;
    if (auto colon = s.find(':'); colon != std::string_view::npos) {
      port = s.substr(colon + 1);
      s = s.substr(0, colon);
    }
    auto ip = net::ParseIpv4(s);
    if (!ip || (!port.empty() && !ParseNumber(port, 1, 65535, n))) {
      error = "--to needs ADDR[:PORT]";
      return true;
    }
    o.destination.address = *ip;
    if (!port.empty()) o.destination.port = static_cast<uint16_t>(n);
    return true;
  }
  if (a == "--bind") {
    ++i;
    auto ip = v ? net::ParseIpv4(v) : std::nullopt;
    if (!ip) error = "--bind needs a dotted IPv4 address";
    else o.bind_address = *ip;
    return true;
  }
  if (a == "--port") {
    ++i;
    if (!v || !ParseNumber(v, 0, 65535, n)) error = "--port needs a number from 0 to 65535";
    else o.bind_port = static_cast<uint16_t>(n);
    return true;
  }
  if (a == "--seconds") {
    ++i;
    if (!v || !ParseNumber(v, 1, 3600, n)) error = "--seconds needs a number from 1 to 3600";
    else o.countdown_seconds = static_cast<int>(n);
    return true;
  }
  return false;
}

bool TerminalName::Matches(const discovery::DeviceSummary& d) const {
  return mac ? d.mac == *mac : (ip && d.ip == *ip);
}

std::optional<TerminalName> ParseTerminalName(const std::string& text) {
  TerminalName n;
  n.text = text;
  if (auto ip = net::ParseIpv4(text)) {
    n.ip = ip;
    return n;
  }
  config::Mac mac;
  if (config::ParseMac(text, mac)) {
    n.mac = mac;
    return n;
  }
  return std::nullopt;
}

std::optional<discovery::DeviceEntry> FindTerminal(const discovery::ScanOptions& options, const TerminalName& name,
                                                   std::FILE* err) {
  discovery::DeviceTable table;
  discovery::Scanner scanner(table);
  StopWhenFound wait(scanner, name);
  if (scanner.Run(options, wait) < 0) {
    std::fprintf(err, "kx25ctl: cannot set up the discovery socket\n");
    return std::nullopt;
  }
  if (!wait.send_error.empty()) std::fprintf(err, "kx25ctl: An error has occurred... %s\n", wait.send_error.c_str());
  if (!wait.found) {
    std::fprintf(err, "kx25ctl: no terminal %s answered within %d s\n", name.text.c_str(), options.countdown_seconds);
  }
  return wait.found;
}

}  // namespace kt::ctl
