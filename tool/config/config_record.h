// The terminal's configuration record: 287 bytes (288 with the checksum), the payload of the
// discovery reply (command 1) and of the set-configuration command (command 2).
//
//   0 header(14)  14 retalix on  15 baud2(2)  17 serial2  18 flags  19 volume  20 unused(4)
//   24 ip  28 current ip  32 mask  36 gateway  40 options  41 fw version(5)  46 fw date(10)
//   56 interface  57 idle1(24)  81 idle2  105 idle3  129 error1  153 error2
//   177 offline line (versions 2, 4) / Retalix block (versions 3, 5)
//   201 channel+codepage  202 hardware  203 name(26)  229 ssid(32)  261 wep key(13)
//   274 baud1(2)  276 serial1  277 connect flags  278 remote ip  282 tcp port  284 udp port
//   286 timeouts  [287 checksum]
// Byte 7 of the header is the minimum time between scans. Multi-byte numbers are big-endian.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "common/status.h"
#include "tool/config/configuration.h"

namespace kt::config {

namespace config_record {
inline constexpr std::size_t kLength = 287;
inline constexpr std::size_t kLengthWithChecksum = 288;
inline constexpr std::size_t kRetalixActive = 14;
inline constexpr std::size_t kBaud2 = 15;
inline constexpr std::size_t kSerial2 = 17;
inline constexpr std::size_t kDisplayFlags = 18;
inline constexpr std::size_t kVolume = 19;
inline constexpr std::size_t kUnused = 20;
inline constexpr std::size_t kIpAddress = 24;
inline constexpr std::size_t kCurrentIp = 28;
inline constexpr std::size_t kSubnetMask = 32;
inline constexpr std::size_t kGateway = 36;
inline constexpr std::size_t kOptions = 40;
inline constexpr std::size_t kFirmwareVersion = 41;
inline constexpr std::size_t kFirmwareVersionLength = 5;
inline constexpr std::size_t kFirmwareDate = 46;
inline constexpr std::size_t kFirmwareDateLength = 10;
inline constexpr std::size_t kActiveInterface = 56;
inline constexpr std::size_t kLines = 57;  // five lines of 24 bytes, then 177
inline constexpr std::size_t kLineLength = 24;
inline constexpr std::size_t kLineTextLength = 20;
inline constexpr std::size_t kOfflineOrRetalix = 177;
inline constexpr std::size_t kChannelCodepage = 201;
inline constexpr std::size_t kHardware = 202;
inline constexpr std::size_t kDeviceName = 203;
inline constexpr std::size_t kDeviceNameLength = 26;
inline constexpr std::size_t kSsid = 229;
inline constexpr std::size_t kSsidLength = 32;
inline constexpr std::size_t kWepKey = 261;
inline constexpr std::size_t kBaud1 = 274;
inline constexpr std::size_t kSerial1 = 276;
inline constexpr std::size_t kConnectFlags = 277;
inline constexpr std::size_t kRemoteIp = 278;
inline constexpr std::size_t kTcpPort = 282;
inline constexpr std::size_t kUdpPort = 284;
inline constexpr std::size_t kTimeouts = 286;
// Retalix block, inside 177-200.
inline constexpr std::size_t kPosStation = 177;
inline constexpr std::size_t kMfsStation = 178;
inline constexpr std::size_t kRoundOff = 179;
inline constexpr std::size_t kCurrency = 181;
inline constexpr std::size_t kCurrencyLength = 4;
inline constexpr std::size_t kDecimals = 185;
inline constexpr std::size_t kSymbolPosition = 186;
inline constexpr std::size_t kRetalixReserved = 187;
}  // namespace config_record

// Decodes a configuration record into the values the pages show. Accepts 287 bytes or more
// (a 288-byte receive slot); fails with Corruption on a shorter buffer or a wrong magic. The
// version and command are not judged here: acceptance belongs to the exchange that received it.
Result<Configuration> DecodeConfigRecord(std::span<const std::byte> data);

// Builds the set-configuration datagram (command 2) from `c`: 287 bytes, or 288 with the
// checksum when c's firmware number is 300 or more. The version word is 4 (5 for a version-3 or
// -5 terminal) from firmware 3.00 on, else the reported version.
std::vector<std::byte> EncodeConfigRecord(const Configuration& c);

// The Retalix activation datagram (command 3): the first 14 bytes of the record EncodeConfigRecord
// builds, then 1 or 0.
std::vector<std::byte> EncodeRetalixActivation(const Configuration& c, bool activate);

// The version word sent with command 2 and 3.
uint16_t SendVersion(const Configuration& c);

}  // namespace kt::config
