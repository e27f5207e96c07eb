#include "server/reply/expand.h"

#include <algorithm>
#include <cstdint>

namespace kt::reply {
namespace {

constexpr std::size_t kDisplayLine = 20;
constexpr long long kCountCap = 1'000'000'000;

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
  std::string out;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(what, from)) != std::string::npos; from = at + what.size()) {
    out.append(text, from, at - from);
    out.append(with);
  }
  if (from == 0) return;  // nothing found
  out.append(text, from, std::string::npos);
  text = std::move(out);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Step 1. Each replacement shortens the text, so the loop ends.
void ExpandHexBytes(std::string& text) {
  for (std::size_t p; (p = text.find("{0x")) != std::string::npos;) {
    int value = 0;
    for (std::size_t i = p + 3; i < std::min(p + 5, text.size()); ++i) {
      const int d = HexDigit(text[i]);
      if (d < 0) break;
      value = value * 16 + d;
    }
    const std::size_t len = std::min<std::size_t>(6, text.size() - p);
    text.replace(p, len, 1, static_cast<char>(static_cast<uint8_t>(value)));
  }
}

std::string UpperAscii(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

// Leading blanks, optional sign, digits; stops at anything else. Fraction dropped, capped.
long long ReadCount(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = std::min(kCountCap, v * 10 + (s[i] - '0'));
  return negative ? -v : v;
}

enum class Fn { kLeft, kSubstr };

std::string Apply(Fn fn, std::string_view arg, long long n) {
  if (fn == Fn::kLeft) {
    const auto take = static_cast<std::size_t>(std::clamp<long long>(n, 0, static_cast<long long>(arg.size())));
    return std::string(arg.substr(0, take));
  }
  if (n < 1) return std::string(arg);
  if (static_cast<std::size_t>(n) > arg.size()) return {};
  return std::string(arg.substr(static_cast<std::size_t>(n - 1)));
}

// Steps 6-9: one function name. A call is strictly longer than its replacement, so the loop
// ends; it also stops at the first call without ")" or ",".
void ExpandFunction(std::string& text, std::string_view name, Fn fn) {
  for (;;) {
    const std::size_t p = UpperAscii(text).find(name);
    if (p == std::string::npos) return;
    const std::size_t open = p + name.size();
    const std::size_t q = text.find(')', open);
    if (q == std::string::npos) return;
    const std::string_view args = std::string_view(text).substr(open, q - open);
    const std::size_t c = args.find(',');
    if (c == std::string_view::npos) return;
    std::string value = Apply(fn, args.substr(0, c), ReadCount(args.substr(c + 1)));
    text.replace(p, q + 1 - p, value);
  }
}

bool IsEmptyRest(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string_view::npos; }

}  // namespace

std::string WrapErrorText(std::string_view error_text) {
  std::string_view rest = error_text;
  while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
  std::string out;
  while (!IsEmptyRest(rest)) {
    std::string line;
    for (;;) {
      const std::size_t blank = rest.find(' ');
      if (blank == std::string_view::npos || line.size() >= kDisplayLine) break;
      const std::size_t p = blank + 1;  // the word and its blank
      if (line.size() + p > kDisplayLine) break;
      line.append(rest.substr(0, p));
      rest.remove_prefix(p);
    }
    if (line.empty()) {
      const std::size_t take = std::min(rest.size(), kDisplayLine);
      line.append(rest.substr(0, take));
      rest.remove_prefix(take);
    } else if (rest.find(' ') == std::string_view::npos && line.size() + rest.size() <= kDisplayLine) {
      line.append(rest);
      rest = {};
    }
    out += line;
    out += '\x0D';
  }
  return out;
}

std::string ExpandTemplate(std::string_view tmpl, const ExpandInputs& in) {
  std::string text(tmpl);
  ExpandHexBytes(text);
  ReplaceAll(text, "{esc}", "\x1B");
  ReplaceAll(text, "{cr}", "\x0D");
  ReplaceAll(text, "{errmsg}", in.error_text ? WrapErrorText(*in.error_text) : std::string());
  if (in.item) {
    ReplaceAll(text, "{namaitemall}", in.item->CNAMAALL);
    ReplaceAll(text, "{namaitem}", in.item->CNAMA);
    ReplaceAll(text, "{namaitemex1}", in.item->CNAMAEX1);
    ReplaceAll(text, "{namaitemex2}", in.item->CNAMAEX2);
    if (text.find("{hargajual}") != std::string::npos)
      ReplaceAll(text, "{hargajual}", in.price_text ? in.price_text() : std::string());
  }
  ExpandFunction(text, "LEFT(", Fn::kLeft);
  ExpandFunction(text, "SUBSTR(", Fn::kSubstr);
  ExpandFunction(text, "LEFT2(", Fn::kLeft);
  ExpandFunction(text, "SUBSTR2(", Fn::kSubstr);
  return text;
}

}  // namespace kt::reply
