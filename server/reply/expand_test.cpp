#include "server/reply/expand.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "server/reply/default_templates.h"

namespace kt::reply {

void PrintTo(const PassedThrough& p, std::ostream* os) {
  *os << "{kind " << static_cast<int>(p.kind) << ", at " << p.position << ", length " << p.length << "}";
}

namespace {

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s.push_back(static_cast<char>(v));
  return s;
}

TEST(ExpandTemplate, DefaultGreetingIsTheEighteenBytes) {
  EXPECT_EQ(ExpandTemplate(DefaultComConn(), {}),
            Bytes({0x1B, 0x25, 0x1B, 0x42, 0x31, 0x1B, 0x2E, 0x34, 0x43, 0x4F, 0x4E, 0x4E, 0x45, 0x43,
                   0x54, 0x45, 0x44, 0x03}));
}

// Every rule with an item "ABCDEFGH" and no error text, unless the case says otherwise.
TEST(ExpandTemplate, RulesAndEdgeCases) {
  struct Case {
    const char* rule;
    std::string tmpl;
    std::string want;
  } cases[] = {
      {"hex bytes in sequence", "{0x31}{0x03}", "\x31\x03"},
      {"capital X is not a hex form", "{0X31}", "{0X31}"},
      {"upper-case hex digits", "{0x4A}{0x4b}", "JK"},
      {"any sixth character is eaten", "{0x41)B", "AB"},
      {"hex form at the very end", "AB{0x", Bytes({'A', 'B', 0})},
      {"one digit left", "AB{0x4", Bytes({'A', 'B', 4})},
      {"non-hex digits give 0", "{0xZZ}C", Bytes({0, 'C'})},
      {"hex byte can start a placeholder", "{0x7B}esc}", "\x1B"},
      {"hex bytes then a new hex form", "{0x7B}0x41}", "A"},
      {"esc and cr everywhere", "{esc}a{cr}{esc}", "\x1B" "a\r\x1B"},
      {"placeholders are case-sensitive", "{ESC}{NamaItem}", "{ESC}{NamaItem}"},
      {"unknown placeholder stays", "{foo}", "{foo}"},
      {"no error text: errmsg empty", "[{errmsg}]", "[]"},
      {"name parts", "{namaitemall}|{namaitem}|{namaitemex1}|{namaitemex2}", "ABCDEFGH X1 X2|ABCDEFGH|X1|X2"},
      {"LEFT", "LEFT(ABCDEFGH,3)", "ABC"},
      {"left in lower case", "left(ABCDEFGH,3)", "ABC"},
      {"SUBSTR", "SUBSTR(ABCDEFGH,3)", "CDEFGH"},
      {"SUBSTR past the end", "SUBSTR(ABC,9)", ""},
      {"functions see the substituted name", "LEFT({namaitem},2)", "AB"},
      {"one level of nesting", "LEFT2(SUBSTR({namaitem},3),2)", "CD"},
      {"SUBSTR2 after SUBSTR", "SUBSTR2(LEFT({namaitem},5),4)", "DE"},
      {"leading blanks in the count", "LEFT(ABC,  2)", "AB"},
      {"fraction dropped", "LEFT(ABC,2.9)", "AB"},
      {"negative LEFT count", "LEFT(ABC,-1)", ""},
      {"zero LEFT count", "LEFT(ABC,0)", ""},
      {"count not a number", "LEFT(ABC,x)", ""},
      {"count beyond the text", "LEFT(ABC,99999999999999999999)", "ABC"},
      {"SUBSTR start zero", "SUBSTR(ABC,0)", "ABC"},
      {"SUBSTR start negative", "SUBSTR(ABC,-2)", "ABC"},
      {"missing comma stops that name", "LEFT(ABC)LEFT(DEF,1)SUBSTR(XYZ,2)", "LEFT(ABC)LEFT(DEF,1)YZ"},
      {"missing paren stops that name", "SUBSTR(ABC,2)LEFT(ABC,1", "BCLEFT(ABC,1"},
      {"first paren closes the call", "LEFT(AB,1(x)y)", "Ay)"},
      {"a call without comma before its paren stays", "LEFT(A(B)C,1)", "LEFT(A(B)C,1)"},
      {"empty first argument", "LEFT(,3)", ""},
      {"a call that a replacement completes", "xxLEFleft(T(abc,9),1)", "xxa"},
      {"price twice, same text", "{hargajual}/{hargajual}", "P1/P1"},
  };
  const ItemTexts item{"ABCDEFGH X1 X2", "ABCDEFGH", "X1", "X2"};
  for (const auto& c : cases) {
    int price_calls = 0;
    ExpandInputs in;
    in.item = &item;
    in.price_text = [&] { return "P" + std::to_string(++price_calls); };
    EXPECT_EQ(ExpandTemplate(c.tmpl, in), c.want) << c.rule;
    EXPECT_LE(price_calls, 1) << c.rule;
    // Asking where text went through as written must not change a byte.
    std::vector<PassedThrough> places;
    in.passed_through = &places;
    price_calls = 0;
    EXPECT_EQ(ExpandTemplate(c.tmpl, in), c.want) << c.rule << " (reporting)";
  }
}

// Where the template's text goes through as written, and only there.
TEST(ExpandTemplate, ReportsTextSentAsWritten) {
  using K = PassedThrough::Kind;
  struct Case {
    const char* rule;
    bool with_item;
    std::string tmpl;
    std::vector<PassedThrough> want;
  } cases[] = {
      {"defaults are clean", true, DefaultComOk(), {}},
      {"default greeting is clean", false, DefaultComConn(), {}},
      {"default failure is clean", true, DefaultComFail(), {}},
      {"unknown placeholders", true, "A{ESC}B{foo}{0X31}", {{K::kUnknownPlaceholder, 1, 5}, {K::kUnknownPlaceholder, 7, 5},
                                                            {K::kUnknownPlaceholder, 12, 6}}},
      {"item placeholder in the greeting", false, "X{namaitem}{hargajual}", {{K::kNoItem, 1, 10}, {K::kNoItem, 11, 11}}},
      {"item placeholders filled: nothing", true, "{namaitem}{hargajual}", {}},
      {"hex form without two digits", true, "ab{0xZZ}{0x4}{0x41}", {{K::kBadHexByte, 2, 6}, {K::kBadHexByte, 8, 6}}},
      {"hex form cut by the end", true, "{0x4", {{K::kBadHexByte, 0, 4}}},
      {"hex form with a wrong sixth character", true, "{0x41)B", {{K::kBadHexByte, 0, 6}}},
      {"call without paren", true, "x LEFT({namaitem},3", {{K::kOpenCall, 2, 5}}},
      {"call without comma, later one too", true, "left(AB)LEFT(C,1)", {{K::kOpenCall, 0, 5}}},
      {"unknown function", true, "[MID({namaitem},2)] RIGHT(AB,1)", {{K::kUnknownFunction, 1, 4}, {K::kUnknownFunction, 20, 6}}},
      {"parentheses in plain text are fine", true, "Harga (Rp) {namaitem}", {}},
      {"stray closing paren", true, "LEFT({namaitem},2))", {{K::kUnbalancedParen, 18, 1}}},
      {"paren never closed", true, "Total (Rp", {{K::kUnbalancedParen, 6, 1}}},
      {"positions count the template, not the expansion", true, "{esc}{namaitemall}{foo}", {{K::kUnknownPlaceholder, 18, 5}}},
      {"brace text from the item is not the template's", true, "{namaitem}", {}},
      {"nested defaults are clean", true, "LEFT2(SUBSTR({namaitem},3),2)", {}},
  };
  const ItemTexts item{"N {x} (y", "N {x} (y", "", ""};
  for (const auto& c : cases) {
    std::vector<PassedThrough> places;
    ExpandInputs in;
    if (c.with_item) in.item = &item;
    in.price_text = [] { return std::string("1 / 1 PCS"); };
    in.passed_through = &places;
    ExpandTemplate(c.tmpl, in);
    EXPECT_EQ(places, c.want) << c.rule;
    for (const auto& place : places) {
      EXPECT_LE(place.position + place.length, c.tmpl.size()) << c.rule;
      EXPECT_FALSE(DescribePassedThrough(place, c.tmpl).empty());
    }
  }
}

TEST(ExpandTemplate, DescribesThePlaceInWords) {
  const std::string tmpl = "A{foo}B)";
  std::vector<PassedThrough> places;
  ExpandInputs in;
  in.passed_through = &places;
  ExpandTemplate(tmpl, in);
  ASSERT_EQ(places.size(), 2u);
  EXPECT_EQ(DescribePassedThrough(places[0], tmpl), "\"{foo}\" is no placeholder: sent as written");
  EXPECT_EQ(DescribePassedThrough(places[1], tmpl), "\")\" closes nothing: sent as written");
}

TEST(ExpandTemplate, WithoutAnItemThePlaceholdersStayAndThePriceIsNotBuilt) {
  bool built = false;
  ExpandInputs in;
  in.price_text = [&] {
    built = true;
    return std::string("P");
  };
  EXPECT_EQ(ExpandTemplate("{namaitem}{hargajual}{namaitemall}{errmsg}", in),
            "{namaitem}{hargajual}{namaitemall}");
  EXPECT_FALSE(built);
}

TEST(ExpandTemplate, SubstitutedValuesAreNotProtected) {
  struct Case {
    const char* rule;
    std::string name, tmpl, want;
  } cases[] = {
      {"a comma in the name splits the call", "A,BCD", "LEFT({namaitem},3)", ""},
      {"a paren in the name closes the call", "A,1)BC", "LEFT({namaitem},2)", "ABC,2)"},
      {"a function in the name runs", "LEFT(XYZ,1)", "{namaitem}", "X"},
      // Each step works on what the steps before it made.
      {"a later placeholder in the name is replaced", "{hargajual}!", "{namaitem}", "P!"},
      {"an earlier placeholder in the name stays", "{errmsg}", "{namaitem}", "{errmsg}"},
      {"the name completes a placeholder the template began", "hargajual", "{{namaitem}}", "P"},
      {"an empty error text joins a placeholder", "N", "{namai{errmsg}tem}", "N"},
      {"a brace alone in the name", "{", "{namaitem}namaitem}", "{namaitem}"},
  };
  for (const auto& c : cases) {
    const ItemTexts item{c.name, c.name, "", ""};
    ExpandInputs in;
    in.item = &item;
    in.price_text = [] { return std::string("P"); };
    EXPECT_EQ(ExpandTemplate(c.tmpl, in), c.want) << c.rule;
    std::vector<PassedThrough> places;
    in.passed_through = &places;
    EXPECT_EQ(ExpandTemplate(c.tmpl, in), c.want) << c.rule << " (reporting)";
  }
}

TEST(ExpandTemplate, DefaultScanOkCutsTheNameIntoThreeLines) {
  const std::string name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456";  // 33 characters
  ASSERT_EQ(name.size(), 33u);
  const ItemTexts item{name, name, "", ""};
  ExpandInputs in;
  in.item = &item;
  in.price_text = [] { return std::string("12.500 / 1 PCS"); };
  const std::string want = "\x1B%\x1B" "B0"
                           "\x1B'00\x1B.:ABCDEFGHIJKLMNOPQR\x03"
                           "\x1B'01\x1B.:STUVWXYZ0123456\x03"
                           "\x1B'02\x1B.:\x03"
                           "\x1B" "B1\x1B.712.500 / 1 PCS\x03";
  EXPECT_EQ(ExpandTemplate(DefaultComOk(), in), want);
}

TEST(ExpandTemplate, DefaultScanFailWrapsTheErrorText) {
  const std::string error = "8991234567890, Kode tidak ketemu !";
  const ItemTexts empty_item{};
  ExpandInputs in;
  in.item = &empty_item;
  in.error_text = error;
  EXPECT_EQ(ExpandTemplate(DefaultComFail(), in), "\x1B%\x1B" "B0" "8991234567890, Kode \rtidak ketemu !\r");
}

TEST(WrapErrorText, LinesOfTwentyEndedByCr) {
  struct Case {
    const char* rule;
    std::string text, want;
  } cases[] = {
      {"45 characters without blanks", std::string(45, 'E'),
       std::string(20, 'E') + "\r" + std::string(20, 'E') + "\r" + std::string(5, 'E') + "\r"},
      {"three words of eight", "AAAAAAAA BBBBBBBB CCCCCCCC", "AAAAAAAA BBBBBBBB \rCCCCCCCC\r"},
      {"trailing blanks removed first", "SHORT   ", "SHORT\r"},
      {"empty", "", ""},
      {"only blanks, tabs and line ends", " \t\r\n ", ""},
      {"long word then a short one", "ABCDEFGHIJKLMNOPQRSTUVWXY Z", "ABCDEFGHIJKLMNOPQRST\rUVWXY Z\r"},
      {"exactly twenty", std::string(20, 'x'), std::string(20, 'x') + "\r"},
      {"word ending at column twenty keeps its blank", std::string(19, 'a') + " b", std::string(19, 'a') + " \rb\r"},
  };
  for (const auto& c : cases) EXPECT_EQ(WrapErrorText(c.text), c.want) << c.rule;
}

TEST(WrapErrorText, NoLineIsLongerThanTwenty) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += std::string(static_cast<std::size_t>(i % 23 + 1), 'w') + (i % 5 ? " " : "  ");
  const std::string out = WrapErrorText(text);
  std::size_t start = 0, letters = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\r') {
      EXPECT_LE(i - start, 20u);
      start = i + 1;
    } else if (out[i] == 'w') {
      ++letters;
    }
  }
  std::size_t want_letters = 0;
  for (char c : text) want_letters += c == 'w';
  EXPECT_EQ(letters, want_letters);  // nothing lost
}

}  // namespace
}  // namespace kt::reply
