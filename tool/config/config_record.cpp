#include "tool/config/config_record.h"

#include <cassert>
#include <cstring>

#include "common/coding.h"
#include "tool/config/record_header.h"
#include "tool/config/text_codec.h"

namespace kt::config {
namespace {

namespace r = config_record;

// Serial port byte: bits 0-2 handshaking, bit 3 eight data bits, bit 4 two stop bits,
// bits 5-7 parity.
constexpr uint8_t kHandshakeNone = 0x01;
constexpr uint8_t kHandshakeXonXoff = 0x04;
constexpr uint8_t kEightDataBits = 0x08;
constexpr uint8_t kParityNone = 0x20;

// Byte 18.
constexpr uint8_t kLongMessagesSent = 0x01;
constexpr uint8_t kFirmware300 = 0x02;

// Byte 40.
constexpr uint8_t kOptDhcp = 0x01, kOptOwnMac = 0x02, kOptRotate = 0x04, kOptInvert = 0x08,
                  kOptNoBeep = 0x10, kOptGif = 0x20, kOptRtl = 0x40, kOptCodepageBit3 = 0x80;

// Byte 277.
constexpr uint8_t kConnAdhoc = 0x01, kConnDhcp = 0x02, kConnWep = 0x04, kConnTerminatorCr = 0x08,
                  kConnServer = 0x40, kConnUdp = 0x80;

const std::byte* At(std::span<const std::byte> d, std::size_t off) { return d.data() + off; }
uint8_t U8(std::span<const std::byte> d, std::size_t off) { return static_cast<uint8_t>(d[off]); }

SerialPort DecodeSerial(std::span<const std::byte> d, std::size_t baud_off, std::size_t byte_off) {
  SerialPort p;
  p.baud = DecodeFixedBE16(At(d, baud_off)) == 9600 ? 9600 : 19200;
  p.xon_xoff = (U8(d, byte_off) & kHandshakeXonXoff) != 0;
  return p;
}

void EncodeSerial(std::span<std::byte> out, std::size_t baud_off, std::size_t byte_off,
                  const SerialPort& p) {
  EncodeFixedBE16(out.data() + baud_off, p.baud == 9600 ? 9600 : 19200);
  const uint8_t hs = p.xon_xoff ? kHandshakeXonXoff : kHandshakeNone;
  out[byte_off] = std::byte{static_cast<uint8_t>(hs | kEightDataBits | kParityNone)};
}

MessageLine DecodeShortLine(std::span<const std::byte> d, std::size_t off, int codepage,
                            bool& may_continue) {
  MessageLine line;
  auto text = d.subspan(off, r::kLineTextLength);
  may_continue = ShortLineMayContinue(text, codepage);
  line.text = DecodeText(text, codepage);
  line.font = U8(d, off + 20);
  line.x = U8(d, off + 21);
  line.y = U8(d, off + 22);
  line.align = AlignmentFromCode(U8(d, off + 23));
  return line;
}

void EncodeLine(std::span<std::byte> out, std::size_t off, std::size_t text_length,
                const MessageLine& line, int codepage) {
  const std::string bytes = CutBytes(EncodeText(line.text, codepage), text_length,
                                     codepage == kUtf8CodePageIndex);
  std::memcpy(out.data() + off, bytes.data(), bytes.size());
  out[off + text_length] = std::byte{line.font};
  out[off + text_length + 1] = std::byte{line.x};
  out[off + text_length + 2] = std::byte{line.y};
  out[off + text_length + 3] = std::byte{AlignmentCode(line.align)};
}

void PutText(std::span<std::byte> out, std::size_t off, std::size_t width,
             const std::string& bytes, bool utf8) {
  const std::string cut = CutBytes(bytes, width, utf8);
  std::memcpy(out.data() + off, cut.data(), cut.size());
}

}  // namespace

uint16_t SendVersion(const Configuration& c) {
  if (c.firmware_number() >= kFirmwareWirelessRecord) return HasRetalixBlock(c.version) ? 5 : 4;
  return c.version;
}

Result<Configuration> DecodeConfigRecord(std::span<const std::byte> d) {
  if (d.size() < r::kLength) {
    return Status::Corruption("configuration record: " + std::to_string(d.size()) +
                              " bytes, need " + std::to_string(r::kLength));
  }
  if (!HasMagic(d)) return Status::Corruption("configuration record: bad magic");
  const Header h = DecodeHeader(d);

  Configuration c;
  c.version = h.version;
  c.mac = h.mac;
  c.scan_interval = h.byte7 > 200 ? 50 : h.byte7;
  c.retalix_active = (U8(d, r::kRetalixActive) & 0x01) != 0;
  c.port2 = DecodeSerial(d, r::kBaud2, r::kSerial2);
  c.port1 = DecodeSerial(d, r::kBaud1, r::kSerial1);

  const uint8_t speed = U8(d, r::kDisplayFlags) >> 4;
  c.speed_step = (speed == 0 || speed > 10) ? 10 : speed;
  const int volume = U8(d, r::kVolume) + 1;
  c.volume_percent = static_cast<uint8_t>((volume < 10 || volume > 100) ? 100 : volume);

  c.ip_address = DecodeFixedBE32(At(d, r::kIpAddress));
  c.current_ip = DecodeFixedBE32(At(d, r::kCurrentIp));
  c.subnet_mask = DecodeFixedBE32(At(d, r::kSubnetMask));
  c.gateway = DecodeFixedBE32(At(d, r::kGateway));
  c.remote_ip = DecodeFixedBE32(At(d, r::kRemoteIp));

  const uint8_t opt = U8(d, r::kOptions);
  const uint8_t chan = U8(d, r::kChannelCodepage);
  c.codepage = static_cast<uint8_t>((chan >> 5) | ((opt & kOptCodepageBit3) ? 0x08 : 0));
  c.dhcp = opt & kOptDhcp;
  c.wireless.own_mac = opt & kOptOwnMac;
  c.rotate = opt & kOptRotate;
  c.invert = opt & kOptInvert;
  c.disable_beep = opt & kOptNoBeep;
  c.idle_gif = opt & kOptGif;
  c.right_to_left = opt & kOptRtl;
  c.wireless.channel = chan & 0x0F;
  c.wireless.shared_auth = (chan & 0x10) != 0;

  c.firmware_version = ToString(d.subspan(r::kFirmwareVersion, r::kFirmwareVersionLength));
  c.firmware_date = ToString(d.subspan(r::kFirmwareDate, r::kFirmwareDateLength));
  c.active_interface = U8(d, r::kActiveInterface);
  c.hardware_state = U8(d, r::kHardware);

  const bool has_long_record = c.firmware_number() >= kFirmwareLongMessages;
  // A line that may continue is known only by its first 20 bytes until the long record arrives.
  auto short_line = [&](int i, std::size_t off) {
    bool may_continue = false;
    c.lines[i] = DecodeShortLine(d, off, c.codepage, may_continue);
    c.short_line_full = c.short_line_full || may_continue;
    if (may_continue && has_long_record) c.lines_cut |= LineBit(i);
  };
  for (int i = kIdle1; i <= kError2; ++i) short_line(i, r::kLines + i * r::kLineLength);
  if (HasOfflineLine(c.version)) {
    short_line(kOffline, r::kOfflineOrRetalix);
  } else if (HasRetalixBlock(c.version)) {
    RetalixBlock& b = c.retalix;
    b.pos_station = U8(d, r::kPosStation);
    b.mfs_station = U8(d, r::kMfsStation);
    b.round_off = DecodeFixedBE16(At(d, r::kRoundOff));
    b.currency = DecodeText(d.subspan(r::kCurrency, r::kCurrencyLength), c.codepage);
    b.decimals = U8(d, r::kDecimals);
    b.symbol_position = U8(d, r::kSymbolPosition);
    std::memcpy(b.reserved.data(), At(d, r::kRetalixReserved), b.reserved.size());
  } else {
    std::memcpy(c.unknown_177.data(), At(d, r::kOfflineOrRetalix), c.unknown_177.size());
  }

  c.device_name = DecodeText(d.subspan(r::kDeviceName, r::kDeviceNameLength), c.codepage);
  c.wireless.ssid = DecodeAnsi(d.subspan(r::kSsid, r::kSsidLength));
  std::memcpy(c.wireless.wep_key.data(), At(d, r::kWepKey), c.wireless.wep_key.size());

  const uint8_t conn = U8(d, r::kConnectFlags);
  c.wireless.adhoc = conn & kConnAdhoc;
  c.wireless.wep_enabled = conn & kConnWep;
  if (HasRetalixBlock(c.version)) {
    c.tcp_server = true;
    c.udp = true;
  } else {
    c.tcp_server = conn & kConnServer;
    c.udp = conn & kConnUdp;
  }
  // The wireless values above are the record's few; the rest come with the wireless record.
  c.wireless_unread = c.firmware_number() >= kFirmwareWirelessRecord;
  c.tcp_port = DecodeFixedBE16(At(d, r::kTcpPort));
  c.udp_port = DecodeFixedBE16(At(d, r::kUdpPort));
  const uint8_t t = U8(d, r::kTimeouts);
  c.display_seconds = t & 0x0F;
  c.host_wait_seconds = t >> 4;
  return c;
}

std::vector<std::byte> EncodeConfigRecord(const Configuration& c) {
  const int fw = c.firmware_number();
  std::vector<std::byte> out(r::kLength, std::byte{0});
  EncodeHeader({SendVersion(c), kSetConfig, c.scan_interval, c.mac}, out);
  // Byte 14 (Retalix activation) stays 0: only command 3 changes it.
  EncodeSerial(out, r::kBaud2, r::kSerial2, c.port2);
  EncodeSerial(out, r::kBaud1, r::kSerial1, c.port1);

  uint8_t flags = static_cast<uint8_t>((c.speed_step & 0x0F) << 4);
  if (fw >= kFirmwareLongMessages && NeedsLongMessages(c)) flags |= kLongMessagesSent;
  if (fw >= kFirmwareWirelessRecord) flags |= kFirmware300;
  out[r::kDisplayFlags] = std::byte{flags};
  out[r::kVolume] = std::byte{static_cast<uint8_t>(c.volume_percent - 1)};

  EncodeFixedBE32(out.data() + r::kIpAddress, c.ip_address);
  // Current address (28) is the terminal's own and goes back as zero.
  EncodeFixedBE32(out.data() + r::kSubnetMask, c.subnet_mask);
  EncodeFixedBE32(out.data() + r::kGateway, c.gateway);
  EncodeFixedBE32(out.data() + r::kRemoteIp, c.remote_ip);

  uint8_t opt = 0;
  if (c.dhcp) opt |= kOptDhcp;
  if (c.wireless.own_mac) opt |= kOptOwnMac;
  if (c.rotate) opt |= kOptRotate;
  if (c.invert) opt |= kOptInvert;
  if (c.disable_beep) opt |= kOptNoBeep;
  if (c.idle_gif) opt |= kOptGif;
  if (c.right_to_left) opt |= kOptRtl;
  if (c.codepage & 0x08) opt |= kOptCodepageBit3;
  out[r::kOptions] = std::byte{opt};
  out[r::kChannelCodepage] = std::byte{static_cast<uint8_t>(
      (c.wireless.channel & 0x0F) | (c.wireless.shared_auth ? 0x10 : 0) | ((c.codepage & 7) << 5))};

  PutText(out, r::kFirmwareVersion, r::kFirmwareVersionLength, c.firmware_version, false);
  PutText(out, r::kFirmwareDate, r::kFirmwareDateLength, c.firmware_date, false);
  out[r::kActiveInterface] = std::byte{c.active_interface};
  out[r::kHardware] = std::byte{c.hardware_state};

  for (int i = kIdle1; i <= kError2; ++i) {
    EncodeLine(out, r::kLines + i * r::kLineLength, r::kLineTextLength, c.lines[i], c.codepage);
  }
  if (HasOfflineLine(c.version)) {
    EncodeLine(out, r::kOfflineOrRetalix, r::kLineTextLength, c.lines[kOffline], c.codepage);
  } else if (HasRetalixBlock(c.version)) {
    const RetalixBlock& b = c.retalix;
    out[r::kPosStation] = std::byte{b.pos_station};
    out[r::kMfsStation] = std::byte{b.mfs_station};
    EncodeFixedBE16(out.data() + r::kRoundOff, b.round_off);
    PutText(out, r::kCurrency, r::kCurrencyLength, EncodeText(b.currency, c.codepage),
            c.codepage == kUtf8CodePageIndex);
    out[r::kDecimals] = std::byte{b.decimals};
    out[r::kSymbolPosition] = std::byte{b.symbol_position};
    std::memcpy(out.data() + r::kRetalixReserved, b.reserved.data(), b.reserved.size());
  } else {
    std::memcpy(out.data() + r::kOfflineOrRetalix, c.unknown_177.data(), c.unknown_177.size());
  }

  PutText(out, r::kDeviceName, r::kDeviceNameLength, EncodeText(c.device_name, c.codepage),
          c.codepage == kUtf8CodePageIndex);
  PutText(out, r::kSsid, r::kSsidLength, EncodeAnsi(c.wireless.ssid), false);
  std::memcpy(out.data() + r::kWepKey, c.wireless.wep_key.data(), c.wireless.wep_key.size());

  uint8_t conn = kConnTerminatorCr;
  if (c.wireless.adhoc) conn |= kConnAdhoc;
  if (c.dhcp) conn |= kConnDhcp;
  if (c.wireless.wep_enabled) conn |= kConnWep;
  const bool fixed_udp_server = HasRetalixBlock(c.version);
  if (c.tcp_server || fixed_udp_server) conn |= kConnServer;
  if (c.udp || fixed_udp_server) conn |= kConnUdp;
  out[r::kConnectFlags] = std::byte{conn};
  EncodeFixedBE16(out.data() + r::kTcpPort, c.tcp_port);
  EncodeFixedBE16(out.data() + r::kUdpPort, c.udp_port);
  out[r::kTimeouts] = std::byte{static_cast<uint8_t>((c.display_seconds & 0x0F) |
                                                     ((c.host_wait_seconds & 0x0F) << 4))};
  assert(out.size() == r::kLength);
  if (fw >= kFirmwareWirelessRecord) AppendChecksum(out);
  return out;
}

std::vector<std::byte> EncodeRetalixActivation(const Configuration& c, bool activate) {
  std::vector<std::byte> out = EncodeConfigRecord(c);
  out.resize(header::kLength);
  out[header::kCommand] = std::byte{kSetRetalixActivation};
  out.push_back(std::byte{static_cast<uint8_t>(activate ? 1 : 0)});
  return out;
}

}  // namespace kt::config
