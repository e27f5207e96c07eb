#include "tool/config/page_rules.h"

#include <gtest/gtest.h>

#include "tool/config/text_codec.h"

namespace kt::config {
namespace {

Configuration Terminal(const char* firmware, int codepage, uint16_t version = 2) {
  Configuration c;
  c.firmware_version = firmware;
  c.codepage = static_cast<uint8_t>(codepage);
  c.version = version;
  return c;
}

TEST(PageRules, TextLimitsCountEncodedBytesAndCutAtCharacters) {
  // "é" is one byte in 1252 and two in UTF-8; "€" is one byte (0x80) in 1252 and three in UTF-8.
  EXPECT_EQ(EncodedSize("a\xC3\xA9\xE2\x82\xAC", 1), 3u);
  EXPECT_EQ(EncodedSize("a\xC3\xA9\xE2\x82\xAC", kUtf8CodePageIndex), 6u);
  EXPECT_EQ(CutToEncodedBytes("a\xC3\xA9\xE2\x82\xAC", 5, kUtf8CodePageIndex), "a\xC3\xA9");
  EXPECT_EQ(CutToEncodedBytes("a\xC3\xA9\xE2\x82\xAC", 5, 1), "a\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(CutToEncodedBytes(std::string(30, 'x'), 20, 1), std::string(20, 'x'));

  EXPECT_EQ(MessageLineBytes(209), 20u);
  EXPECT_EQ(MessageLineBytes(210), 60u);
}

TEST(PageRules, ApplyCheckNamesTheFieldThatDoesNotFit) {
  struct Case {
    const char* what;
    Configuration c;
    std::string expect_part;  // empty: accepted
  };
  auto with = [](Configuration c, auto edit) {
    edit(c);
    return c;
  };
  const Configuration old_fw = Terminal("02.09", 1);
  const Configuration new_fw = Terminal("02.10", kUtf8CodePageIndex);
  const std::vector<Case> cases = {
      {"21 bytes below 2.10", with(old_fw, [](auto& c) { c.lines[kIdle1].text = std::string(21, 'a'); }),
       "Idle Message line 1"},
      {"20 bytes below 2.10", with(old_fw, [](auto& c) { c.lines[kIdle1].text = std::string(20, 'a'); }), ""},
      {"60 bytes from 2.10", with(new_fw, [](auto& c) { c.lines[kError2].text = std::string(60, 'a'); }), ""},
      {"30 two-byte characters are 60 bytes", with(new_fw, [](auto& c) {
         for (int i = 0; i < 30; ++i) c.lines[kError2].text += "\xC3\xA9";
       }), ""},
      {"31 two-byte characters are 62 bytes", with(new_fw, [](auto& c) {
         for (int i = 0; i < 31; ++i) c.lines[kError2].text += "\xC3\xA9";
       }), "Error Message line 2"},
      {"device name of 27", with(old_fw, [](auto& c) { c.device_name = std::string(27, 'n'); }), "Device Name"},
      {"device name of 26", with(old_fw, [](auto& c) { c.device_name = std::string(26, 'n'); }), ""},
      {"13 two-byte characters in UTF-8", with(new_fw, [](auto& c) {
         for (int i = 0; i < 14; ++i) c.device_name += "\xC3\xA9";
       }), "Device Name"},
      {"SSID of 33", with(old_fw, [](auto& c) { c.wireless.ssid = std::string(33, 's'); }), "SSID"},
      {"wireless record not read", with(Terminal("03.00", 1), [](auto& c) { c.wireless_unread = true; }),
       "wireless record"},
      {"currency of 5 on version 3", with(Terminal("02.10", 1, 3), [](auto& c) { c.retalix.currency = "RUPIA"; }),
       "Currency Symbol"},
  };
  for (const Case& k : cases) {
    const std::string got = ValidatePageValues(k.c);
    if (k.expect_part.empty()) {
      EXPECT_EQ(got, "") << k.what;
    } else {
      EXPECT_NE(got.find(k.expect_part), std::string::npos) << k.what << ": " << got;
    }
  }
}

TEST(PageRules, FirmwareDecidesRowsModesAndPages) {
  EXPECT_EQ(HardwareRowsFor(299).row1, "Jumper 1");
  EXPECT_EQ(HardwareRowsFor(299).on_text, "Installed");
  EXPECT_EQ(HardwareRowsFor(300).row2, "Switch 2");
  EXPECT_EQ(HardwareRowsFor(300).off_text, "Off");
  EXPECT_FALSE(HardwareRowsFor(105).wifi_row);
  EXPECT_TRUE(HardwareRowsFor(106).wifi_row);
  EXPECT_EQ(SecurityModeCount(299), 2);
  EXPECT_EQ(SecurityModeCount(300), 4);
  EXPECT_EQ(OwnMacWarning(21), "This KX25 has firmware version 21\n\nYou need version 00.22 (or higher) to support this option.");
  EXPECT_EQ(OwnMacWarning(22), "");

  Configuration v3 = Terminal("02.10", 1, 3);
  EXPECT_TRUE(DialogPagesFor(v3, false, false).specifics);
  EXPECT_TRUE(DialogPagesFor(v3, false, true).activation);
  EXPECT_TRUE(TransportFixedToUdp(v3));
  Configuration v2 = Terminal("02.99", 1, 2);
  EXPECT_FALSE(DialogPagesFor(v2, true, true).activation);
  EXPECT_TRUE(DialogPagesFor(v2, true, true).rs232);
  EXPECT_TRUE(DialogPagesFor(Terminal("03.00", 1, 4), false, true).activation);
  EXPECT_FALSE(TransportFixedToUdp(v2));
}

}  // namespace
}  // namespace kt::config
