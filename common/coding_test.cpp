#include "common/coding.h"
#include "common/status.h"

#include <gtest/gtest.h>

namespace kt {
namespace {

TEST(Coding, FixedWidthRoundTripsInBothOrders) {
  uint8_t buf[8];
  EncodeFixedLE32(buf, 0x11223344u);
  EXPECT_EQ(buf[0], 0x44);
  EXPECT_EQ(DecodeFixedLE32(buf), 0x11223344u);
  EncodeFixedBE32(buf, 0x11223344u);
  EXPECT_EQ(buf[0], 0x11);
  EXPECT_EQ(DecodeFixedBE32(buf), 0x11223344u);
  EncodeFixedLE64(buf, 0x0102030405060708ull);
  EXPECT_EQ(DecodeFixedLE64(buf), 0x0102030405060708ull);
  EncodeFixedBE64(buf, 0x0102030405060708ull);
  EXPECT_EQ(buf[0], 0x01);
  EXPECT_EQ(DecodeFixedBE64(buf), 0x0102030405060708ull);
  EncodeFixedBE16(buf, 0xABCD);
  EXPECT_EQ(DecodeFixedBE16(buf), 0xABCD);
  EXPECT_EQ(DecodeFixedLE16(buf), 0xCDAB);
}

TEST(Coding, ReaderFailsOnEveryTruncatedPrefixAndStaysFailed) {
  std::vector<std::byte> full;
  ByteWriter w(full);
  w.U8(7);
  w.LE16(0x1234);
  w.BE32(0xDEADBEEF);
  w.LE64(42);
  for (std::size_t n = 0; n < full.size(); ++n) {
    ByteReader r(std::span<const std::byte>(full.data(), n));
    r.U8();
    r.LE16();
    r.BE32();
    r.LE64();
    EXPECT_FALSE(r.ok()) << "prefix " << n;
    EXPECT_EQ(r.U8(), 0);
  }
  ByteReader r(full);
  EXPECT_EQ(r.U8(), 7);
  EXPECT_EQ(r.LE16(), 0x1234);
  EXPECT_EQ(r.BE32(), 0xDEADBEEFu);
  EXPECT_EQ(r.LE64(), 42u);
  EXPECT_TRUE(r.ok());
  EXPECT_TRUE(r.AtEnd());
}

TEST(Status, ResultCarriesValueOrError) {
  Result<int> good = 5;
  ASSERT_TRUE(good.ok());
  EXPECT_EQ(*good, 5);
  Result<int> bad = Status::NotFound("item 12");
  EXPECT_FALSE(bad.ok());
  EXPECT_TRUE(bad.status().IsNotFound());
  EXPECT_EQ(bad.status().ToString(), "not found: item 12");
  EXPECT_EQ(bad.value_or(9), 9);
}

}  // namespace
}  // namespace kt
