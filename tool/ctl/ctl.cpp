#include "tool/ctl/ctl.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cli/command_line.h"
#include "common/net/udp_socket.h"
#include "common/text/printable.h"
#include "common/text/text.h"
#include "tool/config/config_record.h"
#include "tool/config/exchange.h"
#include "tool/config/messages.h"
#include "tool/config/settings_file.h"
#include "tool/ctl/config_fields.h"
#include "tool/ctl/firmware_command.h"
#include "tool/ctl/terminal_command.h"
#include "tool/discovery/scanner.h"

namespace kt::ctl {
namespace {

constexpr const char* kDescription =
    "Finds KX25 terminals by UDP broadcast and reads, saves and writes their configuration.";
constexpr const char* kFooter =
    "MAC: six hex pairs separated by '-', ':' or nothing, any case.\n"
    "Run 'kx25ctl show MAC' to see every setting name.";

struct Options {
  std::string command;
  std::vector<std::string> positional;
  config::ExchangeOptions exchange;
  discovery::ScanOptions scan;
  bool rs232 = false;
  bool marlo = false;
  bool all = false;
  bool rescan = true;
};

class Printer : public config::ExchangeErrors {
 public:
  explicit Printer(std::FILE* err) : err_(err) {}
  void ShowError(const std::string& text) override {
    std::fprintf(err_, "kx25ctl: %s %s\n", config::kErrorCaption, text::Printable(text).c_str());
    ++count_;
  }
  int count() const { return count_; }

