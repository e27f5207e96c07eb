#include "tool/firmware/flash_size.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "common/testing/files.h"

namespace kt::firmware {
namespace {

TEST(FlashSize, ClassFromVersionText) {
  struct Case {
    const char* version;
    uint32_t size;
  } cases[] = {
      {"00.22", kFlash512K}, {"01.05", kFlash512K}, {"00T01", kFlash512K}, {"01T05", kFlash512K},
      {"00T11", kFlash1M},   {"02.10", kFlash1M},   {"01X05", kFlash1M},   {"10.00", kFlash1M},
      {"", kFlash1M},        {"0", kFlash1M},       {"03.10", kFlash8M},   {"09.99", kFlash8M},
      {"0A.00", kFlash8M},   // compared as characters: 'A' is above '3'
      {"00T0", kFlash512K},  // only the first four decide
  };
  for (const Case& c : cases) EXPECT_EQ(FlashSizeForVersion(c.version), c.size) << c.version;
}

TEST(FlashSize, EveryTooShortHeaderIsRefused) {
  std::string head(image_header::kMinimumLength, '\0');
  head[21] = '\x80';
  for (std::size_t n = 0; n < head.size(); ++n) {
    auto r = DecodeImageFlashSize(std::as_bytes(std::span(head.data(), n)));
    EXPECT_TRUE(!r.ok() && r.status().IsCorruption()) << n;
  }
  auto whole = DecodeImageFlashSize(std::as_bytes(std::span(head.data(), head.size())));
  ASSERT_TRUE(whole.ok());
  EXPECT_EQ(*whole, 0x800000u);
}

TEST(FlashSize, ImageFileAgainstTerminalVersion) {
  test_support::ScratchFolder dir("kx_firmware", "");
  auto image = [&](const char* name, unsigned char b21, unsigned char b22, unsigned char b23, std::size_t len) {
    std::string bytes(len, 'x');
    if (len > 23) {
      bytes[21] = static_cast<char>(b21);
      bytes[22] = static_cast<char>(b22);
      bytes[23] = static_cast<char>(b23);
    }
    const std::string path = (dir.path() / name).string();
    test_support::WriteFileBytes(path, bytes);
    return path;
  };
  const std::string eight = image("8m.bin", 0x80, 0, 0, 4096);
  const std::string one = image("1m.bin", 0x10, 0, 0, 24);  // exactly the header is enough
  const std::string half = image("512k.bin", 0x08, 0, 0, 100);
  const std::string short_file = image("short.bin", 0, 0, 0, 23);
  const std::string missing = (dir.path() / "missing.bin").string();

  EXPECT_FALSE(CheckImageFits(eight, "03.10"));
  EXPECT_FALSE(CheckImageFits(one, "02.10"));
  EXPECT_FALSE(CheckImageFits(half, "01.05"));
  for (const char* v : {"02.10", "01.05"}) {
    auto box = CheckImageFits(eight, v);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Flash size incompatibility");
    EXPECT_EQ(box->text, FlashSizeIncompatibleBox().text);
  }
  auto too_short = CheckImageFits(short_file, "03.10");
  ASSERT_TRUE(too_short);
  EXPECT_EQ(too_short->caption, "Fatal Error");
  EXPECT_NE(too_short->text.find("too short"), std::string::npos);
  auto absent = CheckImageFits(missing, "03.10");
  ASSERT_TRUE(absent);
  EXPECT_EQ(absent->text, "Error opening file: " + missing + "\nPlease be sure the file exists...");
  EXPECT_EQ(absent->caption, "Fatal Error");
}

}  // namespace
}  // namespace kt::firmware
