#include "tool/ctl/config_fields.h"

#include <functional>
#include <optional>

#include "common/net/udp_socket.h"
#include "common/text/text.h"
#include "tool/config/text_codec.h"
#include "tool/config/wireless_record.h"

namespace kt::ctl {
namespace {

using config::Configuration;
using Getter = std::function<std::string(const Configuration&)>;
using Setter = std::function<Status(Configuration&, std::string_view)>;

struct Field {
  std::string name;
  Getter get;
  Setter set;  // empty for read-only fields
  std::function<bool(const Configuration&)> applies = [](const Configuration&) { return true; };
};

Status Bad(std::string_view name, std::string_view value, std::string_view expected) {
  return Status::InvalidArgument(std::string(name) + ": '" + std::string(value) + "' is not " +
                                 std::string(expected));
}

const char* OnOff(bool b) { return b ? "on" : "off"; }

// Field helpers: each builds a Field for one kind of value.
Field Flag(std::string name, bool Configuration::*member) {
  return {name, [member](const Configuration& c) { return std::string(OnOff(c.*member)); },
          [name, member](Configuration& c, std::string_view v) {
            if (v == "on" || v == "1" || v == "yes" || v == "true") c.*member = true;
            else if (v == "off" || v == "0" || v == "no" || v == "false") c.*member = false;
            else return Bad(name, v, "on or off");
            return Status::Ok();
          }};
}

template <typename Get, typename Put>
Field Number(std::string name, long lo, long hi, Get get, Put put) {
  return {name, [get](const Configuration& c) { return std::to_string(get(c)); },
          [=](Configuration& c, std::string_view v) {
            const std::optional<long long> n = text::ParseInteger(v, lo, hi);
            if (!n) return Bad(name, v, "a number from " + std::to_string(lo) + " to " + std::to_string(hi));
            put(c, static_cast<long>(*n));
            return Status::Ok();
          }};
}

// A value picked from named choices; `get` and `put` work with the choice's position.
template <typename Get, typename Put>
Field Choice(std::string name, std::vector<std::string> choices, Get get, Put put) {
  return {name,
          [=](const Configuration& c) {
            const int i = get(c);
            return i >= 0 && i < static_cast<int>(choices.size()) ? choices[i] : std::string("?");
          },
          [=](Configuration& c, std::string_view v) {
            for (std::size_t i = 0; i < choices.size(); ++i) {
              if (choices[i] == v) {
                put(c, static_cast<int>(i));
                return Status::Ok();
              }
            }
            std::string all;
            for (const auto& s : choices) all += (all.empty() ? "" : ", ") + s;
            return Bad(name, v, "one of " + all);
          }};
}

Field Address(std::string name, uint32_t Configuration::*member) {
  return {name, [member](const Configuration& c) { return net::FormatIpv4(c.*member); },
          [name, member](Configuration& c, std::string_view v) {
            auto ip = net::ParseIpv4(v);
            if (!ip) return Bad(name, v, "a dotted IPv4 address");
            c.*member = *ip;
            return Status::Ok();
          }};
}

// Text stored in the record's code page, at most `max` bytes once encoded.
template <typename Ref>
Field Text(std::string name, std::size_t max, bool ansi, Ref ref) {
  return {name, [ref](const Configuration& c) { return std::string(ref(c)); },
          [=](Configuration& c, std::string_view v) {
            const std::size_t bytes =
                ansi ? config::EncodeAnsi(v).size() : config::EncodeText(v, c.codepage).size();
            if (bytes > max) return Bad(name, v, "at most " + std::to_string(max) + " bytes long");
            ref(c) = std::string(v);
            return Status::Ok();
          }};
}

Field ReadOnly(std::string name, Getter get) { return {std::move(name), std::move(get), {}}; }

const std::vector<std::string> kVertical = {"none", "top", "center", "bottom"};
const std::vector<std::string> kHorizontal = {"none", "left", "center", "right"};

void AddLine(std::vector<Field>& f, const std::string& name, int line, bool offline) {
  auto applies = [offline](const Configuration& c) {
    return !offline || config::HasOfflineLine(c.version);
  };
  auto add = [&](Field x) {
    x.applies = applies;
    f.push_back(std::move(x));
  };
  Field text = Text(name, 60, false, [line](auto& c) -> auto& { return c.lines[line].text; });
  // A line the user enters no longer waits for a long-message record that was not read.
  text.set = [set = std::move(text.set), line](Configuration& c, std::string_view v) {
    Status st = set(c, v);
    if (st.ok()) c.lines_cut &= static_cast<uint8_t>(~config::LineBit(line));
    return st;
  };
  add(std::move(text));
  add(Choice(name + "-font", {"small", "large"}, [line](const Configuration& c) { return c.lines[line].font; },
             [line](Configuration& c, int i) { c.lines[line].font = static_cast<uint8_t>(i); }));
  add(Number(name + "-x", 0, 255, [line](const Configuration& c) { return c.lines[line].x; },
             [line](Configuration& c, long n) { c.lines[line].x = static_cast<uint8_t>(n); }));
  add(Number(name + "-y", 0, 255, [line](const Configuration& c) { return c.lines[line].y; },
             [line](Configuration& c, long n) { c.lines[line].y = static_cast<uint8_t>(n); }));
  add(Choice(name + "-valign", kVertical,
             [line](const Configuration& c) { return c.lines[line].align.vertical; },
             [line](Configuration& c, int i) { c.lines[line].align.vertical = i; }));
  add(Choice(name + "-halign", kHorizontal,
             [line](const Configuration& c) { return c.lines[line].align.horizontal; },
             [line](Configuration& c, int i) { c.lines[line].align.horizontal = i; }));
}

void AddPort(std::vector<Field>& f, const std::string& name, config::SerialPort Configuration::*port) {
  f.push_back(Choice(name + "-baud", {"9600", "19200"},
                     [port](const Configuration& c) { return (c.*port).baud == 9600 ? 0 : 1; },
                     [port](Configuration& c, int i) { (c.*port).baud = i == 0 ? 9600 : 19200; }));
  f.push_back(Choice(name + "-handshaking", {"none", "xon-xoff"},
                     [port](const Configuration& c) { return (c.*port).xon_xoff ? 1 : 0; },
                     [port](Configuration& c, int i) { (c.*port).xon_xoff = i == 1; }));
}

std::vector<Field> BuildFields() {
  std::vector<Field> f;
  auto retalix = [](const Configuration& c) { return config::HasRetalixBlock(c.version); };
  f.push_back(ReadOnly("mac", [](const Configuration& c) { return config::FormatMac(c.mac, ':'); }));
  f.push_back(ReadOnly("version", [](const Configuration& c) { return std::to_string(c.version); }));
  f.push_back(ReadOnly("firmware", [](const Configuration& c) {
    return "v" + c.firmware_version + " " + c.firmware_date;
  }));
  f.push_back(ReadOnly("active-interface", [](const Configuration& c) {
    return std::string(c.active_interface == 1 ? "Wired" : "Wireless");
  }));
  f.push_back(ReadOnly("jumper1", [](const Configuration& c) { return std::string(OnOff(c.hardware_state & 1)); }));
  f.push_back(ReadOnly("jumper2", [](const Configuration& c) { return std::string(OnOff(c.hardware_state & 2)); }));
  f.push_back(ReadOnly("wifi-card", [](const Configuration& c) { return std::string(OnOff(c.hardware_state & 4)); }));
  f.push_back(ReadOnly("current-ip", [](const Configuration& c) { return net::FormatIpv4(c.current_ip); }));
  // Network page.
  f.push_back(Address("ip-address", &Configuration::ip_address));
  f.push_back(Address("subnet-mask", &Configuration::subnet_mask));
  f.push_back(Address("gateway", &Configuration::gateway));
  f.push_back(Flag("dhcp", &Configuration::dhcp));
  f.push_back(Choice("transport", {"tcp", "udp"}, [](const Configuration& c) { return c.udp ? 1 : 0; },
                     [](Configuration& c, int i) { c.udp = i == 1; }));
  f.push_back(Choice("role", {"client", "server"}, [](const Configuration& c) { return c.tcp_server ? 1 : 0; },
                     [](Configuration& c, int i) { c.tcp_server = i == 1; }));
  f.push_back(Number("tcp-port", 0, 65535, [](const Configuration& c) { return c.tcp_port; },
                     [](Configuration& c, long n) { c.tcp_port = static_cast<uint16_t>(n); }));
  f.push_back(Number("udp-port", 0, 65535, [](const Configuration& c) { return c.udp_port; },
                     [](Configuration& c, long n) { c.udp_port = static_cast<uint16_t>(n); }));
  f.push_back(Address("remote-ip", &Configuration::remote_ip));
  // Wireless page.
  f.push_back(Text("ssid", 32, true, [](auto& c) -> auto& { return c.wireless.ssid; }));
  f.push_back(Choice("wireless-mode", {"infrastructure", "adhoc"},
                     [](const Configuration& c) { return c.wireless.adhoc ? 1 : 0; },
                     [](Configuration& c, int i) { c.wireless.adhoc = i == 1; }));
  f.push_back(Number("channel", 1, 14, [](const Configuration& c) { return c.wireless.channel; },
                     [](Configuration& c, long n) { c.wireless.channel = static_cast<uint8_t>(n); }));
  f.push_back(Choice("security", {"none", "wep", "wpa-personal", "wpa-enterprise"},
                     [](const Configuration& c) {
                       return static_cast<int>(config::SecurityModeOf(c.wireless, c.firmware_number()));
                     },
                     [](Configuration& c, int i) {
                       auto m = static_cast<config::SecurityMode>(i);
                       // Older firmware knows only None and WEP.
                       if (c.firmware_number() < config::kFirmwareWirelessRecord && i > 1) {
                         m = config::SecurityMode::kNone;
                       }
                       config::SetSecurityMode(c.wireless, m);
                     }));
  f.push_back({"wep-key", [](const Configuration& c) { return config::WepKeyToHex(c.wireless.wep_key); },
               [](Configuration& c, std::string_view v) {
                 if (!config::WepKeyFromHex(v, c.wireless.wep_key)) {
                   return Bad("wep-key", v, "up to 26 hexadecimal digits");
                 }
                 return Status::Ok();
               }});
  f.push_back(Choice("wep-length", {"64", "128"}, [](const Configuration& c) { return c.wireless.wep128 ? 1 : 0; },
                     [](Configuration& c, int i) { c.wireless.wep128 = i == 1; }));
  f.push_back(Choice("authentication", {"open", "shared"},
                     [](const Configuration& c) { return c.wireless.shared_auth ? 1 : 0; },
                     [](Configuration& c, int i) { c.wireless.shared_auth = i == 1; }));
  f.push_back(Choice("wlan-mac", {"card", "own"}, [](const Configuration& c) { return c.wireless.own_mac ? 1 : 0; },
                     [](Configuration& c, int i) { c.wireless.own_mac = i == 1; }));
  f.push_back({"auto-channel", [](const Configuration& c) { return std::string(OnOff(c.wireless.auto_channel)); },
               [](Configuration& c, std::string_view v) {
                 if (v != "on" && v != "off") return Bad("auto-channel", v, "on or off");
                 c.wireless.auto_channel = v == "on";
                 return Status::Ok();
               }});
  f.push_back(Number("mode-80211", 0, 255, [](const Configuration& c) { return c.wireless.mode_80211; },
                     [](Configuration& c, long n) { c.wireless.mode_80211 = static_cast<uint8_t>(n); }));
  f.push_back(Number("tx-rate", 0, 65535, [](const Configuration& c) { return c.wireless.tx_rate; },
                     [](Configuration& c, long n) { c.wireless.tx_rate = static_cast<uint16_t>(n); }));
  f.push_back(Number("channel-width", 0, 2, [](const Configuration& c) { return c.wireless.channel_width; },
                     [](Configuration& c, long n) { c.wireless.channel_width = static_cast<uint8_t>(n); }));
  f.push_back(Number("stream-mask", 0, 0xFFFFFFFFL, [](const Configuration& c) { return c.wireless.stream_mask; },
                     [](Configuration& c, long n) { c.wireless.stream_mask = static_cast<uint32_t>(n); }));
  f.push_back(Number("wpa-mode", 1, 3, [](const Configuration& c) { return c.wireless.wpa_mode; },
                     [](Configuration& c, long n) { c.wireless.wpa_mode = static_cast<uint8_t>(n); }));
  f.push_back(Number("cipher", 1, 3, [](const Configuration& c) { return c.wireless.cipher; },
                     [](Configuration& c, long n) { c.wireless.cipher = static_cast<uint8_t>(n); }));
  f.push_back(Text("psk", 64, true, [](auto& c) -> auto& { return c.wireless.psk; }));
  f.push_back(Number("eap-type", 0, 255, [](const Configuration& c) { return c.wireless.eap_type; },
                     [](Configuration& c, long n) { c.wireless.eap_type = static_cast<uint8_t>(n); }));
  f.push_back(Number("inner-auth", 0, 255, [](const Configuration& c) { return c.wireless.inner_auth; },
                     [](Configuration& c, long n) { c.wireless.inner_auth = static_cast<uint8_t>(n); }));
  f.push_back(Text("eap-user", 64, true, [](auto& c) -> auto& { return c.wireless.eap_user; }));
  f.push_back(Text("eap-password", 64, true,
                   [](auto& c) -> auto& { return c.wireless.eap_password; }));
  // Messages page.
  AddLine(f, "idle1", config::kIdle1, false);
  AddLine(f, "idle2", config::kIdle2, false);
  AddLine(f, "idle3", config::kIdle3, false);
  AddLine(f, "error1", config::kError1, false);
  AddLine(f, "error2", config::kError2, false);
  AddLine(f, "offline", config::kOffline, true);
  // RS232 page.
  AddPort(f, "port1", &Configuration::port1);
  AddPort(f, "port2", &Configuration::port2);
  // Miscellaneous page.
  f.push_back(Text("device-name", 26, false, [](auto& c) -> auto& { return c.device_name; }));
  f.push_back(Flag("rotate", &Configuration::rotate));
  f.push_back(Flag("invert", &Configuration::invert));
  f.push_back(Choice("text-direction", {"ltr", "rtl"}, [](const Configuration& c) { return c.right_to_left ? 1 : 0; },
                     [](Configuration& c, int i) { c.right_to_left = i == 1; }));
  f.push_back(Choice("idle-screen", {"text", "gif"}, [](const Configuration& c) { return c.idle_gif ? 1 : 0; },
                     [](Configuration& c, int i) { c.idle_gif = i == 1; }));
  f.push_back(Flag("disable-beep", &Configuration::disable_beep));
  f.push_back(Choice("speed", {"10", "20", "30", "40", "50", "60", "70", "80", "90", "100"},
                     [](const Configuration& c) { return c.speed_step - 1; },
                     [](Configuration& c, int i) { c.speed_step = static_cast<uint8_t>(i + 1); }));
  f.push_back(Choice("scan-interval", {"0", "250", "500", "750", "1000", "1250", "1500", "1750", "2000"},
                     [](const Configuration& c) { return c.scan_interval / 25; },
                     [](Configuration& c, int i) { c.scan_interval = static_cast<uint8_t>(i * 25); }));
  f.push_back(Choice("volume", {"10", "20", "30", "40", "50", "60", "70", "80", "90", "100"},
                     [](const Configuration& c) { return c.volume_percent / 10 - 1; },
                     [](Configuration& c, int i) { c.volume_percent = static_cast<uint8_t>(i * 10 + 10); }));
  f.push_back(Number("display-time", 0, 15, [](const Configuration& c) { return c.display_seconds; },
                     [](Configuration& c, long n) { c.display_seconds = static_cast<uint8_t>(n); }));
  f.push_back(Number("host-wait", 0, 15, [](const Configuration& c) { return c.host_wait_seconds; },
                     [](Configuration& c, long n) { c.host_wait_seconds = static_cast<uint8_t>(n); }));
  f.push_back(Number("codepage", 0, 11, [](const Configuration& c) { return c.codepage; },
                     [](Configuration& c, long n) { c.codepage = static_cast<uint8_t>(n); }));
  // Retalix.
  f.push_back(Flag("retalix-active", &Configuration::retalix_active));
  auto add_retalix = [&](Field x) {
    x.applies = retalix;
    f.push_back(std::move(x));
  };
  add_retalix(Number("pos-station", 0, 255, [](const Configuration& c) { return c.retalix.pos_station; },
                     [](Configuration& c, long n) { c.retalix.pos_station = static_cast<uint8_t>(n); }));
  add_retalix(Number("mfs-station", 0, 255, [](const Configuration& c) { return c.retalix.mfs_station; },
                     [](Configuration& c, long n) { c.retalix.mfs_station = static_cast<uint8_t>(n); }));
  add_retalix(Choice("round-off", {"1", "10", "100", "1000"},
                     [](const Configuration& c) {
                       switch (c.retalix.round_off) {
                         case 1: return 0;
                         case 10: return 1;
                         case 100: return 2;
                         case 1000: return 3;
                         default: return -1;
                       }
                     },
                     [](Configuration& c, int i) {
                       static constexpr uint16_t kUnits[] = {1, 10, 100, 1000};
                       c.retalix.round_off = kUnits[i];
                     }));
  add_retalix(Text("currency", 4, false, [](auto& c) -> auto& { return c.retalix.currency; }));
  add_retalix(Number("decimals", 0, 3, [](const Configuration& c) { return c.retalix.decimals; },
                     [](Configuration& c, long n) { c.retalix.decimals = static_cast<uint8_t>(n); }));
  add_retalix(Choice("currency-position", {"left", "right"},
                     [](const Configuration& c) { return c.retalix.symbol_position ? 1 : 0; },
                     [](Configuration& c, int i) { c.retalix.symbol_position = static_cast<uint8_t>(i); }));
  return f;
}

const std::vector<Field>& Fields() {
  static const std::vector<Field> fields = BuildFields();
  return fields;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> FormatConfiguration(const Configuration& c) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const Field& f : Fields()) {
    if (f.applies(c)) out.emplace_back(f.name, f.get(c));
  }
  return out;
}

Status SetField(Configuration& c, std::string_view name, std::string_view value) {
  for (const Field& f : Fields()) {
    if (f.name != name) continue;
    if (!f.set) return Status::InvalidArgument(std::string(name) + " is read-only");
    if (!f.applies(c)) {
      return Status::InvalidArgument(std::string(name) + " does not apply to a version " +
                                     std::to_string(c.version) + " record");
    }
    Configuration changed = c;
    KT_RETURN_IF_ERROR(f.set(changed, value));
    c = std::move(changed);
    return Status::Ok();
  }
  return Status::InvalidArgument("unknown setting '" + std::string(name) + "'");
}

Status ApplyAssignment(Configuration& c, std::string_view assignment) {
  const std::size_t eq = assignment.find('=');
  if (eq == std::string_view::npos || eq == 0) {
    return Status::InvalidArgument("'" + std::string(assignment) + "' is not name=value");
  }
  return SetField(c, assignment.substr(0, eq), assignment.substr(eq + 1));
}

}  // namespace kt::ctl
