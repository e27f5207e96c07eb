#include "tool/config/config_record.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/coding.h"
#include "tool/config/long_message_record.h"
#include "tool/config/messages.h"
#include "tool/config/record_header.h"
#include "tool/config/text_codec.h"
#include "tool/config/wireless_record.h"

namespace kt::config {
namespace {

namespace r = config_record;

// A configuration with a distinct, non-default value in every field.
Configuration Sample(uint16_t version, const std::string& firmware) {
  Configuration c;
  c.version = version;
  c.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  c.scan_interval = 175;
  c.port1 = {19200, true};
  c.port2 = {9600, false};
  c.speed_step = 7;
  c.volume_percent = 60;
  c.ip_address = 0xC0A8010A;
  c.subnet_mask = 0xFFFFFF00;
  c.gateway = 0xC0A80101;
  c.remote_ip = 0xC0A80102;
  c.dhcp = true;
  c.rotate = true;
  c.invert = false;
  c.disable_beep = true;
  c.idle_gif = false;
  c.right_to_left = true;
  c.codepage = 10;  // bit 3 travels in byte 40
  c.firmware_version = firmware;
  c.firmware_date = "2012-03-04";
  c.active_interface = 2;
  c.hardware_state = 0x05;
  const char* texts[] = {"Welcome", "Scan here", "", "Not found", "Ask staff", "Offline now"};
  for (int i = 0; i < kLineCount; ++i) {
    c.lines[i] = {texts[i], static_cast<uint8_t>(i % 2), static_cast<uint8_t>(10 + i),
                  static_cast<uint8_t>(20 + i), AlignmentFromCode(static_cast<uint8_t>(i * 2))};
  }
  if (!HasOfflineLine(version)) c.lines[kOffline] = MessageLine{};
  if (HasRetalixBlock(version)) {
    c.retalix = {3, 4, 100, "EUR", 2, 1, {}};
    for (int i = 0; i < 14; ++i) c.retalix.reserved[i] = static_cast<uint8_t>(0xA0 + i);
    c.tcp_server = true;
    c.udp = true;
  } else {
    c.tcp_server = true;
    c.udp = false;
  }
  if (!HasOfflineLine(version) && !HasRetalixBlock(version)) {
    for (int i = 0; i < 24; ++i) c.unknown_177[i] = static_cast<uint8_t>(i + 1);
  }
  c.device_name = "Aisle 7 checker";
  c.wireless.ssid = "shop-wlan";
  c.wireless.wep_key = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  c.wireless.adhoc = true;
  c.wireless.wep_enabled = true;
  c.wireless.channel = 11;
  c.wireless.shared_auth = true;
  c.wireless.own_mac = true;
  c.tcp_port = 9101;
  c.udp_port = 10010;
  c.display_seconds = 9;
  c.host_wait_seconds = 12;
  return c;
}

struct Variant {
  uint16_t version;
  const char* firmware;
  uint16_t sent_version;
  std::size_t size;
};

void PrintTo(const Variant& v, std::ostream* os) {
  *os << "version " << v.version << ", firmware " << v.firmware;
}

class ConfigRecordRoundTrip : public ::testing::TestWithParam<Variant> {};

TEST_P(ConfigRecordRoundTrip, EveryFieldSurvivesEncodeAndDecode) {
  const Variant v = GetParam();
  const Configuration c = Sample(v.version, v.firmware);
  const std::vector<std::byte> wire = EncodeConfigRecord(c);
  ASSERT_EQ(wire.size(), v.size);
  EXPECT_EQ(DecodeFixedBE16(wire.data() + 4), v.sent_version);
  EXPECT_EQ(static_cast<int>(wire[6]), kSetConfig);
  if (v.size == r::kLengthWithChecksum) {
    EXPECT_EQ(static_cast<uint8_t>(wire.back()), Checksum(std::span(wire).first(r::kLength)));
  }

  Result<Configuration> back = DecodeConfigRecord(wire);
  ASSERT_TRUE(back.ok()) << back.status().ToString();
  Configuration expected = c;
  expected.version = v.sent_version;  // versions 4/5 replace 2/3 from firmware 3.00 on
  // From firmware 3.00 on most wireless values travel in their own record, still to be read.
  expected.wireless_unread = c.firmware_number() >= kFirmwareWirelessRecord;
  EXPECT_EQ(*back, expected);
}

INSTANTIATE_TEST_SUITE_P(Versions, ConfigRecordRoundTrip,
                         ::testing::Values(Variant{2, "02.10", 2, 287}, Variant{3, "02.99", 3, 287},
                                           Variant{2, "03.00", 4, 288}, Variant{3, "03.10", 5, 288},
                                           Variant{4, "03.10", 4, 288}, Variant{5, "03.10", 5, 288},
                                           Variant{1, "01.50", 1, 287}),
                         [](const auto& info) {
                           std::string fw = info.param.firmware;
                           fw.erase(2, 1);
                           return "Version" + std::to_string(info.param.version) + "Firmware" + fw;
                         });

// A reply built byte by byte, independent of the encoder.
std::vector<std::byte> HandBuiltReply() {
  std::vector<std::byte> d(288, std::byte{0});
  std::memcpy(d.data(), "KVMP", 4);
  d[5] = std::byte{2};
  d[6] = std::byte{1};
  d[7] = std::byte{100};
  const uint8_t mac[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01};
  std::memcpy(d.data() + 8, mac, 6);
  d[14] = std::byte{1};
  d[15] = std::byte{0x4B};  // 19200 big-endian
  d[16] = std::byte{0x00};
  d[17] = std::byte{0x2C};  // Xon/Xoff
  d[18] = std::byte{0x83};  // speed 8, flags
  d[19] = std::byte{49};    // 50 %
  const uint8_t ip[] = {10, 0, 0, 5, 10, 0, 0, 6, 255, 255, 255, 0, 10, 0, 0, 1};
  std::memcpy(d.data() + 24, ip, sizeof ip);
  d[40] = std::byte{0x81};  // DHCP, code-page bit 3
  std::memcpy(d.data() + 41, "03.10", 5);
  std::memcpy(d.data() + 46, "2013-01-02", 10);
  d[56] = std::byte{1};
  std::memcpy(d.data() + 57, "Hello", 5);
  d[57 + 20] = std::byte{1};
  d[57 + 21] = std::byte{4};
  d[57 + 22] = std::byte{8};
  d[57 + 23] = std::byte{7};  // Bottom, Center
  std::memcpy(d.data() + 177, "Gone", 4);
  d[201] = std::byte{0x3B};  // channel 11, shared, code-page bits 0-2 = 1 -> index 9
  d[202] = std::byte{0x03};
  std::memcpy(d.data() + 203, "Till 3", 6);
  std::memcpy(d.data() + 229, "net", 3);
  d[261] = std::byte{0xAB};
  d[274] = std::byte{0x25};  // 9600 big-endian
  d[275] = std::byte{0x80};
  d[276] = std::byte{0x29};
  d[277] = std::byte{0x80 | 0x40 | 0x08 | 0x04 | 0x01};
  const uint8_t remote[] = {192, 168, 7, 9};
  std::memcpy(d.data() + 278, remote, 4);
  d[282] = std::byte{0x23};  // 9101
  d[283] = std::byte{0x8D};
  d[284] = std::byte{0x27};  // 10004
  d[285] = std::byte{0x14};
  d[286] = std::byte{0x5A};
  return d;
}

TEST(ConfigRecordDecode, HandBuiltReplyGivesHostOrderValues) {
  Result<Configuration> got = DecodeConfigRecord(HandBuiltReply());
  ASSERT_TRUE(got.ok());
  const Configuration& c = *got;
  EXPECT_EQ(c.version, 2);
  EXPECT_EQ(c.scan_interval, 100);
  EXPECT_EQ(FormatMac(c.mac, ':'), "DE:AD:BE:EF:00:01");
  EXPECT_TRUE(c.retalix_active);
  EXPECT_EQ(c.port2, (SerialPort{19200, true}));
  EXPECT_EQ(c.port1, (SerialPort{9600, false}));
  EXPECT_EQ(c.speed_step, 8);
  EXPECT_EQ(c.volume_percent, 50);
  EXPECT_EQ(c.ip_address, 0x0A000005u);
  EXPECT_EQ(c.current_ip, 0x0A000006u);
  EXPECT_EQ(c.subnet_mask, 0xFFFFFF00u);
  EXPECT_EQ(c.gateway, 0x0A000001u);
  EXPECT_EQ(c.remote_ip, 0xC0A80709u);
  EXPECT_TRUE(c.dhcp);
  EXPECT_EQ(c.codepage, 9);
  EXPECT_EQ(c.firmware_version, "03.10");
  EXPECT_EQ(c.firmware_number(), 310);
  EXPECT_EQ(c.lines[kIdle1], (MessageLine{"Hello", 1, 4, 8, {kVBottom, kHCenter}}));
  EXPECT_EQ(c.lines[kOffline].text, "Gone");
  EXPECT_EQ(c.wireless.channel, 11);
  EXPECT_TRUE(c.wireless.shared_auth);
  EXPECT_EQ(c.hardware_state, 3);
  EXPECT_EQ(c.device_name, "Till 3");
  EXPECT_EQ(c.wireless.ssid, "net");
  EXPECT_EQ(c.wireless.wep_key[0], 0xAB);
  EXPECT_TRUE(c.wireless.adhoc);
  EXPECT_TRUE(c.wireless.wep_enabled);
  EXPECT_TRUE(c.tcp_server);
  EXPECT_TRUE(c.udp);
  EXPECT_EQ(c.tcp_port, 9101);
  EXPECT_EQ(c.udp_port, 10004);
  EXPECT_EQ(c.display_seconds, 10);
  EXPECT_EQ(c.host_wait_seconds, 5);
  EXPECT_FALSE(c.short_line_full);
}

TEST(ConfigRecordDecode, RejectsShortBufferAndWrongMagic) {
  std::vector<std::byte> d = HandBuiltReply();
  EXPECT_TRUE(DecodeConfigRecord(std::span(d).first(286)).status().IsCorruption());
  EXPECT_TRUE(DecodeConfigRecord(std::span(d).first(287)).ok());
  d[0] = std::byte{'X'};
  EXPECT_TRUE(DecodeConfigRecord(d).status().IsCorruption());
}

// Received values outside their lists read as the pages show them.
TEST(ConfigRecordDecode, OutOfRangeValuesAreCorrected) {
  struct Case {
    const char* what;
    std::size_t offset;
    uint8_t byte;
    std::function<int(const Configuration&)> get;
    int expected;
  };
  const Case cases[] = {
      {"scan interval 255 -> 500 ms", 7, 255, [](auto& c) { return c.scan_interval; }, 50},
      {"scan interval 200 kept", 7, 200, [](auto& c) { return c.scan_interval; }, 200},
      {"speed step 0 -> 10", 18, 0x00, [](auto& c) { return c.speed_step; }, 10},
      {"speed step 11 -> 10", 18, 0xB0, [](auto& c) { return c.speed_step; }, 10},
      {"speed step 1 kept", 18, 0x10, [](auto& c) { return c.speed_step; }, 1},
      {"volume byte 5 (6 %) -> 100", 19, 5, [](auto& c) { return c.volume_percent; }, 100},
      {"volume byte 100 (101 %) -> 100", 19, 100, [](auto& c) { return c.volume_percent; }, 100},
      {"volume byte 9 (10 %) kept", 19, 9, [](auto& c) { return c.volume_percent; }, 10},
      {"baud word 4800 -> 19200", 16, 0xC0, [](auto& c) { return c.port2.baud; }, 19200},
  };
  for (const Case& k : cases) {
    std::vector<std::byte> d = HandBuiltReply();
    if (k.offset == 16) d[15] = std::byte{0x12};  // 0x12C0 = 4800
    d[k.offset] = std::byte{k.byte};
    Result<Configuration> c = DecodeConfigRecord(d);
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(k.get(*c), k.expected) << k.what;
  }
}

TEST(ConfigRecordEncode, PackedBytesAtTheirOffsets) {
  Configuration c = Sample(2, "02.10");
  c.speed_step = 3;
  c.lines[kIdle2].text = std::string(25, 'x');  // needs the long-message record
  const std::vector<std::byte> w = EncodeConfigRecord(c);
  auto at = [&](std::size_t off) { return static_cast<int>(w[off]); };
  EXPECT_EQ(at(7), 175);
  EXPECT_EQ(at(14), 0);          // activation only through command 3
  EXPECT_EQ(at(17), 0x29);       // None, 8 data bits, no parity
  EXPECT_EQ(at(276), 0x2C);      // Xon/Xoff
  EXPECT_EQ(DecodeFixedBE16(w.data() + 274), 19200);
  EXPECT_EQ(at(18), 0x31);       // speed 3, long messages sent, firmware below 3.00
  EXPECT_EQ(at(19), 59);
  EXPECT_EQ(DecodeFixedBE32(w.data() + 24), 0xC0A8010Au);
  EXPECT_EQ(DecodeFixedBE32(w.data() + 28), 0u);  // current address is not sent
  EXPECT_EQ(at(40), 0x01 | 0x02 | 0x04 | 0x10 | 0x40 | 0x80);
  EXPECT_EQ(at(201), 11 | 0x10 | (2 << 5));  // code page 10 = 0b1010
  EXPECT_EQ(at(277), 0x01 | 0x02 | 0x04 | 0x08 | 0x40);
  EXPECT_EQ(at(286), 0xC9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(w.data() + 81), 20), std::string(20, 'x'));
}

TEST(ConfigRecordEncode, FirmwareGatesFlagsVersionAndChecksum) {
  Configuration c = Sample(2, "02.09");
  c.lines[kIdle1].text = std::string(30, 'y');
  std::vector<std::byte> w = EncodeConfigRecord(c);
  EXPECT_EQ(w.size(), 287u);
  EXPECT_EQ(static_cast<int>(w[18]) & 0x03, 0);  // 2.09: no long-message record, no 3.00 bit
  c.firmware_version = "03.00";
  w = EncodeConfigRecord(c);
  EXPECT_EQ(w.size(), 288u);
  EXPECT_EQ(static_cast<int>(w[18]) & 0x03, 0x03);
  EXPECT_EQ(DecodeFixedBE16(w.data() + 4), 4);
}

TEST(ConfigRecordText, DeviceNameOfExactly26BytesKeepsNoTerminator) {
  Configuration c = Sample(2, "02.10");
  c.device_name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::vector<std::byte> w = EncodeConfigRecord(c);
  EXPECT_EQ(static_cast<char>(w[203 + 25]), 'Z');
  EXPECT_EQ(DecodeConfigRecord(w)->device_name, c.device_name);
  c.device_name += "0123";
  EXPECT_EQ(DecodeConfigRecord(EncodeConfigRecord(c))->device_name, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

TEST(ConfigRecordText, CodePage9TravelsUtf8OthersTravelWindows1252) {
  Configuration c = Sample(2, "02.10");
  c.device_name = "Caf\xC3\xA9 \xE2\x82\xAC";  // "Café €"
  c.codepage = 9;
  std::vector<std::byte> w = EncodeConfigRecord(c);
  EXPECT_EQ(std::memcmp(w.data() + 203, "Caf\xC3\xA9 \xE2\x82\xAC", 9), 0);
  EXPECT_EQ(DecodeConfigRecord(w)->device_name, c.device_name);

  c.codepage = 6;
  w = EncodeConfigRecord(c);
  EXPECT_EQ(std::memcmp(w.data() + 203, "Caf\xE9 \x80", 6), 0);
  EXPECT_EQ(w[209], std::byte{0});
  EXPECT_EQ(DecodeConfigRecord(w)->device_name, c.device_name);
}

TEST(ConfigRecordText, EveryWindows1252ByteSurvivesDecodeAndEncode) {
  // A field holding one byte, then NUL padding: decoding and encoding gives the same field back.
  for (int b = 0; b < 256; ++b) {
    std::array<std::byte, 4> field{std::byte{static_cast<uint8_t>(b)}};
    const std::string text = DecodeAnsi(field);
    const std::string back = EncodeAnsi(text);
    EXPECT_EQ(back, b == 0 ? std::string() : std::string(1, static_cast<char>(b))) << "byte " << b;
    EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << "byte " << b << " decoded to U+FFFD";
  }
  // The five bytes without a character in the code page travel as the C1 control of that value.
  struct Case {
    uint8_t byte;
    const char* utf8;
  } unassigned[] = {{0x81, "\xC2\x81"}, {0x8D, "\xC2\x8D"}, {0x8F, "\xC2\x8F"}, {0x90, "\xC2\x90"},
                    {0x9D, "\xC2\x9D"}};
  for (const Case& k : unassigned) {
    const std::array<std::byte, 1> field{std::byte{k.byte}};
    EXPECT_EQ(DecodeAnsi(field), k.utf8) << int(k.byte);
  }
  // A device name with them goes through the record unchanged.
  Configuration c = Sample(2, "02.10");
  c.codepage = 1;
  c.device_name = "\xC2\x81" "A\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xE2\x82\xAC";
  const std::vector<std::byte> w = EncodeConfigRecord(c);
  EXPECT_EQ(std::memcmp(w.data() + 203, "\x81" "A\x8D\x8F\x90\x9D\x80", 7), 0);
  EXPECT_EQ(DecodeConfigRecord(w)->device_name, c.device_name);
}

TEST(ConfigRecordText, Utf8CutNeverSplitsACharacter) {
  Configuration c = Sample(2, "02.10");
  c.codepage = 9;
  c.device_name = std::string(25, 'a') + "\xC3\xA9";  // 27 bytes, the last character 2 bytes
  const std::vector<std::byte> w = EncodeConfigRecord(c);
  EXPECT_EQ(w[203 + 25], std::byte{0});
  EXPECT_EQ(DecodeConfigRecord(w)->device_name, std::string(25, 'a'));
}

TEST(Alignment, PairsMapToCodesAndBack) {
  EXPECT_EQ(AlignmentCode({kVBottom, kHRight}), 8);
  EXPECT_EQ(AlignmentCode({kVNone, kHLeft}), 9);
  EXPECT_EQ(AlignmentCode({kVTop, kHLeft}), 0);
  EXPECT_EQ(AlignmentCode({kVNone, kHRight}), 11);
  EXPECT_EQ(AlignmentCode({-1, kHLeft}), 255);  // nothing chosen in the vertical list
  EXPECT_EQ(AlignmentCode({kVTop, kHNone}), 255);
  for (uint8_t code = 0; code < 12; ++code) EXPECT_EQ(AlignmentCode(AlignmentFromCode(code)), code);
  EXPECT_EQ(AlignmentFromCode(12), (Alignment{kVNone, kHNone}));
  EXPECT_EQ(AlignmentFromCode(255), (Alignment{kVNone, kHNone}));
}

TEST(WepKey, TenDigitsGiveFiveBytesAndEightZeros) {
  std::array<uint8_t, 13> key{};
  ASSERT_TRUE(WepKeyFromHex("0123456789", key));
  const std::array<uint8_t, 13> expected = {0x01, 0x23, 0x45, 0x67, 0x89, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(key, expected);
  EXPECT_EQ(WepKeyToHex(key), "01234567890000000000000000");
  EXPECT_TRUE(WepKeyFromHex("abcdefABCDEF00112233445566", key));
  EXPECT_EQ(key[0], 0xAB);
  EXPECT_FALSE(WepKeyFromHex("12G4", key));
  EXPECT_FALSE(WepKeyFromHex(std::string(27, '0'), key));
}

TEST(Checksum, SumModulo256) {
  std::vector<std::byte> d = {std::byte{0xFF}, std::byte{0xFF}, std::byte{0x01}};  // 0x1FF
  EXPECT_EQ(Checksum(d), 0xFF);
  AppendChecksum(d);
  EXPECT_EQ(d.back(), std::byte{0xFF});
}

TEST(FirmwareNumber, NonDigitsArePointsAndDropped) {
  EXPECT_EQ(FirmwareNumber("02.10"), 210);
  EXPECT_EQ(FirmwareNumber("00.22"), 22);
  EXPECT_EQ(FirmwareNumber("3-00a"), 300);
  EXPECT_EQ(FirmwareNumber(""), 0);
  EXPECT_EQ(FirmwareNumber(std::string("\0\0\0\0\0", 5)), 0);
}

TEST(FirmwareNumber, OwnMacOptionNeedsVersion0022) {
  EXPECT_EQ(OwnMacOptionWarning(21).value(),
            "This KX25 has firmware version 21\n\nYou need version 00.22 (or higher) to support this option.");
  EXPECT_FALSE(OwnMacOptionWarning(22).has_value());
}

TEST(ConfigRecordRetalix, Version3ReadsTheBlockAndForcesUdpServer) {
  std::vector<std::byte> d = HandBuiltReply();
  d[5] = std::byte{3};
  d[277] = std::byte{0x00};  // says TCP client; ignored for version 3
  d[177] = std::byte{7};
  d[178] = std::byte{8};
  d[179] = std::byte{0x03};  // 1000 big-endian
  d[180] = std::byte{0xE8};
  std::memcpy(d.data() + 181, "USD$", 4);  // all four bytes, no NUL
  d[185] = std::byte{3};
  d[186] = std::byte{1};
  d[190] = std::byte{0x77};
  Result<Configuration> c = DecodeConfigRecord(d);
  ASSERT_TRUE(c.ok());
  EXPECT_EQ(c->retalix.pos_station, 7);
  EXPECT_EQ(c->retalix.mfs_station, 8);
  EXPECT_EQ(c->retalix.round_off, 1000);
  EXPECT_EQ(c->retalix.currency, "USD$");
  EXPECT_EQ(c->retalix.decimals, 3);
  EXPECT_EQ(c->retalix.symbol_position, 1);
  EXPECT_EQ(c->retalix.reserved[3], 0x77);
  EXPECT_TRUE(c->tcp_server);
  EXPECT_TRUE(c->udp);
  EXPECT_EQ(c->lines[kOffline].text, "");

  const std::vector<std::byte> w = EncodeConfigRecord(*c);
  EXPECT_EQ(DecodeFixedBE16(w.data() + 4), 5);  // firmware 3.10
  EXPECT_EQ(std::memcmp(w.data() + 177, d.data() + 177, 24), 0);
  EXPECT_EQ(static_cast<int>(w[277]) & 0xC0, 0xC0);
}

TEST(RetalixActivation, FifteenBytesWithTheRecordsHeader) {
  Configuration c = Sample(3, "02.50");
  const std::vector<std::byte> d = EncodeRetalixActivation(c, true);
  ASSERT_EQ(d.size(), 15u);
  const std::vector<std::byte> record = EncodeConfigRecord(c);
  EXPECT_EQ(std::memcmp(d.data(), record.data(), 6), 0);
  EXPECT_EQ(static_cast<int>(d[6]), kSetRetalixActivation);
  EXPECT_EQ(std::memcmp(d.data() + 7, record.data() + 7, 7), 0);
  EXPECT_EQ(static_cast<int>(d[14]), 1);
  EXPECT_EQ(static_cast<int>(EncodeRetalixActivation(c, false)[14]), 0);
}

TEST(FetchRequest, FourteenBytesWithVersionByCommand) {
  const Mac mac = {1, 2, 3, 4, 5, 6};
  const std::vector<std::byte> a = EncodeFetchRequest(kRequestLongMessages, mac);
  const std::vector<std::byte> b = EncodeFetchRequest(kRequestWireless, mac);
  const uint8_t expected_a[] = {'K', 'V', 'M', 'P', 0, 2, 4, 0, 1, 2, 3, 4, 5, 6};
  const uint8_t expected_b[] = {'K', 'V', 'M', 'P', 0, 4, 7, 0, 1, 2, 3, 4, 5, 6};
  ASSERT_EQ(a.size(), 14u);
  ASSERT_EQ(b.size(), 14u);
  EXPECT_EQ(std::memcmp(a.data(), expected_a, 14), 0);
  EXPECT_EQ(std::memcmp(b.data(), expected_b, 14), 0);
  const std::vector<std::byte> discovery = EncodeDiscoveryRequest();
  const uint8_t expected_d[] = {'K', 'V', 'M', 'P', 0, 2, 0};
  ASSERT_EQ(discovery.size(), 7u);
  EXPECT_EQ(std::memcmp(discovery.data(), expected_d, 7), 0);
}

TEST(LongMessages, RoundTripAndVersionRules) {
  Configuration c = Sample(2, "03.10");
  c.lines[kIdle1].text = std::string(55, 'L');
  c.lines[kOffline].text = "Offline for a long while, please wait";
  const std::vector<std::byte> w = EncodeLongMessages(c);
  ASSERT_EQ(w.size(), 399u);  // with the checksum from firmware 3.00 on
  EXPECT_EQ(static_cast<int>(w[6]), kSetLongMessages);
  EXPECT_EQ(static_cast<uint8_t>(w.back()), Checksum(std::span(w).first(398)));
  Result<LongMessages> m = DecodeLongMessages(w, c.codepage);
  ASSERT_TRUE(m.ok());
  for (int i = 0; i < kLineCount; ++i) EXPECT_EQ(m->lines[i], c.lines[i]) << i;

  // A version-4 reply leaves the offline line (and the version) alone.
  Configuration target = Sample(4, "03.10");
  m->version = 4;
  TakeLongMessages(target, *m);
  EXPECT_EQ(target.lines[kIdle1].text, std::string(55, 'L'));
  EXPECT_EQ(target.lines[kOffline].text, "Offline now");
  EXPECT_EQ(target.version, 4);
  // A version-2 reply brings the offline line and makes the terminal version 2.
  m->version = 2;
  TakeLongMessages(target, *m);
  EXPECT_EQ(target.lines[kOffline].text, c.lines[kOffline].text);
  EXPECT_EQ(target.version, 2);

  c.firmware_version = "02.10";
  EXPECT_EQ(EncodeLongMessages(c).size(), 398u);
  EXPECT_TRUE(DecodeLongMessages(std::span(w).first(397), 1).status().IsCorruption());
}

// The read decides that a line needs the long record the way the write does: the write sends
// the long record for more than 20 bytes and cuts the short copy at a character boundary, so a
// UTF-8 short copy may end early.
TEST(LongMessages, ShortCopyMayContinueByTheBytesTheTerminalHolds) {
  struct Case {
    int codepage;
    std::size_t bytes;  // text bytes before the NUL
    bool may_continue;
  } cases[] = {{1, 20, true}, {1, 19, false}, {1, 0, false},  {9, 20, true}, {9, 19, true},
               {9, 17, true}, {9, 16, false}, {6, 17, false}, {9, 0, false}};
  for (const Case& k : cases) {
    std::array<std::byte, 20> text{};
    for (std::size_t i = 0; i < k.bytes; ++i) text[i] = std::byte{'a'};
    EXPECT_EQ(ShortLineMayContinue(text, k.codepage), k.may_continue) << k.codepage << "/" << k.bytes;
  }
  // A 31-byte UTF-8 line: the short copy ends at byte 19 and is still seen as cut, and only from
  // firmware 2.10 on is it marked as known by its first bytes only.
  for (const char* firmware : {"02.09", "02.10"}) {
    Configuration c = Sample(2, firmware);
    c.codepage = 9;
    c.lines[kIdle2].text = "A" + std::string(15 * 2, ' ');
    for (int i = 0; i < 15; ++i) c.lines[kIdle2].text.replace(1 + 2 * i, 2, "Ã©");
    const std::vector<std::byte> w = EncodeConfigRecord(c);
    EXPECT_EQ(w[r::kLines + r::kLineLength + 19], std::byte{0});
    Result<Configuration> back = DecodeConfigRecord(w);
    EXPECT_TRUE(back->short_line_full) << firmware;
    EXPECT_EQ(back->lines_cut, c.firmware_number() >= 210 ? LineBit(kIdle2) : 0) << firmware;
  }
}

TEST(LongMessages, SixtyByteLinesAreCutAndShortRecordFlagsFullLines) {
  Configuration c = Sample(2, "02.10");
  c.lines[kError2].text = std::string(70, 'E');
  const std::vector<std::byte> w = EncodeLongMessages(c);
  Result<LongMessages> m = DecodeLongMessages(w, 1);
  EXPECT_EQ(m->lines[kError2].text, std::string(60, 'E'));
  // The short record carries the first 20 bytes and the decoder notes the full line.
  Result<Configuration> back = DecodeConfigRecord(EncodeConfigRecord(c));
  EXPECT_EQ(back->lines[kError2].text, std::string(20, 'E'));
  EXPECT_TRUE(back->short_line_full);
}

TEST(Wireless, RoundTripOfEveryField) {
  Configuration c = Sample(4, "03.10");
  WirelessSettings& s = c.wireless;
  s.auto_channel = true;
  s.channel_width = 2;
  s.wep128 = true;
  s.stream_mask = 0x7F0F;
  s.mode_80211 = 10;
  s.tx_rate = 32768;
  s.cipher = 3;
  s.eap_user = "user@shop";
  s.eap_password = "secret";
  for (int i = 0; i < 64; ++i) s.extra_text[i] = static_cast<uint8_t>(i);
  s.inner_auth = 4;
  s.eap_type = 21;
  s.wpa_psk = true;
  s.wpa_mode = 3;
  s.wpa_eap = true;
  s.psk = std::string(64, 'k');
  s.wep_enabled = false;
  const std::vector<std::byte> w = EncodeWirelessRecord(c);
  ASSERT_EQ(w.size(), 363u);
  EXPECT_EQ(DecodeFixedBE16(w.data() + 4), 4);
  EXPECT_EQ(static_cast<int>(w[6]), kSetWireless);
  EXPECT_EQ(static_cast<uint8_t>(w.back()), Checksum(std::span(w).first(362)));
  EXPECT_EQ(DecodeFixedLE16(w.data() + 59), 32768);  // little-endian, unlike the rest
  EXPECT_EQ(DecodeFixedBE32(w.data() + 54), 0x7F0Fu);
  EXPECT_EQ(static_cast<int>(w[47]), 2);  // Shared
  EXPECT_EQ(w[277 + 64], std::byte{0});   // room for the terminator
  Result<WirelessRecord> back = DecodeWirelessRecord(w);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back->settings, s);
  EXPECT_EQ(SecurityModeOf(back->settings, 310), SecurityMode::kWpaEnterprise);
}

TEST(Wireless, SecurityModeRule) {
  WirelessSettings s;
  struct Case {
    bool wep, psk, eap;
    SecurityMode fw300, fw299;
  };
  const Case cases[] = {
      {false, false, false, SecurityMode::kNone, SecurityMode::kNone},
      {true, true, true, SecurityMode::kWep, SecurityMode::kWep},
      {false, true, false, SecurityMode::kWpaPersonal, SecurityMode::kNone},
      {false, true, true, SecurityMode::kWpaEnterprise, SecurityMode::kNone},
      {false, false, true, SecurityMode::kNone, SecurityMode::kNone},
  };
  for (const Case& k : cases) {
    s.wep_enabled = k.wep;
    s.wpa_psk = k.psk;
    s.wpa_eap = k.eap;
    EXPECT_EQ(SecurityModeOf(s, 300), k.fw300);
    EXPECT_EQ(SecurityModeOf(s, 299), k.fw299);
  }
}

TEST(Mac, ParsesEverySeparatorAndCase) {
  Mac mac{};
  for (const char* text : {"00-1a-2B-3c-4D-5e", "00:1A:2B:3C:4D:5E", "001a2b3c4d5e"}) {
    ASSERT_TRUE(ParseMac(text, mac)) << text;
    EXPECT_EQ(FormatMac(mac, '-'), "00-1A-2B-3C-4D-5E");
  }
  for (const char* text : {"00-1a-2B-3c-4D", "00-1a:2B-3c-4D-5e", "001a2b3c4d5g", "0-01a2b3c4d5e", ""}) {
    EXPECT_FALSE(ParseMac(text, mac)) << text;
  }
}

}  // namespace
}  // namespace kt::config