 private:
  std::FILE* err_;
  int count_ = 0;
};

// Collects the device list as the window would show it.
class ListCollector : public discovery::ScanObserver {
 public:
  void OnLineAdded(const std::string& line, const discovery::DeviceEntry&) override {
    lines_.push_back(line);
  }
  void OnLineRemoved(const std::string& line) override {
    auto it = std::find(lines_.begin(), lines_.end(), line);
    if (it != lines_.end()) lines_.erase(it);
  }
  void OnSendError(const std::string& text) override { send_error_ = text; }
  std::vector<std::string> lines_;
  std::string send_error_;
};

// Stops the scan as soon as one terminal has answered.
class WaitFor : public ListCollector {
 public:
  WaitFor(discovery::Scanner& s, const config::Mac& mac) : scanner_(s), mac_(mac) {}
  void OnLineAdded(const std::string& line, const discovery::DeviceEntry& e) override {
    ListCollector::OnLineAdded(line, e);
    if (e.summary.mac == mac_) {
      entry_ = e;
      line_ = line;
      scanner_.RequestStop();
    }
  }
  discovery::Scanner& scanner_;
  config::Mac mac_;
  std::optional<discovery::DeviceEntry> entry_;
  std::string line_;
};

std::optional<discovery::DeviceEntry> Discover(const Options& o, const config::Mac& mac,
                                               std::string* line, std::FILE* err) {
  discovery::DeviceTable table;
  discovery::Scanner scanner(table);
  WaitFor wait(scanner, mac);
  if (scanner.Run(o.scan, wait) < 0) {
    std::fprintf(err, "kx25ctl: cannot set up the discovery socket\n");
    return std::nullopt;
  }
  if (!wait.send_error_.empty()) {
    std::fprintf(err, "kx25ctl: %s %s\n", config::kErrorCaption, wait.send_error_.c_str());
  }
  if (!wait.entry_) {
    std::fprintf(err, "kx25ctl: no terminal %s answered within %d s\n",
                 config::FormatMac(mac, ':').c_str(), o.scan.countdown_seconds);
  }
  if (line) *line = wait.line_;
  return wait.entry_;
}

// Discovers the terminal and reads its whole configuration.
std::optional<config::Configuration> ReadTerminal(const Options& o, const config::Mac& mac,
                                                  Printer& errors, std::FILE* err) {
  std::optional<discovery::DeviceEntry> entry = Discover(o, mac, nullptr, err);
  if (!entry) return std::nullopt;
  Result<config::Configuration> c = config::DecodeConfigRecord(entry->slot);
  if (!c.ok()) {
    std::fprintf(err, "kx25ctl: %s\n", c.status().ToString().c_str());
    return std::nullopt;
  }
  return config::CompleteConfiguration(std::move(*c), o.exchange, errors);
}

bool TakeMac(const Options& o, config::Mac& mac, std::FILE* err) {
  if (o.positional.empty()) {
    std::fprintf(err, "kx25ctl: %s needs a MAC address\n", o.command.c_str());
    return false;
  }
  if (!config::ParseMac(o.positional[0], mac)) {
    std::fprintf(err, "kx25ctl: '%s' is not a MAC address\n", o.positional[0].c_str());
    return false;
  }
  return true;
}

int Scan(const Options& o, std::FILE* out, std::FILE* err) {
  discovery::DeviceTable table;
  discovery::Scanner scanner(table);
  ListCollector list;
  const int found = scanner.Run(o.scan, list);
  if (found < 0) {
    std::fprintf(err, "kx25ctl: cannot set up the discovery socket\n%s\n", discovery::kStatusIdle);
    return 1;
  }
  if (!list.send_error_.empty()) {
    std::fprintf(err, "kx25ctl: %s %s\n", config::kErrorCaption, list.send_error_.c_str());
  }
  discovery::SortDeviceLines(list.lines_, 2);
  // Names and firmware texts come from the network: control characters are shown escaped.
  for (const std::string& line : list.lines_) std::fprintf(out, "%s\n", text::Printable(line).c_str());
  std::fprintf(out, "Nr of units found: %d\n", found);
  return 0;
}

int Show(const Options& o, std::FILE* out, std::FILE* err) {
  config::Mac mac;
  if (!TakeMac(o, mac, err)) return 2;
  Printer errors(err);
  std::optional<config::Configuration> c = ReadTerminal(o, mac, errors, err);
  if (!c) return 1;
  for (const auto& [name, value] : FormatConfiguration(*c)) {
    std::fprintf(out, "%s=%s\n", name.c_str(), text::Printable(value).c_str());
  }
  if (const std::string missing = config::MissingRecords(*c); !missing.empty()) {
    std::fprintf(err, "kx25ctl: %s: incomplete: %s; the values above stand in for it\n",
                 config::FormatMac(mac, ':').c_str(), missing.c_str());
    return 1;
  }
  return 0;
}

int Save(const Options& o, std::FILE* out, std::FILE* err) {
  config::Mac mac;
  if (!TakeMac(o, mac, err)) return 2;
  if (o.positional.size() != 2) {
    std::fprintf(err, "kx25ctl: save needs MAC and FILE.KX25\n");
    return 2;
  }
  Printer errors(err);
  std::optional<config::Configuration> c = ReadTerminal(o, mac, errors, err);
  if (!c) return 1;
  // A file with stand-in values would carry them to every terminal it is applied to.
  if (const std::string missing = config::MissingRecords(*c); !missing.empty()) {
    std::fprintf(err, "kx25ctl: %s: not saved: %s when the configuration was read; read the terminal again\n",
                 config::FormatMac(mac, ':').c_str(), missing.c_str());
    return 1;
  }
  Status st = config::WriteSettingsFile(o.positional[1], *c, config::kSettingsFileKind,
                                        config::PagesFor(*c, o.rs232));
  if (!st.ok()) {
    std::fprintf(err, "kx25ctl: %s\n", st.message().c_str());
    return 1;
  }
  std::fprintf(out, "saved %s to %s\n", config::FormatMac(mac, ':').c_str(), o.positional[1].c_str());
  return 0;
}

// Loads the file (when given) and the assignments into `c`. Returns why they do not fit this
// terminal (the file's page set, a value), or empty; warnings go to `err`.
std::string Edit(const Options& o, config::Configuration& c, const std::string& file,
                 const std::vector<std::string>& assignments, std::FILE* err) {
  if (!file.empty()) {
    Result<config::Configuration> loaded =
        config::ReadSettingsFile(file, c, config::PagesFor(c, o.rs232));
    if (!loaded.ok()) return file + ": " + loaded.status().message();
    c = std::move(*loaded);
  }
  const bool own_mac_before = c.wireless.own_mac;
  for (const std::string& a : assignments) {
    Status st = ApplyAssignment(c, a);
    if (!st.ok()) return st.message();
  }
  if (c.wireless.own_mac && !own_mac_before) {
    if (auto warning = config::OwnMacOptionWarning(c.firmware_number())) {
      std::fprintf(err, "kx25ctl: %s: %s\n", config::kWarningCaption, warning->c_str());
    }
  }
  return {};
}

void PrintSent(const std::vector<config::SentDatagram>& sent, const config::Mac& mac, std::FILE* out) {
  std::string text;
  for (const auto& s : sent) {
    text += (text.empty() ? "" : ", ") + std::to_string(s.command) + " (" + std::to_string(s.size) +
            " bytes" + (s.complete ? "" : ", failed") + ")";
  }
  std::fprintf(out, "applied to %s: commands %s\n", config::FormatMac(mac, ':').c_str(), text.c_str());
}

bool AllComplete(const std::vector<config::SentDatagram>& sent) {
  if (sent.empty() || sent.back().command != config::kSetConfig) return false;
  return std::all_of(sent.begin(), sent.end(), [](const auto& s) { return s.complete; });
}

int ApplyOne(const Options& o, std::FILE* out, std::FILE* err) {
  config::Mac mac;
  if (!TakeMac(o, mac, err)) return 2;
  std::string file;
  std::vector<std::string> assignments;
  for (std::size_t i = 1; i < o.positional.size(); ++i) {
    if (o.positional[i].find('=') != std::string::npos) assignments.push_back(o.positional[i]);
    else if (file.empty()) file = o.positional[i];
    else {
      std::fprintf(err, "kx25ctl: apply takes one settings file\n");
      return 2;
    }
  }
  Printer errors(err);
  std::optional<config::Configuration> c = ReadTerminal(o, mac, errors, err);
  if (!c) return 1;
  if (const std::string problem = Edit(o, *c, file, assignments, err); !problem.empty()) {
    std::fprintf(err, "kx25ctl: %s\n", problem.c_str());
    return 1;
  }
  if (const std::string missing = config::MissingForApply(*c); !missing.empty()) {
    std::fprintf(err, "kx25ctl: %s: %s\n", config::FormatMac(mac, ':').c_str(), missing.c_str());
    return 1;
  }
  const auto sent = config::ApplyConfiguration(*c, {o.marlo}, o.exchange, errors);
  PrintSent(sent, mac, out);
  if (o.rescan) {
    std::string line;
    if (Discover(o, mac, &line, err)) std::fprintf(out, "%s\n", text::Printable(line).c_str());
  }
  return AllComplete(sent) ? 0 : 1;
}

int ApplyAll(const Options& o, std::FILE* out, std::FILE* err) {
  if (o.positional.empty() || o.positional[0].find('=') != std::string::npos) {
    std::fprintf(err, "kx25ctl: apply --all needs a settings file\n");
    return 2;
  }
  const std::string file = o.positional[0];
  std::vector<std::string> assignments(o.positional.begin() + 1, o.positional.end());
  for (const std::string& a : assignments) {
    if (a.rfind("ip-address=", 0) == 0) {
      std::fprintf(err, "kx25ctl: apply --all keeps each terminal's own IP address\n");
      return 2;
    }
  }
  discovery::DeviceTable table;
  discovery::Scanner scanner(table);
  ListCollector list;
  if (scanner.Run(o.scan, list) < 0) {
    std::fprintf(err, "kx25ctl: cannot set up the discovery socket\n");
    return 1;
  }
  Printer errors(err);
  // Every terminal is read and checked before any is written: the page set depends on each
  // one's record version, and a terminal that does not fit must not stop the run half-way.
  struct Planned {
    config::Mac mac{};
    config::Configuration c;
    std::string skip;  // why this terminal is left alone; empty: apply
  };
  std::vector<Planned> plan;
  for (const discovery::DeviceEntry& e : table.entries()) {
    Planned p;
    p.mac = e.summary.mac;
    Result<config::Configuration> decoded = config::DecodeConfigRecord(e.slot);
    if (!decoded.ok()) {
      p.skip = decoded.status().message();
    } else {
      p.c = config::CompleteConfiguration(std::move(*decoded), o.exchange, errors);
      p.skip = Edit(o, p.c, file, assignments, err);
      if (p.skip.empty()) p.skip = config::MissingForApply(p.c);
    }
    plan.push_back(std::move(p));
  }
  int skipped = 0, failures = 0;
  for (const Planned& p : plan) {
    if (!p.skip.empty()) {
      ++skipped;
      std::fprintf(err, "kx25ctl: skipped %s: %s\n", config::FormatMac(p.mac, ':').c_str(), p.skip.c_str());
      continue;
    }
    const auto sent = config::ApplyConfiguration(p.c, {o.marlo}, o.exchange, errors);
    PrintSent(sent, p.mac, out);
    if (!AllComplete(sent)) ++failures;
  }
  const bool all_done = skipped == 0 && failures == 0;
  if (o.rescan) {
    Options again = o;
    return Scan(again, out, err) == 0 && all_done ? 0 : 1;
  }
  std::fprintf(out, "Nr of units configured: %zu\n", plan.size() - skipped - failures);
  return all_done ? 0 : 1;
}

}  // namespace

int RunCtl(int argc, char** argv, std::FILE* out, std::FILE* err) {
  Options o;
  cli::CommandLine cl("kx25ctl", kDescription);
  CLI::App& app = cl.app();
  app.footer(kFooter);
  app.require_subcommand(1);

  std::string to;
  app.add_option("--to", to, "destination of the datagrams (default 255.255.255.255:10004)")
      ->type_name("ADDR[:PORT]")
      ->group("Options (every command)")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)  // the last one given counts
      ->check([&o](const std::string& text) -> std::string {
        std::string_view s = text, port;
        if (auto colon = s.find(':'); colon != std::string_view::npos) {
          port = s.substr(colon + 1);
          s = s.substr(0, colon);
        }
        auto ip = net::ParseIpv4(s);
        if (!ip) return "'" + text + "' is not an IPv4 address";
        o.exchange.destination.address = *ip;
        if (!port.empty()) {
          const std::optional<long long> n = kt::text::ParseInteger(port, 1, 65535);
          if (!n) return "bad port in '" + text + "'";
          o.exchange.destination.port = static_cast<uint16_t>(*n);
        }
        return {};
      });
  std::string bind;
  app.add_option("--bind", bind, "local address to send from (default 0.0.0.0)")
      ->type_name("IP")
      ->group("Options (every command)")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)  // the last one given counts
      ->check(cli::kIpv4);
  app.add_option("--port", o.exchange.bind_port, "local UDP port (default 0: the system chooses)")
      ->type_name("N")
      ->group("Options (every command)")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)  // the last one given counts
      ->check(CLI::Range(0, 65535));
  app.add_option("--seconds", o.scan.countdown_seconds,
                 "how long to discover (default 15); single-terminal commands stop as soon as the "
                 "terminal has answered")
      ->type_name("N")
      ->group("Options (every command)")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)  // the last one given counts
      ->check(CLI::Range(1, 3600));
  app.add_flag("--rs232", o.rs232, "include the RS232 page in settings files")->group("Options (save, apply)");
  app.add_flag("--marlo", o.marlo, "retail-chain mode: send the Retalix activation before the record")
      ->group("Options (apply)");
  int pause_ms = static_cast<int>(o.exchange.apply_pause.count());
  app.add_option("--pause-ms", pause_ms,
                 "pause after the long-message, wireless and activation datagrams (default 2000)")
      ->type_name("N")
      ->group("Options (apply)")
      ->check(CLI::Range(0, 60000));
  app.add_flag("--all", o.all, "configure every terminal found (each keeps its IP)")->group("Options (apply)");
  bool no_rescan = false;
  app.add_flag("--no-rescan", no_rescan, "do not scan again after applying")->group("Options (apply)");

  app.add_subcommand("scan", "list the terminals that answer, sorted by MAC");
  app.add_subcommand("show", "print a terminal's configuration as name=value lines")
      ->add_option("MAC", o.positional, "the terminal");
  app.add_subcommand("save", "write a terminal's settings to a settings file")
      ->add_option("ARGS", o.positional, "MAC FILE.KX25");
  app.add_subcommand("apply",
                     "configure a terminal from a file and/or settings: apply MAC [FILE.KX25] "
                     "[name=value...]; or every terminal found: apply --all FILE.KX25 [name=value...]")
      ->add_option("ARGS", o.positional, "MAC, FILE.KX25, name=value settings");
  TerminalArgs terminal;
  CLI::App* terminal_command = AddTerminalCommand(app, terminal);
  FirmwareArgs firmware;
  CLI::App* firmware_command = AddFirmwareCommand(app, firmware);

  if (auto done = cl.Parse(argc, argv, out, err)) return *done;
  o.command = app.get_subcommands().front()->get_name();
  if (!bind.empty()) o.exchange.bind_address = *net::ParseIpv4(bind);
  o.exchange.apply_pause = std::chrono::milliseconds(pause_ms);
  o.rescan = !no_rescan;
  o.scan.bind_address = o.exchange.bind_address;
  o.scan.bind_port = o.exchange.bind_port;
  o.scan.destination = o.exchange.destination;
  if (terminal_command->parsed()) return RunTerminalCommand(terminal, o.scan, out, err);
  if (firmware_command->parsed()) return RunFirmwareCommand(firmware, o.scan, out, err);

  if (o.command == "scan") return Scan(o, out, err);
  if (o.command == "show") return Show(o, out, err);
  if (o.command == "save") return Save(o, out, err);
  return o.all ? ApplyAll(o, out, err) : ApplyOne(o, out, err);
}

}  // namespace kt::ctl
