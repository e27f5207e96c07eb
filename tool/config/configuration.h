// The typed configuration of one KX25 terminal, as the configuration pages show and edit it.
//
// Values are in host order and already corrected the way the pages show them (a scan interval
// above 200 reads as 50, an out-of-range volume as 100 %, ...). Texts are UTF-8; the record codec
// converts them to and from the record's code page. config_record.h, long_message_record.h and
// wireless_record.h turn wire bytes into this struct and back.
//
// Plain value; no thread-safety concerns beyond those of any struct.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kt::config {

using Mac = std::array<uint8_t, 6>;

// Firmware numbers that switch behaviour on (see FirmwareNumber()).
inline constexpr int kFirmwareWlanMacOption = 22;
inline constexpr int kFirmwareWifiCardInfo = 106;
inline constexpr int kFirmwareLongMessages = 210;
inline constexpr int kFirmwareWirelessRecord = 300;

// The 5 version characters as a number: non-digits are points, points are dropped ("02.10" is
// 210, "00.22" is 22). No digits at all gives 0.
int FirmwareNumber(std::string_view version_text);

// Record versions the tool knows.
inline bool HasOfflineLine(uint16_t version) { return version == 2 || version == 4; }
inline bool HasRetalixBlock(uint16_t version) { return version == 3 || version == 5; }

// Alignment list indexes as the Messages page offers them; -1 is "nothing chosen".
enum VerticalIndex : int { kVNone = 0, kVTop = 1, kVCenter = 2, kVBottom = 3 };
enum HorizontalIndex : int { kHNone = 0, kHLeft = 1, kHCenter = 2, kHRight = 3 };
struct Alignment {
  int vertical = kVNone;
  int horizontal = kHNone;
  bool operator==(const Alignment&) const = default;
};
// (Top|Center|Bottom|None) x (Left|Center|Right) gives 0-11; any other pair gives 255.
uint8_t AlignmentCode(Alignment a);
// The inverse; a code outside 0-11 gives None in both lists.
Alignment AlignmentFromCode(uint8_t code);

struct MessageLine {
  std::string text;  // UTF-8; up to 20 bytes in the short record, 60 in the long one
  uint8_t font = 0;  // 0 = Small, 1 = Large
  uint8_t x = 0;
  uint8_t y = 0;
  Alignment align;
  bool operator==(const MessageLine&) const = default;
};
enum LineIndex : int { kIdle1 = 0, kIdle2, kIdle3, kError1, kError2, kOffline, kLineCount };

struct SerialPort {
  uint16_t baud = 9600;   // 9600 or 19200
  bool xon_xoff = false;  // handshaking Xon/Xoff, else None
  bool operator==(const SerialPort&) const = default;
};

struct RetalixBlock {
  uint8_t pos_station = 0;
  uint8_t mfs_station = 0;
  uint16_t round_off = 1;      // 1, 10, 100, 1000
  std::string currency;        // UTF-8, at most 4 bytes in the record's code page
  uint8_t decimals = 0;        // list index
  uint8_t symbol_position = 0; // 0 = Left, 1 = Right
  std::array<uint8_t, 14> reserved{};  // carried back unchanged
  bool operator==(const RetalixBlock&) const = default;
};

enum class SecurityMode : int { kNone = 0, kWep = 1, kWpaPersonal = 2, kWpaEnterprise = 3 };

struct WirelessSettings {
  // Held in both the configuration record and the wireless record.
  std::string ssid;  // ANSI text, up to 32 bytes
  std::array<uint8_t, 13> wep_key{};
  bool adhoc = false;
  bool wep_enabled = false;
  uint8_t channel = 1;  // 1-14
  bool shared_auth = false;
  bool own_mac = false;  // WLAN uses the terminal's Ethernet MAC
  // Only in the wireless record (firmware 3.00 or later).
  bool auto_channel = false;
  uint8_t channel_width = 0;  // list index
  bool wep128 = false;
  uint32_t stream_mask = 0x00FF;  // list value
  uint8_t mode_80211 = 11;        // list value
  uint16_t tx_rate = 0;           // list value
  uint8_t cipher = 1;             // list index + 1
  std::string eap_user;
  std::string eap_password;
  std::array<uint8_t, 64> extra_text{};  // carried back unchanged
  uint8_t inner_auth = 1;  // list value
  uint8_t eap_type = 13;   // list value
  bool wpa_psk = false;
  uint8_t wpa_mode = 1;  // list index + 1
  bool wpa_eap = false;
  std::string psk;  // up to 64 characters
  bool operator==(const WirelessSettings&) const = default;
};

