// Byte-exact encodings: sortable number and date keys, Julian days, leaf bit widths, the
// decoding of a known leaf page, and leaf/interior encoders read back by the decoder.
#include <gtest/gtest.h>

#include "common/testing/comma_locale.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>

#include "server/data/driver/cdx_node.h"
#include "server/data/driver/cdx_node_encoder.h"
#include "server/data/driver/date.h"
#include "server/data/driver/expression.h"
#include "server/data/driver/field_codec.h"
#include "server/data/driver/key_encoding.h"

namespace kt::data {
namespace {

std::string Hex(std::string_view bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    out += buf;
  }
  return out;
}

// Numbers as other engines store them: right-aligned decimal text, blanks, either decimal mark.
TEST(FieldCodecTest, NumbersReadAsStored) {
  const struct {
    const char* stored;
    std::optional<double> want;
  } cases[] = {
      {"          ", 0.0},  {"   -1234.50", -1234.5}, {"+7 ", 7.0},       {",5", 0.5},
      {"5.", 5.0},          {"  12  ", 12.0},        {"-0.00", 0.0},     {"1.2.3", std::nullopt},
      {"1 2", std::nullopt}, {"-", std::nullopt},    {".", std::nullopt},
      {"abc", std::nullopt}, {"12345678901234567", 12345678901234567.0},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseNumber('N', c.stored), c.want) << '"' << c.stored << '"';
  EXPECT_EQ(ParseNumber('N', std::string_view("\0\0 7", 4)), 7.0);  // NUL bytes are blanks

  // Every value agrees to the last bit with the standard reading of the same text.
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const int decimals = static_cast<int>(rng() % 8);
    const double value = static_cast<double>(static_cast<int64_t>(rng() % 2000000000000ULL) - 1000000000000LL) /
                         std::pow(10.0, decimals);
    char text[64];
    std::snprintf(text, sizeof text, "%20.*f", decimals, value);
    const std::optional<double> got = ParseNumber('N', text);
    ASSERT_TRUE(got.has_value()) << text;
    EXPECT_EQ(*got, std::strtod(text, nullptr)) << text;
  }
}

