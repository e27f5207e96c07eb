// The wireless record (firmware 3.00 on): record version 4, command 8 in the reply, 9 when set,
// always 362 bytes plus a checksum byte.
//
//   0 header(14)  14 ssid(32)  46 zero  47 auth+1  48 auto channel(2)  50 channel
//   51 own MAC  52 channel width  53 WEP length  54 stream mask(4, BE)  58 802.11 mode
//   59 rate(2, little-endian!)  61 WEP key(13)  74 WEP on(2)  76 AdHoc  77 cipher+1
//   78 EAP user(64)  142 EAP password(64)  206 other text(64)  270 inner auth  271 EAP type
//   272 WPA-PSK on(2)  274 WPA mode+1  275 WPA-EAP on(2)  277 PSK(65)  342 zero(20)  [362 sum]
// Texts are in the ANSI code page. The 16-bit flags are only tested for zero.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "common/status.h"
#include "tool/config/configuration.h"

namespace kt::config {

namespace wireless_record {
inline constexpr std::size_t kLength = 362;
inline constexpr std::size_t kLengthWithChecksum = 363;
inline constexpr std::size_t kSsid = 14;
inline constexpr std::size_t kSsidLength = 32;
inline constexpr std::size_t kAuthentication = 47;
inline constexpr std::size_t kAutoChannel = 48;
inline constexpr std::size_t kChannel = 50;
inline constexpr std::size_t kOwnMac = 51;
inline constexpr std::size_t kChannelWidth = 52;
inline constexpr std::size_t kWepLength = 53;
inline constexpr std::size_t kStreamMask = 54;
inline constexpr std::size_t kMode80211 = 58;
inline constexpr std::size_t kTxRate = 59;
inline constexpr std::size_t kWepKey = 61;
inline constexpr std::size_t kWepEnabled = 74;
inline constexpr std::size_t kAdhoc = 76;
inline constexpr std::size_t kCipher = 77;
inline constexpr std::size_t kEapUser = 78;
inline constexpr std::size_t kEapPassword = 142;
inline constexpr std::size_t kExtraText = 206;
inline constexpr std::size_t kTextLength = 64;
inline constexpr std::size_t kInnerAuth = 270;
inline constexpr std::size_t kEapType = 271;
inline constexpr std::size_t kWpaPsk = 272;
inline constexpr std::size_t kWpaMode = 274;
inline constexpr std::size_t kWpaEap = 275;
inline constexpr std::size_t kPsk = 277;
inline constexpr std::size_t kPskLength = 65;
}  // namespace wireless_record

struct WirelessRecord {
  uint16_t version = 0;
  Mac mac{};
  WirelessSettings settings;
};

// Decodes a wireless reply (362 bytes or more, with the magic).
Result<WirelessRecord> DecodeWirelessRecord(std::span<const std::byte> data);

// Replaces the wireless values of `c` with those of an accepted reply.
void TakeWireless(Configuration& c, const WirelessRecord& w);

// The set-wireless datagram (command 9, version 4, 363 bytes with the checksum).
std::vector<std::byte> EncodeWirelessRecord(const Configuration& c);

// List values of the Wireless page (the numbers the terminal stores).
struct ListEntry {
  const char* name;
  uint32_t value;
};
std::span<const ListEntry> Mode80211List();
std::span<const ListEntry> StreamMaskList();
std::span<const ListEntry> TxRateList();
std::span<const ListEntry> EapTypeList();
std::span<const ListEntry> InnerAuthList();
// Position of `value` in `list`, or -1.
int ListIndexOf(std::span<const ListEntry> list, uint32_t value);

}  // namespace kt::config