struct Configuration {
  uint16_t version = 2;  // record version the terminal reported
  Mac mac{};
  uint8_t scan_interval = 50;  // units of 10 ms, 0-200
  bool retalix_active = false;
  SerialPort port1, port2;
  uint8_t speed_step = 10;      // 1-10
  uint8_t volume_percent = 100;  // 10-100
  uint32_t ip_address = 0, current_ip = 0, subnet_mask = 0, gateway = 0, remote_ip = 0;
  bool dhcp = false, rotate = false, invert = false, disable_beep = false;
  bool idle_gif = false, right_to_left = false;
  uint8_t codepage = 1;  // 0-15, names in CodePageName()
  std::string firmware_version;  // 5 ASCII characters, "02.10"
  std::string firmware_date;     // 10 ASCII characters
  uint8_t active_interface = 1;  // 1 = Wired
  uint8_t hardware_state = 0;    // bit 0 jumper 1, bit 1 jumper 2, bit 2 Wifi card
  std::array<MessageLine, kLineCount> lines;
  RetalixBlock retalix;
  std::array<uint8_t, 24> unknown_177{};  // bytes 177-200 of records of unknown versions
  std::string device_name;
  WirelessSettings wireless;
  bool tcp_server = false;
  bool udp = false;
  uint16_t tcp_port = 9101;
  uint16_t udp_port = 0;
  uint8_t display_seconds = 0;    // 0-15
  uint8_t host_wait_seconds = 0;  // 0-15
  bool short_line_full = false;   // a short message line may continue past its 20 bytes

  // What of the terminal's extension records this configuration lacks. Set when a discovery
  // reply is decoded, cleared when the record arrives or the user enters the values it holds.
  // While either is set an apply would overwrite the terminal's values with defaults, so it is
  // refused (MissingForApply).
  uint8_t lines_cut = 0;         // bit per LineIndex: only the first 20 bytes of the line are known
  bool wireless_unread = false;  // firmware 3.00 on: the wireless record has not been read
  bool operator==(const Configuration&) const = default;

  int firmware_number() const { return FirmwareNumber(firmware_version); }
};

// Security mode as the Wireless page shows it.
SecurityMode SecurityModeOf(const WirelessSettings& w, int firmware_number);
// Sets the flags that make up `mode`.
void SetSecurityMode(WirelessSettings& w, SecurityMode mode);

// Name of a code-page index ("1252 (Latin I)"); empty for an index without a name.
std::string_view CodePageName(int index);

// WEP key bytes as 26 upper-case hex digits, and typed hex digits (up to 26, padded on the right
// with '0') back to bytes. Returns false for non-hex text or more than 26 digits.
std::string WepKeyToHex(const std::array<uint8_t, 13>& key);
bool WepKeyFromHex(std::string_view hex, std::array<uint8_t, 13>& key);

// MAC as "00:1A:..." (separator ':') or "00-1A-..." and MAC text with "-", ":" or no separators.
std::string FormatMac(const Mac& mac, char separator);
bool ParseMac(std::string_view text, Mac& mac);

// Whether any message line needs the long-message record (more than 20 bytes in the record's
// code page).
bool NeedsLongMessages(const Configuration& c);

// Whether a short record's 20 text bytes may be the cut copy of a longer line: the same rule as
// NeedsLongMessages, judged from the bytes the terminal holds. A line that ends before byte 20
// was cut only if the next character could not have fit: never for single-byte code pages, and
// for UTF-8 when fewer than 4 bytes were left (the terminal cuts at a character boundary).
bool ShortLineMayContinue(std::span<const std::byte> text20, int codepage);

inline uint8_t LineBit(int line) { return static_cast<uint8_t>(1u << line); }

// The extension records the terminal holds that `c` lacks (not read, values not entered), as a
// phrase naming them ("the wireless record (SSID, security, keys) was not received"); empty when
// `c` holds everything.
std::string MissingRecords(const Configuration& c);
// Why applying `c` would overwrite values the terminal holds with defaults, as one message that
// names what is missing and says what to do; empty when `c` may be applied.
std::string MissingForApply(const Configuration& c);

}  // namespace kt::config