TEST(KeyEncodingTest, NumbersSortAsBytes) {
  const struct {
    double value;
    const char* hex;
  } cases[] = {
      {0, "8000000000000000"},   {-0.0, "8000000000000000"}, {1, "BFF0000000000000"},
      {2.5, "C004000000000000"}, {100, "C059000000000000"},  {-1, "400FFFFFFFFFFFFF"},
      {-25, "3FC6FFFFFFFFFFFF"}, {-100, "3FA6FFFFFFFFFFFF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(EncodeNumberKey(c.value)), c.hex) << c.value;
    EXPECT_EQ(DecodeNumberKey(EncodeNumberKey(c.value)), c.value == 0 ? 0 : c.value);
  }
  EXPECT_EQ(Hex(EncodeIntegerKey(0)), "80000000");
  EXPECT_EQ(Hex(EncodeIntegerKey(1)), "80000001");
  EXPECT_EQ(Hex(EncodeIntegerKey(-1)), "7FFFFFFF");
  const double ordered[] = {-1e300, -100, -25, -1, -0.01, 0, 0.01, 1, 2.5, 100, 1e300};
  for (std::size_t i = 1; i < std::size(ordered); ++i) {
    EXPECT_LT(EncodeNumberKey(ordered[i - 1]), EncodeNumberKey(ordered[i]));
  }
}

TEST(KeyEncodingTest, DatesAreJulianDays) {
  EXPECT_EQ((Date{1970, 1, 1}).ToJulianDay(), 2440588);
  EXPECT_EQ((Date{2000, 1, 1}).ToJulianDay(), 2451545);
  EXPECT_EQ((Date{2024, 1, 1}).ToJulianDay(), 2460311);
  EXPECT_EQ(Date::FromJulianDay(2460311), (Date{2024, 1, 1}));
  EXPECT_EQ(Hex(EncodeDateKey(Date{2024, 1, 2})), "C142C54C00000000");
  EXPECT_EQ(Hex(EncodeDateKey(Date{2000, 1, 1})), "C142B42C80000000");
  EXPECT_EQ(Hex(EncodeDateKey(Date{})), "8000000000000000");  // blank sorts first
  EXPECT_EQ((Date{2024, 1, 7}).DayOfWeek(), 1);  // a Sunday
  EXPECT_EQ(Date::FromDtos("20240229"), (Date{2024, 2, 29}));
  EXPECT_FALSE(Date::FromDtos("20230229"));
  EXPECT_TRUE(Date::FromDtos("        ")->blank());
  EXPECT_FALSE(Date::FromDtos("2024011"));
}

TEST(LeafLayoutTest, WidthsFollowKeyLengthAndRecordCount) {
  const struct {
    int key_length;
    uint64_t max_record;
    unsigned e, rn, dc;
  } cases[] = {
      {8, 8, 3, 16, 4}, {8, 70000, 4, 24, 4}, {20, 70000, 4, 22, 5}, {10, 400 * 1024, 4, 24, 4},
      {1, 100, 3, 22, 1}, {240, 70000, 5, 24, 8},
  };
  for (const auto& c : cases) {
    const LeafLayout l = LeafLayout::For(c.key_length, c.max_record);
    EXPECT_EQ(l.entry_bytes, c.e) << c.key_length << "/" << c.max_record;
    EXPECT_EQ(l.record_bits, c.rn) << c.key_length << "/" << c.max_record;
    EXPECT_EQ(l.dup_bits, c.dc);
    EXPECT_EQ(l.trail_bits, c.dc);
  }
}

// A leaf of tag KODE (C(8), 8 records) as written by another engine.
TEST(CdxNodeTest, DecodesAKnownLeaf) {
  std::vector<std::byte> page(512);
  const unsigned char head[] = {0x03, 0x00, 0x08, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                0xff, 0xc5, 0x01, 0xff, 0xff, 0x00, 0x00, 0x0f, 0x0f, 0x10, 0x04,
                                0x04, 0x03, 0x04, 0x00, 0x80, 0x07, 0x00, 0x60, 0x02, 0x00, 0x42,
                                0x01, 0x00, 0x43, 0x05, 0x00, 0x44, 0x03, 0x00, 0x50, 0x08, 0x00,
                                0x53, 0x06, 0x00, 0x50};
  std::memcpy(page.data(), head, sizeof head);
  const unsigned char tail[] = {0x5a, 0x5a, 0x39, 0x42, 0x31, 0x30, 0x32, 0x30, 0x31, 0x41, 0x30};
  std::memcpy(page.data() + 512 - sizeof tail, tail, sizeof tail);

  auto node = CdxNode::Decode(page, 0xA00, 8, ' ', 1 << 16);
  ASSERT_TRUE(node.ok()) << node.status().ToString();
  ASSERT_EQ(node->size(), 8u);
  const char* keys[] = {"        ", "A0      ", "A001    ", "A002    ",
                        "A002    ", "B10     ", "B10     ", "ZZ9     "};
  const uint32_t records[] = {4, 7, 2, 1, 5, 3, 8, 6};
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(node->key(i), keys[i]) << i;
    EXPECT_EQ(node->records[i], records[i]) << i;
  }

  // Our encoder writes the same page from the same entries.
  std::vector<LeafEntryRef> entries;
  for (std::size_t i = 0; i < 8; ++i) entries.push_back({node->key(i), node->records[i]});
  std::vector<std::byte> ours;
  EncodeLeaf(entries, LeafLayout::For(8, 8), true, kCdxNoNode, kCdxNoNode, ' ', ours);
  EXPECT_EQ(ours, page);
}

TEST(CdxNodeTest, InteriorEncoderRoundTrips) {
  const std::string k1 = "N038392             ", k2 = "N05                 ";
  std::vector<std::byte> page;
  EncodeInterior({{k1, 32168, 0x3400}, {k2, 7, 0x3600}}, true, kCdxNoNode, kCdxNoNode, page);
  auto node = CdxNode::Decode(page, 0x400, 20, ' ', 1 << 20);
  ASSERT_TRUE(node.ok()) << node.status().ToString();
  EXPECT_FALSE(node->leaf());
  EXPECT_EQ(node->key(0), k1);
  EXPECT_EQ(node->records[0], 32168u);
  EXPECT_EQ(node->children[1], 0x3600u);
  // Record number and child big-endian after the key.
  const unsigned char expected[] = {0x00, 0x00, 0x7d, 0xa8, 0x00, 0x00, 0x34, 0x00};
  EXPECT_EQ(std::memcmp(page.data() + 12 + 20, expected, 8), 0);
}

