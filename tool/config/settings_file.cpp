#include "tool/config/settings_file.h"


#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

#include "common/platform/files/native_file.h"
#include "tool/config/archive.h"
#include "tool/config/wireless_record.h"

namespace kt::config {
namespace {

constexpr std::string_view kNetworkTag = "PROP1_101";
constexpr std::string_view kWirelessTag = "PROP2_101";
constexpr std::string_view kMessagesTag = "PROP3_101";
constexpr std::string_view kRs232Tag = "PROP4_101";
constexpr std::string_view kMiscTag = "PROP6_101";
constexpr std::string_view kRetalixTag = "PROP7_101";

// No settings file comes near this; anything larger is not one.
constexpr std::uintmax_t kMaxFileSize = 1 << 20;

// Line orders of the Messages block.
constexpr int kAlignOrder[6] = {kIdle1, kIdle2, kIdle3, kError1, kError2, kOffline};
constexpr int kTextOrder[6] = {kOffline, kError1, kError2, kIdle1, kIdle2, kIdle3};
constexpr int kYOrder[6] = {kOffline, kError1, kError2, kIdle1, kIdle3, kIdle2};

// The offline line a version-3/5 file carries in place of the real one.
MessageLine RetalixOfflinePlaceholder() {
  MessageLine l;
  l.text = " Offline ";
  l.align = {2, 2};
  l.x = 0;
  l.y = 20;
  l.font = 0;
  return l;
}

bool B(int32_t v) { return v != 0; }

// Reads a block's tag. A file holds no list of its optional blocks, so a tag other than the one
// expected means the file was saved with another page set: refuse it instead of reading one
// page's values into another.
void ReadTag(ArchiveReader& r, std::string_view expected) {
  const std::string tag = r.String();
  if (r.status().ok() && tag != expected) {
    r.Fail("settings file: page block '" + tag + "' where '" + std::string(expected) +
           "' was expected (saved with other pages?)");
  }
}

// Range checks for values read from a file: out-of-range values fail the whole load.
class Checker {
 public:
  explicit Checker(ArchiveReader& r) : r_(r) {}
  // Returns v, or lo after recording the failure, so callers may index with the result.
  int32_t In(int32_t v, int32_t lo, int32_t hi, const char* what) {
    if (v >= lo && v <= hi) return v;
    r_.Fail("settings file: " + std::string(what) + " " + std::to_string(v) + " out of range");
    return lo;
  }

