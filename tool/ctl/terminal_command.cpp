#include "tool/ctl/terminal_command.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/net/udp_socket.h"
#include "common/text/text.h"
#include "tool/config/config_record.h"
#include "tool/ctl/find_terminal.h"
#include "tool/firmware/static_arp.h"
#include "tool/terminal/terminal_session.h"

namespace kt::ctl {
namespace {

constexpr char kLeaveKey = 0x1D;  // Ctrl-]

// Puts a console into raw mode (no line editing, no echo, no signals from keys) for as long as it
// lives; output processing stays on so that LF starts a new line.
class RawConsole {
 public:
  RawConsole() {
    if (!::isatty(0) || ::tcgetattr(0, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT);
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = ::tcsetattr(0, TCSANOW, &raw) == 0;
  }
  ~RawConsole() {
    if (active_) ::tcsetattr(0, TCSANOW, &saved_);
  }
  RawConsole(const RawConsole&) = delete;
  RawConsole& operator=(const RawConsole&) = delete;

 private:
  termios saved_{};
  bool active_ = false;
};

class ConsoleLog : public terminal::SessionObserver {
 public:
  ConsoleLog(std::FILE* out, bool colour, int wake_fd) : out_(out), colour_(colour), wake_fd_(wake_fd) {}

  void OnLog(const terminal::LogPiece& p) override {
    const char* on = "";
    switch (p.kind) {
      case terminal::LogKind::kReceived: on = "\x1B[94m"; break;  // light blue
      case terminal::LogKind::kSent: on = "\x1B[31m"; break;      // red
      case terminal::LogKind::kTyped: on = "\x1B[97m"; break;     // white
      case terminal::LogKind::kNotice: on = "\x1B[1m"; break;
    }
    const bool line = p.kind == terminal::LogKind::kNotice || p.kind == terminal::LogKind::kSent;
    std::fprintf(out_, "%s%s%s%s%s", line ? "\n" : "", colour_ ? on : "", p.text.c_str(), colour_ ? "\x1B[0m" : "",
                 line ? "\n" : "");
    std::fflush(out_);
  }
  void OnConnected() override {
    connected_ = true;
    Wake();
  }
  void OnDisconnected() override {
    ended_ = true;
    Wake();
  }
  void OnCloseRequested() override { unreachable_ = true; }

  bool ended() const { return ended_; }
  bool was_connected() const { return connected_; }
  bool unreachable() const { return unreachable_; }

 private:
  void Wake() {
    const char c = 1;
    const ssize_t ignored = ::write(wake_fd_, &c, 1);
    (void)ignored;
  }
  std::FILE* out_;
  const bool colour_;
  const int wake_fd_;
  std::atomic<bool> connected_{false};
  std::atomic<bool> ended_{false};
  std::atomic<bool> unreachable_{false};
};

// Bytes typed on the console to code points (UTF-8; a stray byte stands for itself).
class Utf8Keys {
 public:
  std::optional<char32_t> Push(unsigned char b) {
    if (need_ == 0) {
      if (b < 0x80) return b;
      need_ = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
      if (need_ == 0) return b;
      cp_ = b & (0x3F >> need_);
      return std::nullopt;
    }
    if ((b & 0xC0) != 0x80) {
      need_ = 0;
      return b;
    }
    cp_ = (cp_ << 6) | (b & 0x3F);
    if (--need_ == 0) return cp_;
    return std::nullopt;
  }

