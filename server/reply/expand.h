// Expansion of a reply command template into the byte stream sent to a terminal.
//
// The steps run in this order over the whole text, each on the result of the one before:
//   1. "{0x" + two hex digits + one more character -> that byte (repeated from the start);
//   2. "{esc}" -> 0x1B;  3. "{cr}" -> 0x0D;
//   4. "{errmsg}" -> the error text wrapped into display lines of 20 (empty without one);
//   5. with an item only: "{namaitemall}", "{namaitem}", "{namaitemex1}", "{namaitemex2}", then
//      "{hargajual}" (the price text is built once, and only when the placeholder is there);
//   6.-9. the functions LEFT(, SUBSTR(, LEFT2(, SUBSTR2( (names in any case), each pass
//      repeated until no call of that name is left or a call lacks its ")" or ",".
// Placeholders are case-sensitive; anything unknown is sent as written.
//
// Defined edge cases: "{0x" near the end of the text replaces what is left of the six
// characters by one byte and never reads past the end; the byte is the value of the hex digits
// that follow (none: 0x00). A function's count is the integer read after the "," (leading blanks
// allowed, an optional sign, digits; a fraction is dropped; no number gives 0; huge values are
// capped). LEFT with a count below 1 gives an empty text; SUBSTR with a start below 1 gives the
// whole first argument; a start past its end gives an empty text.
//
// Pure function: safe to call from many threads at once.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kt::reply {

// A place where expansion sent template text as written (or, for a malformed hex form, ate it),
// which is seldom what the writer meant. Positions are byte offsets into the template.
struct PassedThrough {
  enum class Kind {
    kUnknownPlaceholder,  // "{...}" that names no placeholder ("{ESC}", "{0X31}", "{nama}")
    kNoItem,              // an item placeholder in a reply without an item (the greeting)
    kBadHexByte,          // "{0x" not followed by two hex digits and "}": still one byte
    kOpenCall,            // a function without ")" or "," after it: it and later calls stay
    kUnknownFunction,     // NAME(..,..) where NAME is no function
    kUnbalancedParen,     // a ")" without "(", or a "(" never closed
  };
  Kind kind;
  std::size_t position;
  std::size_t length;

  friend bool operator==(const PassedThrough&, const PassedThrough&) = default;
};

// One line for the operator, naming the template text concerned.
std::string DescribePassedThrough(const PassedThrough& place, std::string_view tmpl);

// The item's name texts, as the lookup gives them (trimmed).
struct ItemTexts {
  std::string CNAMAALL;
  std::string CNAMA;
  std::string CNAMAEX1;
  std::string CNAMAEX2;
};

struct ExpandInputs {
  // None for the greeting: the item placeholders then stay as written.
  const ItemTexts* item = nullptr;
  // Builds the price text for "{hargajual}"; called at most once, only with an item.
  // An empty function gives an empty price text.
  std::function<std::string()> price_text;
  // The lookup's error text for "{errmsg}"; none makes it empty.
  std::optional<std::string_view> error_text;
  // When set, receives the places where template text went through as written, in template
  // order. Costs a little bookkeeping; the sessions leave it unset.
  std::vector<PassedThrough>* passed_through = nullptr;
};

// Expands `tmpl` into bytes (any byte value may occur).
std::string ExpandTemplate(std::string_view tmpl, const ExpandInputs& inputs);

// The error text as display lines of at most 20 characters, each followed by 0x0D: words (with
// their trailing blank) are gathered while they fit; a word longer than a line is cut at 20.
std::string WrapErrorText(std::string_view error_text);

}  // namespace kt::reply