 private:
  ArchiveReader& r_;
};

void WriteNetwork(ArchiveWriter& w, const Configuration& c) {
  w.String(kNetworkTag);
  w.Address(c.ip_address);
  w.Address(c.subnet_mask);
  w.Address(c.gateway);
  w.Address(c.remote_ip);
  w.Int(c.udp_port);
  w.Int(c.tcp_port);
  w.Int(c.dhcp ? 1 : 0);
  w.Int(c.tcp_server ? 1 : 0);
  w.Int(c.udp ? 0 : 1);
}

void ReadNetwork(ArchiveReader& r, Configuration& c) {
  Checker ck(r);
  ReadTag(r, kNetworkTag);
  r.Address();  // the terminal keeps its own IP address
  c.subnet_mask = r.Address();
  c.gateway = r.Address();
  c.remote_ip = r.Address();
  c.udp_port = static_cast<uint16_t>(ck.In(r.Int(), 0, 65535, "udp port"));
  c.tcp_port = static_cast<uint16_t>(ck.In(r.Int(), 0, 65535, "tcp port"));
  c.dhcp = B(r.Int());
  c.tcp_server = B(r.Int());
  c.udp = ck.In(r.Int(), 0, 1, "transport") == 0;
}

void WriteWireless(ArchiveWriter& w, const Configuration& c) {
  const WirelessSettings& s = c.wireless;
  w.String(kWirelessTag);
  w.Int(static_cast<int32_t>(s.channel) - 1);
  w.Int(static_cast<int32_t>(SecurityModeOf(s, c.firmware_number())));
  w.String(s.ssid);
  w.String(WepKeyToHex(s.wep_key));
  w.Int(s.adhoc ? 1 : 0);
  w.Int(s.shared_auth ? 1 : 0);
  w.Int(s.own_mac ? 1 : 0);
  w.Int(s.wep128 ? 1 : 0);
  w.Int(s.auto_channel ? 1 : 0);
  w.Int(ListIndexOf(TxRateList(), s.tx_rate));
  w.Int(s.channel_width);
  w.Int(static_cast<int32_t>(s.stream_mask));
  w.Byte(static_cast<uint8_t>(s.wpa_mode - 1));
  w.Byte(static_cast<uint8_t>(s.cipher - 1));
  w.String(s.psk);
  w.Byte(s.eap_type);
  w.Byte(s.inner_auth);
  w.String(s.eap_user);
  w.String(s.eap_password);
}

void ReadWireless(ArchiveReader& r, Configuration& c) {
  Checker ck(r);
  WirelessSettings& s = c.wireless;
  ReadTag(r, kWirelessTag);
  // Four bits in the record: channels 0-15, stored as list index - 1 to 14 (-1, nothing chosen,
  // is channel 0 as the page would send it).
  s.channel = static_cast<uint8_t>(ck.In(r.Int(), -1, 14, "channel list index") + 1);
  const int32_t mode = ck.In(r.Int(), -1, 3, "security mode");
  s.ssid = r.String();
  const std::string wep = r.String();
  if (r.status().ok() && !WepKeyFromHex(wep, s.wep_key)) r.Fail("settings file: bad WEP key text");
  s.adhoc = B(r.Int());
  s.shared_auth = B(r.Int());
  s.own_mac = B(r.Int());
  s.wep128 = B(r.Int());
  s.auto_channel = B(r.Int());
  const int32_t rate = ck.In(r.Int(), -1, static_cast<int32_t>(TxRateList().size()) - 1,
                             "transmission rate list index");
  if (rate >= 0) s.tx_rate = static_cast<uint16_t>(TxRateList()[rate].value);
  // A byte in the wireless record; -1 (nothing chosen) keeps the current value.
  const int32_t width = ck.In(r.Int(), -1, 255, "channel width list index");
  if (width >= 0) s.channel_width = static_cast<uint8_t>(width);
  r.Int();  // spatial-stream mask: written, not read back
  // Stored as list index (record byte - 1, modulo 256), so every record byte comes back.
  s.wpa_mode = static_cast<uint8_t>(r.Byte() + 1);
  s.cipher = static_cast<uint8_t>(r.Byte() + 1);
  s.psk = r.String();
  s.eap_type = r.Byte();
  s.inner_auth = r.Byte();
  s.eap_user = r.String();
  s.eap_password = r.String();
  if (mode >= 0) {
    SecurityMode m = static_cast<SecurityMode>(mode);
    // Older firmware offers only None and WEP.
    if (c.firmware_number() < kFirmwareWirelessRecord && m != SecurityMode::kWep) m = SecurityMode::kNone;
    SetSecurityMode(s, m);
  }
}

void WriteMessages(ArchiveWriter& w, const Configuration& c) {
  std::array<MessageLine, kLineCount> lines = c.lines;
  if (HasRetalixBlock(c.version)) lines[kOffline] = RetalixOfflinePlaceholder();
  w.String(kMessagesTag);
  for (int i : kAlignOrder) w.Int(lines[i].align.vertical);
  for (int i : kAlignOrder) w.Int(lines[i].align.horizontal);
  for (int i : kTextOrder) w.String(lines[i].text);
  for (int i : kTextOrder) w.Int(lines[i].x);
  for (int i : kYOrder) w.Int(lines[i].y);
  for (int i : kTextOrder) w.Int(lines[i].font);
}

void ReadMessages(ArchiveReader& r, Configuration& c) {
  Checker ck(r);
  ReadTag(r, kMessagesTag);
  for (int i : kAlignOrder) c.lines[i].align.vertical = ck.In(r.Int(), -1, 3, "vertical alignment");
  for (int i : kAlignOrder) {
    c.lines[i].align.horizontal = ck.In(r.Int(), -1, 3, "horizontal alignment");
  }
  for (int i : kTextOrder) c.lines[i].text = r.String();
  for (int i : kTextOrder) c.lines[i].x = static_cast<uint8_t>(ck.In(r.Int(), 0, 255, "x position"));
  for (int i : kYOrder) c.lines[i].y = static_cast<uint8_t>(ck.In(r.Int(), 0, 255, "y position"));
  for (int i : kTextOrder) c.lines[i].font = static_cast<uint8_t>(ck.In(r.Int(), 0, 255, "font size"));
}

// RS232 radio-button indexes: baud 0 = 9600, 1 = 19200; handshaking 0 Hardware, 1 Xon/Xoff,
// 2 None; data bits 1 = 8; parity, stop bits and terminator 0 (the only choices offered).
void WriteRs232(ArchiveWriter& w, const Configuration& c) {
  w.String(kRs232Tag);
  for (const SerialPort* p : {&c.port1, &c.port2}) {
    w.Int(p->baud == 9600 ? 0 : 1);
    w.Int(p->xon_xoff ? 1 : 2);
    w.Int(1);
    w.Int(0);
    w.Int(0);
    w.Int(0);
  }
}

void ReadRs232(ArchiveReader& r, Configuration& c) {
  Checker ck(r);
  ReadTag(r, kRs232Tag);
  for (SerialPort* p : {&c.port1, &c.port2}) {
    p->baud = ck.In(r.Int(), 0, 1, "baud rate index") == 0 ? 9600 : 19200;
    p->xon_xoff = ck.In(r.Int(), 0, 2, "handshaking index") == 1;
    for (int k = 0; k < 4; ++k) r.Int();  // fixed choices: 8 data bits, no parity, 1 stop bit, CR
  }
}

void WriteMisc(ArchiveWriter& w, const Configuration& c) {
  w.String(kMiscTag);
  w.String(c.device_name);
  w.Int(c.invert ? 1 : 0);
  w.Int(c.rotate ? 1 : 0);
  w.Int(c.disable_beep ? 1 : 0);
  w.Int(c.right_to_left ? 1 : 0);
  w.Int(c.idle_gif ? 1 : 0);
  // Exact values: the page's lists pick the nearest entry, the file keeps what the terminal has.
  w.Int(c.scan_interval);
  w.Int(c.speed_step);
  w.Int(c.volume_percent);
  w.Int(c.display_seconds);
  w.Int(c.host_wait_seconds);
  w.Int(c.codepage);
}

void ReadMisc(ArchiveReader& r, Configuration& c) {
  Checker ck(r);
  ReadTag(r, kMiscTag);
  c.device_name = r.String();
  c.invert = B(r.Int());
  c.rotate = B(r.Int());
  c.disable_beep = B(r.Int());
  c.right_to_left = B(r.Int());
  c.idle_gif = B(r.Int());
  const int32_t scan = r.Int();
  c.scan_interval = static_cast<uint8_t>((scan < 0 || scan > 200) ? 50 : scan);
  const int32_t speed = r.Int();
  c.speed_step = static_cast<uint8_t>((speed < 1 || speed > 10) ? 10 : speed);
  const int32_t volume = r.Int();
  c.volume_percent = static_cast<uint8_t>((volume < 10 || volume > 100) ? 100 : volume);
  c.display_seconds = static_cast<uint8_t>(ck.In(r.Int(), 0, 15, "display time"));
  c.host_wait_seconds = static_cast<uint8_t>(ck.In(r.Int(), 0, 15, "host wait time"));
  // Four bits in the record; indexes 12-15 have no name but a terminal may hold them.
  c.codepage = static_cast<uint8_t>(ck.In(r.Int(), 0, 15, "code page index"));
}

// Retalix specifics, in this order: POS station (byte), round-off unit (16-bit), currency
// symbol (string), MFS station and number of decimals (bytes), a reserved empty string, symbol
// position and a reserved zero (16-bit values stored as integers).
void WriteRetalix(ArchiveWriter& w, const Configuration& c) {
  const RetalixBlock& b = c.retalix;
  w.String(kRetalixTag);
  w.Byte(b.pos_station);
  w.Word(b.round_off);
  w.String(b.currency);
  w.Byte(b.mfs_station);
  w.Byte(b.decimals);
  w.String("");
  w.Int(b.symbol_position);
  w.Int(0);
}

void ReadRetalix(ArchiveReader& r, Configuration& c) {
  Checker ck(r);
  RetalixBlock& b = c.retalix;
  ReadTag(r, kRetalixTag);
  b.pos_station = r.Byte();
  b.round_off = r.Word();
  b.currency = r.String();
  b.mfs_station = r.Byte();
  b.decimals = r.Byte();
  r.String();
  b.symbol_position = static_cast<uint8_t>(ck.In(r.Int(), 0, 255, "currency symbol position"));
  r.Int();
}

}  // namespace

std::vector<std::byte> EncodeSettingsFile(const Configuration& c, std::string_view file_kind,
                                          PageSet pages) {
  std::vector<std::byte> out;
  ArchiveWriter w(out);
  w.String(file_kind);
  w.Int(kSettingsFormatNumber);
  WriteNetwork(w, c);
  WriteWireless(w, c);
  WriteMessages(w, c);
  if (pages.rs232) WriteRs232(w, c);
  WriteMisc(w, c);
  if (pages.retalix) WriteRetalix(w, c);
  return out;
}

Result<Configuration> DecodeSettingsFile(std::span<const std::byte> file, const Configuration& current,
                                         PageSet pages) {
  ArchiveReader r(file);
  r.String();  // file kind: not checked
  const int32_t format = r.Int();
  KT_RETURN_IF_ERROR(r.status());
  if (format <= 4000 || format > 4999) {
    return Status::InvalidArgument(std::string(kIncompatibleFileMessage));
  }
  Configuration c = current;
  ReadNetwork(r, c);
  ReadWireless(r, c);
  ReadMessages(r, c);
  if (pages.rs232) ReadRs232(r, c);
  ReadMisc(r, c);
  if (pages.retalix) ReadRetalix(r, c);
  KT_RETURN_IF_ERROR(r.status());
  if (!r.AtEnd()) {
    return Status::Corruption("settings file: data after its last page block (saved with other pages?)");
  }
  // The file entered every message line whole. It does not make up for an unread wireless
  // record: the 802.11 mode, the stream mask and the record's further text are not in a file.
  c.lines_cut = 0;
  return c;
}

Status WriteSettingsFile(const std::filesystem::path& path, const Configuration& c,
                         std::string_view file_kind, PageSet pages) {
  const std::vector<std::byte> bytes = EncodeSettingsFile(c, file_kind, pages);
  // Written beside the target and put in its place once complete: a failure at any step leaves
  // an existing file as it was. Each failure names the system's reason.
  return platform::ReplaceFileContents(path, bytes);
}

Result<Configuration> ReadSettingsFile(const std::filesystem::path& path,
                                       const Configuration& current, PageSet pages) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return Status::IOError("cannot open " + path.string() + ": " + ec.message());
  if (size > kMaxFileSize) {
    return Status::Corruption(path.string() + ": " + std::to_string(size) +
                              " bytes is too large for a settings file");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::IOError("cannot open " + path.string());
  std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return Status::IOError("cannot read " + path.string());
  return DecodeSettingsFile(std::as_bytes(std::span<const char>(raw)), current, pages);
}

}  // namespace kt::config