 private:
  int need_ = 0;
  char32_t cp_ = 0;
};

}  // namespace

CLI::App* AddTerminalCommand(CLI::App& app, TerminalArgs& a) {
  CLI::App* cmd = app.add_subcommand(
      "terminal", "raw TCP terminal to a terminal configured as TCP server (Ctrl-] leaves): terminal IP [PORT]");
  cmd->add_option("ARGS", a.positional, "IP and optionally the TCP port");
  cmd->add_flag("--respond", a.respond, "answer scanned codes with demonstration screens");
  cmd->add_flag("--hex", a.hex, "typed characters are hex digits, two per byte");
  cmd->add_option("--codepage", a.codepage,
                  "the terminal's code-page index when PORT is given (default 1; 9 = UTF-8)")
      ->type_name("N")
      ->check(CLI::Range(0, 15));
  return cmd;
}

int RunTerminalCommand(const TerminalArgs& a, const discovery::ScanOptions& scan, std::FILE* out, std::FILE* err) {
  const bool respond = a.respond, hex = a.hex;
  const long codepage = a.codepage;
  const std::vector<std::string>& positional = a.positional;
  const std::optional<long long> given_port =
      positional.size() == 2 ? text::ParseInteger(positional[1], 1, 65535) : std::optional<long long>(0);
  if (positional.empty() || positional.size() > 2 || !net::ParseIpv4(positional[0]) || !given_port) {
    std::fprintf(err, "kx25ctl: terminal needs an IPv4 address and optionally a TCP port\n");
    return 2;
  }
  const long port = static_cast<long>(*given_port);
  terminal::TerminalTarget target{positional[0], static_cast<uint16_t>(port), static_cast<int>(codepage)};

  if (port == 0) {  // find the terminal: its port, code page and configuration
    TerminalName name{net::ParseIpv4(positional[0]), std::nullopt, positional[0]};
    const std::optional<discovery::DeviceEntry> entry = FindTerminal(scan, name, err);
    if (!entry) {
      std::fprintf(err,
                   "kx25ctl: Unknown Device: The device you are trying to connect to, is not an\n"
                   "KX25, or it's an KX25 with older firmware.\n\nPlease update to the latest firmware version.\n");
      return 1;
    }
    const firmware::ArpEntryResult arp = firmware::PinTerminalAddress(entry->summary.ip, entry->summary.mac);
    if (arp.outcome != firmware::ArpEntryResult::Outcome::kSkipped) std::fprintf(err, "%s\n", arp.detail.c_str());
    Result<config::Configuration> c = config::DecodeConfigRecord(entry->slot);
    if (!c.ok()) {
      std::fprintf(err, "kx25ctl: %s\n", c.status().ToString().c_str());
      return 1;
    }
    if (config::HasRetalixBlock(c->version)) {
      std::fprintf(err,
                   "kx25ctl: MARLO firmware detected: The device you are trying to connect to, is running\n"
                   "special MARLO firmware and can't communicate over TCP.\n");
      return 1;
    }
    if (!c->tcp_server || c->udp) {
      std::fprintf(err,
                   "kx25ctl: Incompatible Configuration...: This Corvane should be configured as 'TCP Server' "
                   "before the TCP terminal\ncan be used. Configure it first, for example:\n"
                   "  kx25ctl apply %s role=server transport=tcp\n",
                   config::FormatMac(c->mac, ':').c_str());
      return 1;
    }
    target.port = c->tcp_port;
    target.codepage_index = c->codepage;
  }

  int wake[2];
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::fprintf(err, "kx25ctl: pipe failed\n");
    return 1;
  }
  ConsoleLog log(out, ::isatty(::fileno(out)) != 0, wake[1]);
  std::fprintf(out, "Corvane TCP Terminal : %s (port %u; Ctrl-] leaves)\n", target.ip.c_str(), target.port);
  std::fflush(out);
  int code = 0;
  {
    terminal::TerminalSession session(target, log);
    session.SetRespondToBarcodes(respond);
    session.SetHexInput(hex);
    RawConsole raw;
    session.Connect();
    Utf8Keys keys;
    bool input_open = true;
    while (!log.ended()) {
      pollfd fds[2] = {{wake[0], POLLIN, 0}, {0, static_cast<short>(input_open ? POLLIN : 0), 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[0].revents) {
        char drain[64];
        while (::read(wake[0], drain, sizeof drain) > 0) {
        }
      }
      if (!input_open || !fds[1].revents) continue;
      unsigned char buf[256];
      const ssize_t n = ::read(0, buf, sizeof buf);
      if (n <= 0) {  // end of input: leave as with Ctrl-]
        input_open = false;
        session.Disconnect();
        continue;
      }
      for (ssize_t k = 0; k < n; ++k) {
        if (buf[k] == kLeaveKey) {
          input_open = false;
          session.Disconnect();
          break;
        }
        if (buf[k] == 0x1B) {
          session.TypeEscape();
          continue;
        }
        if (auto cp = keys.Push(buf[k])) session.TypeKey(*cp);
      }
    }
    session.WaitUntilDisconnected();
    if (!log.was_connected()) code = 1;
    if (log.unreachable()) {
      std::fprintf(err, "kx25ctl: the terminal stopped answering echo requests\n");
      code = 1;
    }
  }
  ::close(wake[0]);
  ::close(wake[1]);
  std::fprintf(out, "\n");
  return code;
}

}  // namespace kt::ctl
