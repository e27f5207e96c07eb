#include "server/reply/expand.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <optional>

#include "common/platform/threads/thread_owned.h"
#include "common/text/text.h"

namespace kt::reply {
namespace {

constexpr std::size_t kDisplayLine = 20;
constexpr long long kCountCap = 1'000'000'000;

// The text being expanded. When asked to, it also keeps for every byte where in the template it
// came from: the offset of a byte written literally, or, with kMade set, the offset of the
// placeholder, hex form or call that produced it. Only literal bytes can be text sent as written.
constexpr uint32_t kMade = 0x8000'0000u;

class Text {
 public:
  Text(std::string tmpl, bool track) : s_(std::move(tmpl)), track_(track) {
    if (track_) {
      from_.resize(s_.size());
      std::iota(from_.begin(), from_.end(), 0u);
    }
  }

  const std::string& str() const { return s_; }
  std::string Take() { return std::move(s_); }
  bool tracking() const { return track_; }
  uint32_t from(std::size_t i) const { return from_[i]; }
  bool Literal(std::size_t i) const { return (from_[i] & kMade) == 0; }
  // True when bytes [at, at + n) are literal and consecutive in the template.
  bool LiteralRun(std::size_t at, std::size_t n) const {
    for (std::size_t i = at; i < at + n; ++i)
      if (!Literal(i) || from_[i] != from_[at] + (i - at)) return false;
    return true;
  }

  // Replaces every occurrence of `what`; the new bytes are made by the occurrence.
  void ReplaceAll(std::string_view what, std::string_view with) {
    std::string out;
    std::vector<uint32_t> from;
    std::size_t start = 0;
    for (std::size_t at; (at = s_.find(what, start)) != std::string::npos; start = at + what.size()) {
      out.append(s_, start, at - start);
      out.append(with);
      if (track_) {
        from.insert(from.end(), from_.begin() + static_cast<std::ptrdiff_t>(start),
                    from_.begin() + static_cast<std::ptrdiff_t>(at));
        from.insert(from.end(), with.size(), from_[at] | kMade);
      }
    }
    if (start == 0) return;  // nothing found
    out.append(s_, start, std::string::npos);
    s_ = std::move(out);
    if (track_) {
      from.insert(from.end(), from_.begin() + static_cast<std::ptrdiff_t>(start), from_.end());
      from_ = std::move(from);
    }
  }

  // Replaces [at, at + n) by one made byte.
  void ReplaceByByte(std::size_t at, std::size_t n, char byte) {
    s_.replace(at, n, 1, byte);
    if (track_) {
      const uint32_t origin = from_[at] | kMade;
      from_.erase(from_.begin() + static_cast<std::ptrdiff_t>(at), from_.begin() + static_cast<std::ptrdiff_t>(at + n));
      from_.insert(from_.begin() + static_cast<std::ptrdiff_t>(at), origin);
    }
  }

  // Replaces [at, at + n) by its own bytes [keep, keep + keep_n), which keep their origins.
  // REQUIRES: the kept bytes lie within [at, at + n).
  void ReplaceByPart(std::size_t at, std::size_t n, std::size_t keep, std::size_t keep_n) {
    std::memmove(s_.data() + at, s_.data() + keep, keep_n);  // in place: no copy of the part
    s_.erase(at + keep_n, n - keep_n);
    if (track_) {
      std::vector<uint32_t> kept(from_.begin() + static_cast<std::ptrdiff_t>(keep),
                                 from_.begin() + static_cast<std::ptrdiff_t>(keep + keep_n));
      from_.erase(from_.begin() + static_cast<std::ptrdiff_t>(at), from_.begin() + static_cast<std::ptrdiff_t>(at + n));
      from_.insert(from_.begin() + static_cast<std::ptrdiff_t>(at), kept.begin(), kept.end());
    }
  }

