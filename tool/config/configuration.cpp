#include "tool/config/configuration.h"

#include <cctype>

#include "tool/config/text_codec.h"

namespace kt::config {
namespace {
constexpr std::size_t kShortLineBytes = 20;  // text bytes of a message line in the short record
}  // namespace

int FirmwareNumber(std::string_view version_text) {
  long long n = 0;
  for (char c : version_text) {
    if (c >= '0' && c <= '9' && n < 100000000) n = n * 10 + (c - '0');
  }
  return static_cast<int>(n);
}

uint8_t AlignmentCode(Alignment a) {
  if (a.horizontal < kHLeft || a.horizontal > kHRight) return 255;
  const int h = a.horizontal - kHLeft;
  switch (a.vertical) {
    case kVTop: return static_cast<uint8_t>(0 + h);
    case kVCenter: return static_cast<uint8_t>(3 + h);
    case kVBottom: return static_cast<uint8_t>(6 + h);
    case kVNone: return static_cast<uint8_t>(9 + h);
    default: return 255;
  }
}

Alignment AlignmentFromCode(uint8_t code) {
  if (code > 11) return {kVNone, kHNone};
  static constexpr int kRows[4] = {kVTop, kVCenter, kVBottom, kVNone};
  return {kRows[code / 3], kHLeft + code % 3};
}

SecurityMode SecurityModeOf(const WirelessSettings& w, int firmware_number) {
  if (firmware_number < kFirmwareWirelessRecord) {
    return w.wep_enabled ? SecurityMode::kWep : SecurityMode::kNone;
  }
  if (w.wep_enabled) return SecurityMode::kWep;
  if (!w.wpa_psk) return SecurityMode::kNone;
  return w.wpa_eap ? SecurityMode::kWpaEnterprise : SecurityMode::kWpaPersonal;
}

void SetSecurityMode(WirelessSettings& w, SecurityMode mode) {
  w.wep_enabled = mode == SecurityMode::kWep;
  w.wpa_psk = mode == SecurityMode::kWpaPersonal || mode == SecurityMode::kWpaEnterprise;
  w.wpa_eap = mode == SecurityMode::kWpaEnterprise;
}

std::string_view CodePageName(int index) {
  static constexpr std::string_view kNames[] = {
      "0852 (Central Europe)", "1252 (Latin I)", "1251 (Cyrillic)", "0866 (Cyrillic II)",
      "1257 (Baltic)", "0874 (Thai)", "0437 (US)", "0857 (Turkish)", "1256 (Arabic)",
      "UTF-8 Unicode", "Simpl.Chinese (GB2312)", "Trad.Chinese (BIG5)"};
  if (index < 0 || index >= static_cast<int>(std::size(kNames))) return {};
  return kNames[index];
}

std::string WepKeyToHex(const std::array<uint8_t, 13>& key) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : key) {
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  }
  return out;
}

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

bool WepKeyFromHex(std::string_view hex, std::array<uint8_t, 13>& key) {
  if (hex.size() > 26) return false;
  std::string padded(hex);
  padded.resize(26, '0');
  std::array<uint8_t, 13> out{};
  for (int i = 0; i < 13; ++i) {
    const int hi = HexValue(padded[2 * i]), lo = HexValue(padded[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  key = out;
  return true;
}

std::string FormatMac(const Mac& mac, char separator) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < 6; ++i) {
    if (i) out += separator;
    out += kHex[mac[i] >> 4];
    out += kHex[mac[i] & 0xF];
  }
  return out;
}

bool ParseMac(std::string_view text, Mac& mac) {
  std::string digits;
  char sep = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '-' || c == ':') {
      // Separators only between pairs, and one kind throughout.
      if (digits.size() % 2 != 0 || digits.empty() || (sep && sep != c)) return false;
      sep = c;
      continue;
    }
    if (HexValue(c) < 0) return false;
    digits += c;
  }
  if (digits.size() != 12) return false;
  if (sep && text.size() != 17) return false;
  for (int i = 0; i < 6; ++i) {
    mac[i] = static_cast<uint8_t>(HexValue(digits[2 * i]) << 4 | HexValue(digits[2 * i + 1]));
  }
  return true;
}

bool NeedsLongMessages(const Configuration& c) {
  for (const MessageLine& line : c.lines) {
    if (EncodeText(line.text, c.codepage).size() > kShortLineBytes) return true;
  }
  return false;
}

bool ShortLineMayContinue(std::span<const std::byte> text, int codepage) {
  std::size_t n = 0;
  while (n < text.size() && text[n] != std::byte{0}) ++n;
  if (n >= kShortLineBytes) return true;
  constexpr std::size_t kLongestUtf8Character = 4;
  return codepage == kUtf8CodePageIndex && kShortLineBytes - n < kLongestUtf8Character;
}

std::string MissingRecords(const Configuration& c) {
  static constexpr const char* kLineNames[kLineCount] = {"idle1", "idle2", "idle3",
                                                         "error1", "error2", "offline"};
  std::string missing;
  if (c.wireless_unread && c.firmware_number() >= kFirmwareWirelessRecord) {
    missing = "the wireless record (SSID, security, keys) was not received";
  }
  if (c.lines_cut != 0 && c.firmware_number() >= kFirmwareLongMessages) {
    std::string lines;
    for (int i = 0; i < kLineCount; ++i) {
      if (c.lines_cut & LineBit(i)) lines += std::string(lines.empty() ? "" : ", ") + kLineNames[i];
    }
    if (!missing.empty()) missing += " and ";
    missing += "the long-message record was not received (message lines " + lines +
               " are known only by their first 20 bytes)";
  }
  return missing;
}

std::string MissingForApply(const Configuration& c) {
  const std::string missing = MissingRecords(c);
  if (missing.empty()) return {};
  return "not applied: " + missing +
         " when the configuration was read; sending it would overwrite the terminal's values "
         "with defaults. Nothing was sent: read the terminal again and apply then.";
}

}  // namespace kt::config
