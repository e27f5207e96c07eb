#include "tool/config/page_rules.h"

#include <cstdio>

#include "tool/config/text_codec.h"

namespace kt::config {

std::size_t MessageLineBytes(int firmware_number) {
  return firmware_number >= kFirmwareLongMessages ? kLongLineBytes : kShortLineBytes;
}

std::size_t EncodedSize(std::string_view utf8, int codepage_index) {
  return EncodeText(utf8, codepage_index).size();
}

std::string CutToEncodedBytes(std::string_view utf8, std::size_t max, int codepage_index) {
  // Whole UTF-8 characters are added while the encoding still fits; the encodings used here map
  // each character on its own, so the size grows character by character.
  std::size_t end = 0;
  std::size_t fitting = 0;
  while (end < utf8.size()) {
    std::size_t next = end + 1;
    while (next < utf8.size() && (static_cast<unsigned char>(utf8[next]) & 0xC0) == 0x80) ++next;
    if (EncodedSize(utf8.substr(0, next), codepage_index) > max) break;
    fitting = next;
    end = next;
  }
  return std::string(utf8.substr(0, fitting));
}

int SecurityModeCount(int firmware_number) {
  return firmware_number >= kFirmwareWirelessRecord ? 4 : 2;
}

std::string OwnMacWarning(int firmware_number) {
  if (firmware_number >= kFirmwareWlanMacOption) return {};
  return "This KX25 has firmware version " + std::to_string(firmware_number) +
         "\n\nYou need version 00.22 (or higher) to support this option.";
}

HardwareRows HardwareRowsFor(int firmware_number) {
  HardwareRows r;
  if (firmware_number < kFirmwareWirelessRecord) {
    r = {"Jumper 1", "Jumper 2", "Installed", "Not Installed", false};
  } else {
    r = {"Switch 1", "Switch 2", "On", "Off", false};
  }
  r.wifi_row = firmware_number >= kFirmwareWifiCardInfo;
  return r;
}

std::string FirmwareVersionAndDate(const Configuration& c) {
  return "v" + c.firmware_version + " " + c.firmware_date;
}

DialogPages DialogPagesFor(const Configuration& c, bool rs232_word, bool retail_chain_word) {
  DialogPages p;
  p.rs232 = rs232_word;
  p.activation = retail_chain_word && (c.version == 3 || c.firmware_number() >= kFirmwareWirelessRecord);
  p.specifics = HasRetalixBlock(c.version);
  return p;
}

namespace {

std::string TooLong(const std::string& field, std::size_t max, const char* unit) {
  return field + " is too long: at most " + std::to_string(max) + " " + unit + ".";
}

const char* LineName(int line) {
  static const char* const kNames[kLineCount] = {"Idle Message line 1", "Idle Message line 2",
                                                 "Idle Message line 3", "Error Message line 1",
                                                 "Error Message line 2", "Offline Message"};
  return kNames[line];
}

}  // namespace

std::string ValidatePageValues(const Configuration& c) {
  const std::size_t line_bytes = MessageLineBytes(c.firmware_number());
  for (int i = 0; i < kLineCount; ++i) {
    if (i == kOffline && !HasOfflineLine(c.version)) continue;
    if (EncodedSize(c.lines[i].text, c.codepage) > line_bytes) {
      return TooLong(LineName(i), line_bytes, "bytes in the terminal's code page");
    }
  }
  if (EncodedSize(c.device_name, c.codepage) > kDeviceNameBytes) {
    return TooLong("Device Name", kDeviceNameBytes, "bytes in the terminal's code page");
  }
  if (EncodeAnsi(c.wireless.ssid).size() > kSsidBytes) return TooLong("SSID", kSsidBytes, "bytes");
  if (EncodeAnsi(c.wireless.eap_user).size() > kEapTextBytes) return TooLong("EAP Username", kEapTextBytes, "bytes");
  if (EncodeAnsi(c.wireless.eap_password).size() > kEapTextBytes) {
    return TooLong("EAP Password", kEapTextBytes, "bytes");
  }
  if (EncodeAnsi(c.wireless.psk).size() > kPskCharacters) return TooLong("Pre-Shared Key", kPskCharacters, "bytes");
  if (HasRetalixBlock(c.version) && EncodedSize(c.retalix.currency, c.codepage) > kCurrencyBytes) {
    return TooLong("Currency Symbol", kCurrencyBytes, "bytes in the terminal's code page");
  }
  if (c.wireless.channel < 1 || c.wireless.channel > 14) return "Channel must be between 1 and 14.";
  return MissingForApply(c);
}

std::string DialogTitle(const Configuration& c) { return "Configure Corvane - " + c.device_name; }

}  // namespace kt::config
