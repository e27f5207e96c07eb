// The rules of the configuration pages that are not drawing: text limits in encoded bytes, which
// security modes and hardware rows a firmware has, the widest ranges of the number fields, and
// the check "Apply now" makes before anything is sent. The dialog in tool/ui only shows them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tool/config/configuration.h"

namespace kt::config {

inline constexpr std::size_t kShortLineBytes = 20;
inline constexpr std::size_t kLongLineBytes = 60;
inline constexpr std::size_t kDeviceNameBytes = 26;
inline constexpr std::size_t kSsidBytes = 32;
inline constexpr std::size_t kEapTextBytes = 64;
inline constexpr std::size_t kPskCharacters = 64;
inline constexpr std::size_t kCurrencyBytes = 4;
inline constexpr std::size_t kWepKeyHexDigits = 26;

// Bytes a message line may take in the record's code page: 60 from firmware 2.10, else 20.
std::size_t MessageLineBytes(int firmware_number);

// Bytes `utf8` takes in the code page (UTF-8 when the index is 9, else Windows-1252).
std::size_t EncodedSize(std::string_view utf8, int codepage_index);
// The longest start of `utf8` that takes at most `max` bytes in the code page; whole characters.
std::string CutToEncodedBytes(std::string_view utf8, std::size_t max, int codepage_index);

// The security modes the Wireless page offers: None and WEP below firmware 3.00, all four from it.
int SecurityModeCount(int firmware_number);
// The vendor-MAC option needs firmware 0.22; on older firmware choosing it shows this warning
// (empty when the firmware supports it).
std::string OwnMacWarning(int firmware_number);

// The hardware rows of the information panel.
struct HardwareRows {
  std::string row1, row2;          // "Jumper 1"/"Jumper 2" or "Switch 1"/"Switch 2"
  std::string on_text, off_text;   // "Installed"/"Not Installed" or "On"/"Off"
  bool wifi_row = false;           // the Wifi card row is shown (firmware 1.06 on)
};
HardwareRows HardwareRowsFor(int firmware_number);

// "v" + the 5 version characters + blank + the 10 date characters.
std::string FirmwareVersionAndDate(const Configuration& c);

// The page set of a configuration dialog.
struct DialogPages {
  bool rs232 = false;       // the tool was started with "RS232"
  bool activation = false;  // "MARLO" and (record version 3 or firmware 3.00 on)
  bool specifics = false;   // record version 3 or 5
};
DialogPages DialogPagesFor(const Configuration& c, bool rs232_word, bool retail_chain_word);

// Network page: versions 3 and 5 are fixed to UDP.
inline bool TransportFixedToUdp(const Configuration& c) { return HasRetalixBlock(c.version); }

// Why the page values in `c` cannot be applied, as one message naming the field; empty when they
// can. Checks every text against its byte limit in the right code page and the extension
// records (MissingForApply).
std::string ValidatePageValues(const Configuration& c);

// The "Configure Corvane - " title.
std::string DialogTitle(const Configuration& c);

}  // namespace kt::config