 private:
  std::string s_;
  std::vector<uint32_t> from_;
  bool track_;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

using Places = std::vector<PassedThrough>;

void Note(Places* places, PassedThrough::Kind kind, std::size_t position, std::size_t length) {
  if (places) places->push_back({kind, position, length});
}

// Step 1. Each replacement shortens the text, so the loop ends.
void ExpandHexBytes(Text& text, Places* places) {
  for (std::size_t p; (p = text.str().find("{0x")) != std::string::npos;) {
    const std::string& s = text.str();
    int value = 0;
    for (std::size_t i = p + 3; i < std::min(p + 5, s.size()); ++i) {
      const int d = HexDigit(s[i]);
      if (d < 0) break;
      value = value * 16 + d;
    }
    const std::size_t len = std::min<std::size_t>(6, s.size() - p);
    if (text.tracking() && text.Literal(p)) {
      const bool well_formed = len == 6 && HexDigit(s[p + 3]) >= 0 && HexDigit(s[p + 4]) >= 0 && s[p + 5] == '}';
      if (!well_formed) Note(places, PassedThrough::Kind::kBadHexByte, text.from(p), text.LiteralRun(p, len) ? len : 3);
    }
    text.ReplaceByByte(p, len, static_cast<char>(static_cast<uint8_t>(value)));
  }
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

// The part of the first argument a call yields: offset and length within it.
std::pair<std::size_t, std::size_t> Apply(Fn fn, std::size_t arg_size, long long n) {
  if (fn == Fn::kLeft) {
    return {0, static_cast<std::size_t>(std::clamp<long long>(n, 0, static_cast<long long>(arg_size)))};
  }
  if (n < 1) return {0, arg_size};
  if (static_cast<std::size_t>(n) > arg_size) return {0, 0};
  return {static_cast<std::size_t>(n - 1), arg_size - static_cast<std::size_t>(n - 1)};
}

// The first place at or after `from` where `name` (upper case) stands in `s`, in any letter case.
std::size_t FindIgnoringCase(std::string_view s, std::string_view name, std::size_t from) {
  if (name.empty() || s.size() < name.size()) return std::string_view::npos;
  const char first = name[0];
  const char first_lower = static_cast<char>(first >= 'A' && first <= 'Z' ? first - 'A' + 'a' : first);
  const std::size_t last = s.size() - name.size();  // the last place a match can start
  // Candidates are the places of the first letter in either case, each case found by memchr.
  std::size_t upper = s.find(first, from), lower = s.find(first_lower, from);
  for (;;) {
    const std::size_t i = std::min(upper, lower);
    if (i == std::string_view::npos || i > last) return std::string_view::npos;
    std::size_t k = 1;
    while (k < name.size() && text::UpperAscii(s[i + k]) == name[k]) ++k;
    if (k == name.size()) return i;
    if (i == upper) upper = s.find(first, i + 1);
    if (i == lower) lower = s.find(first_lower, i + 1);
  }
}

// Steps 6-9: one function name. A call is strictly longer than its replacement, so the loop
// ends; it also stops at the first call without ")" or ",", which then stays as written.
void ExpandFunction(Text& text, std::string_view name, Fn fn, Places* places) {
  // The text before a replaced call is unchanged and held no call; a call may begin in its last
  // characters and end in the replacement, so the next search starts that far back.
  std::size_t from = 0;
  for (;;) {
    const std::string& s = text.str();
    const std::size_t p = FindIgnoringCase(s, name, from);
    if (p == std::string::npos) return;
    from = p >= name.size() - 1 ? p - (name.size() - 1) : 0;
    const std::size_t open = p + name.size();
    const std::size_t q = s.find(')', open);
    const std::size_t c = q == std::string::npos ? q : std::string_view(s).substr(open, q - open).find(',');
    if (c == std::string_view::npos) {
      if (text.tracking() && text.Literal(p)) {
        Note(places, PassedThrough::Kind::kOpenCall, text.from(p), text.LiteralRun(p, name.size()) ? name.size() : 1);
      }
      return;
    }
    const std::string_view args = std::string_view(s).substr(open, q - open);
    const auto [offset, length] = Apply(fn, c, ReadCount(args.substr(c + 1)));
    text.ReplaceByPart(p, q + 1 - p, open + offset, length);
  }
}

bool IsNameChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Step 5's placeholders, in the order they are replaced.
constexpr std::array<std::string_view, 5> kItemPlaceholders = {"{namaitemall}", "{namaitem}", "{namaitemex1}",
                                                               "{namaitemex2}", "{hargajual}"};
constexpr std::array<std::string_view, 4> kFunctionNames = {"LEFT2", "SUBSTR2", "LEFT", "SUBSTR"};

// After the last step: brace words, parentheses and call-shaped names that the template wrote
// and that are still there. Calls that stopped their pass were noted by ExpandFunction.
void FindLeftovers(const Text& text, Places& places) {
  const std::string& s = text.str();
  auto noted = [&](uint32_t pos) {
    return std::any_of(places.begin(), places.end(), [&](const PassedThrough& p) {
      return p.kind == PassedThrough::Kind::kOpenCall && pos >= p.position && pos < p.position + p.length;
    });
  };
  std::vector<std::size_t> open;  // literal "(" not yet closed
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (!text.Literal(i)) continue;
    if (s[i] == '{') {
      std::size_t end = i + 1;
      while (end < s.size() && end - i <= 24 && IsNameChar(s[end])) ++end;
      if (end < s.size() && end > i + 1 && s[end] == '}' && text.LiteralRun(i, end + 1 - i)) {
        const std::string_view word = std::string_view(s).substr(i, end + 1 - i);
        const bool item = std::find(kItemPlaceholders.begin(), kItemPlaceholders.end(), word) != kItemPlaceholders.end();
        places.push_back({item ? PassedThrough::Kind::kNoItem : PassedThrough::Kind::kUnknownPlaceholder,
                          text.from(i), word.size()});
      }
    } else if (s[i] == '(') {
      open.push_back(i);
    } else if (s[i] == ')') {
      if (open.empty()) {
        places.push_back({PassedThrough::Kind::kUnbalancedParen, text.from(i), 1});
        continue;
      }
      // A closed call: unknown when a name stands before it and a "," between the parentheses.
      const std::size_t o = open.back();
      open.pop_back();
      std::size_t start = o;
      while (start > 0 && IsNameChar(s[start - 1]) && text.LiteralRun(start - 1, o + 1 - (start - 1))) --start;
      while (start < o && !IsLetter(s[start])) ++start;
      const std::string upper = text::UpperAscii(std::string_view(s).substr(start, o - start));
      const bool known = std::find(kFunctionNames.begin(), kFunctionNames.end(), upper) != kFunctionNames.end();
      if (start < o && !known && s.find(',', o) < i && !noted(text.from(o))) {
        places.push_back({PassedThrough::Kind::kUnknownFunction, text.from(start), o + 1 - start});
      }
    }
  }
  for (const std::size_t o : open) {
    if (!noted(text.from(o))) places.push_back({PassedThrough::Kind::kUnbalancedParen, text.from(o), 1});
  }
}

}  // namespace

std::string WrapErrorText(std::string_view error_text) {
  std::string_view rest = error_text;
  rest = text::TrimRight(rest);
  std::string out;
  while (!text::IsBlank(rest, text::kWhitespace)) {
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

namespace {

// Steps 1-3, which depend on the template alone.
void ExpandTemplateBytes(Text& text, Places* places) {
  ExpandHexBytes(text, places);
  text.ReplaceAll("{esc}", "\x1B");
  text.ReplaceAll("{cr}", "\x0D");
}

// Steps 1-3 of `tmpl`, kept per thread for the last few templates: a session expands the same
// two or three templates for every scan. The text stays valid until this thread's next call.
const std::string& TemplateBytes(std::string_view tmpl) {
  struct Kept {
    std::string tmpl, bytes;
  };
  constexpr std::size_t kKept = 4;
  struct Cache {
    std::array<Kept, kKept> kept;
    std::size_t next = 0;
  };
  static kt::platform::ThreadOwned<Cache> caches;
  Cache& cache = caches.Get();
  for (const Kept& k : cache.kept) {
    if (!k.tmpl.empty() && k.tmpl == tmpl) return k.bytes;
  }
  Text text(std::string(tmpl), /*track=*/false);
  ExpandTemplateBytes(text, nullptr);
  Kept& k = cache.kept[cache.next];
  cache.next = (cache.next + 1) % kKept;
  k.tmpl.assign(tmpl);
  k.bytes = text.Take();
  return k.bytes;
}

// What steps 4 and 5 put in; the price text is built on first use, at most once.
class Values {
 public:
  explicit Values(const ExpandInputs& in)
      : in_(in), error_(in.error_text ? WrapErrorText(*in.error_text) : std::string()) {}

  const std::string& error() const { return error_; }
  const ItemTexts* item() const { return in_.item; }
  // The value of kItemPlaceholders[i]. REQUIRES: item().
  const std::string& ItemValue(std::size_t i) {
    switch (i) {
      case 0: return in_.item->CNAMAALL;
      case 1: return in_.item->CNAMA;
      case 2: return in_.item->CNAMAEX1;
      case 3: return in_.item->CNAMAEX2;
      default:
        if (!price_) price_ = in_.price_text ? in_.price_text() : std::string();
        return *price_;
    }
  }

 private:
  const ExpandInputs& in_;
  const std::string error_;
  std::optional<std::string> price_;
};

// Steps 4 and 5, each over the whole text in turn. A value is asked for only when its
// placeholder is there, so the price is built only then.
void SubstituteStepByStep(Text& text, Values& values) {
  text.ReplaceAll("{errmsg}", values.error());
  if (values.item() == nullptr) return;
  for (std::size_t i = 0; i < kItemPlaceholders.size(); ++i) {
    if (text.str().find(kItemPlaceholders[i]) != std::string::npos) {
      text.ReplaceAll(kItemPlaceholders[i], values.ItemValue(i));
    }
  }
}

// Steps 4 and 5 in one pass into `out`, for the usual case where that gives what the steps give
// one after the other: every "{" of `s` opens a placeholder that is replaced, and no value put in
// holds a "{". Then no step can meet a placeholder that an earlier one made or broke up, so each
// replaces just the placeholders the template wrote. False otherwise (`out` is then undefined).
bool SubstituteInOnePass(std::string_view s, Values& values, std::string& out) {
  out.clear();
  out.reserve(s.size() + 64);
  std::size_t start = 0;
  for (std::size_t at; (at = s.find('{', start)) != std::string_view::npos;) {
    out.append(s.substr(start, at - start));
    const std::string_view rest = s.substr(at);
    const std::string* value = nullptr;
    std::size_t length = 0;
    if (rest.starts_with("{errmsg}")) {
      value = &values.error();
      length = std::string_view("{errmsg}").size();
    } else if (values.item() != nullptr) {
      for (std::size_t i = 0; i < kItemPlaceholders.size() && value == nullptr; ++i) {
        if (rest.starts_with(kItemPlaceholders[i])) {
          value = &values.ItemValue(i);
          length = kItemPlaceholders[i].size();
        }
      }
    }
    if (value == nullptr || value->find('{') != std::string::npos) return false;
    out.append(*value);
    start = at + length;
  }
  out.append(s.substr(start));
  return true;
}

// Steps 1-5: the text the functions are then expanded in.
Text Substituted(std::string_view tmpl, Values& values, Places* places) {
  if (places != nullptr) {
    Text text(std::string(tmpl), /*track=*/true);
    ExpandTemplateBytes(text, places);
    SubstituteStepByStep(text, values);
    return text;
  }
  const std::string& bytes = TemplateBytes(tmpl);
  std::string substituted;
  if (SubstituteInOnePass(bytes, values, substituted)) return Text(std::move(substituted), /*track=*/false);
  Text text(bytes, /*track=*/false);
  SubstituteStepByStep(text, values);
  return text;
}

}  // namespace

std::string ExpandTemplate(std::string_view tmpl, const ExpandInputs& in) {
  Places* places = in.passed_through;
  if (places) places->clear();
  Values values(in);
  Text text = Substituted(tmpl, values, places);
  ExpandFunction(text, "LEFT(", Fn::kLeft, places);
  ExpandFunction(text, "SUBSTR(", Fn::kSubstr, places);
  ExpandFunction(text, "LEFT2(", Fn::kLeft, places);
  ExpandFunction(text, "SUBSTR2(", Fn::kSubstr, places);
  if (places) {
    FindLeftovers(text, *places);
    std::stable_sort(places->begin(), places->end(),
                     [](const PassedThrough& a, const PassedThrough& b) { return a.position < b.position; });
  }
  return text.Take();
}

std::string DescribePassedThrough(const PassedThrough& place, std::string_view tmpl) {
  const std::string what = "\"" + std::string(tmpl.substr(std::min(place.position, tmpl.size()), place.length)) + "\"";
  switch (place.kind) {
    case PassedThrough::Kind::kUnknownPlaceholder:
      return what + " is no placeholder: sent as written";
    case PassedThrough::Kind::kNoItem:
      return what + " has no item in this reply: sent as written";
    case PassedThrough::Kind::kBadHexByte:
      return what + " lacks two hex digits and \"}\": sent as one byte";
    case PassedThrough::Kind::kOpenCall:
      return what + " has no \",\" or \")\" after it: it and later calls of it sent as written";
    case PassedThrough::Kind::kUnknownFunction:
      return what + " is no function: sent as written";
    case PassedThrough::Kind::kUnbalancedParen:
      return what + (what == "\")\"" ? " closes nothing" : " is never closed") +
             ": sent as written";
  }
  return what;
}

}  // namespace kt::reply
