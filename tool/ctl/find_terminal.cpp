#include "tool/ctl/find_terminal.h"

#include <string_view>

#include "common/net/udp_socket.h"

namespace kt::ctl {
namespace {

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