TEST(ExpressionTest, EvaluatesTheKeyExpressionsOfTheDataLayout) {
  const std::vector<DbfField> fields = {{"STOCK_ID", 'N', 10, 0, 0, 1},
                                        {"TANGGAL_1", 'D', 8, 0, 0, 11},
                                        {"TIPE_PRO", 'N', 1, 0, 0, 19},
                                        {"KODE_C", 'C', 6, 0, 0, 20},
                                        {"NILAI_1", 'N', 17, 2, 0, 26}};
  const std::string record = std::string(" ") + "       123" + "20240102" + "1" + "ab-1 z" +
                             "           -12.50";
  const struct {
    const char* expr;
    const char* result;
  } cases[] = {
      {"STRZERO(STOCK_ID,10)+DTOS(TANGGAL_1)", "000000012320240102"},
      {"UPPER(KODE_C)", "AB-1 Z"},
      {"STR(NILAI_1,17,2)", "           -12.50"},
      {"STRZERO(-5,4)", "-005"},
      {"STR(STOCK_ID)", "       123"},
      {"TIPE_PRO=1", "T"},
      {"TIPE_PRO=2 .OR. TIPE_PRO = 3", "F"},
      {"!DELETED() .AND. NILAI_1 < 0", "T"},
      {"KODE_C = 'ab'", "T"},
      {"KODE_C == 'ab'", "F"},
      {"LEFT(KODE_C,2)+SUBSTR(KODE_C,4,1)", "ab1"},
      {"STR(VAL(' 12.5')*2,5,1)", " 25.0"},
      {"STR(VAL('-3.25'),6,2)", " -3.25"},
      {"NILAI_1 < -12.4 .AND. NILAI_1 > -12.51", "T"},
  };
  // Keys must not depend on the process locale: run the table again under a decimal comma.
  const auto run_cases = [&] {
    for (const auto& c : cases) {
      auto e = Expression::Parse(c.expr, fields);
      ASSERT_TRUE(e.ok()) << c.expr << ": " << e.status().ToString();
      auto v = e->Evaluate(record);
      ASSERT_TRUE(v.ok()) << c.expr;
      const std::string got = v->type == 'L' ? (v->logical ? "T" : "F") : v->text;
      EXPECT_EQ(got, c.result) << c.expr;
      // The leading part of a value holds at least the characters asked for, as the value does.
      for (const std::size_t n : {std::size_t{0}, std::size_t{3}, std::size_t{10}, got.size()}) {
        auto lead = e->EvaluateLeading(record, n);
        ASSERT_TRUE(lead.ok()) << c.expr;
        EXPECT_EQ(lead->type, v->type) << c.expr;
        if (v->type != 'C') continue;
        EXPECT_GE(lead->text.size(), std::min(n, got.size())) << c.expr << " " << n;
        EXPECT_EQ(got.compare(0, lead->text.size(), lead->text), 0) << c.expr << " " << n;
      }
    }
  };
  run_cases();
  // Sought by its first part, a concatenated key evaluates only that part; "-" is no plain
  // concatenation (it moves blanks) and is evaluated whole.
  const std::pair<const char*, const char*> leading[] = {
      {"STRZERO(STOCK_ID,10)+DTOS(TANGGAL_1)", "0000000123"},
      {"KODE_C+STRZERO(STOCK_ID,10)+DTOS(TANGGAL_1)", "ab-1 z0000000123"},
      {"KODE_C-'x'", "ab-1 zx"}};
  for (const auto& [expr, want] : leading) {
    auto e = Expression::Parse(expr, fields);
    ASSERT_TRUE(e.ok()) << expr;
    EXPECT_EQ(e->EvaluateLeading(record, 10).value().text, want) << expr;
  }
  {
    kt::test_support::CommaLocale locale;
    if (locale.active()) run_cases();
  }
  for (const char* bad : {"", "NOFIELD", "UPPER(KODE_C", "KODE_C +", "FOO(1)", "1 +* 2", "'open",
                          "UPPER(STOCK_ID)", "STOCK_ID + KODE_C"}) {
    auto e = Expression::Parse(bad, fields);
    EXPECT_FALSE(e.ok()) << bad;
  }
  EXPECT_FALSE(Expression::Parse(std::string(200, '(') + "1" + std::string(200, ')'), fields).ok());
}

}  // namespace
}  // namespace kt::data
