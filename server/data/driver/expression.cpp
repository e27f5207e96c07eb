#include "server/data/driver/expression.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/text/text.h"
#include "server/data/driver/field_codec.h"

namespace kt::data {

namespace {

constexpr int kMaxDepth = 64;  // nesting limit: hostile expressions cannot exhaust the stack

enum class Tok { kEnd, kIdent, kNumber, kString, kTrue, kFalse, kAnd, kOr, kNot, kOp, kLParen,
                 kRParen, kComma };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;  // identifier (upper case), operator, literal text
  double number = 0;
};

Result<std::vector<Token>> Tokenize(std::string_view s) {
  std::vector<Token> out;
  std::size_t i = 0;
  auto err = [&](const std::string& what) {
    return Status::InvalidArgument("expression \"" + std::string(s) + "\": " + what +
                                   " at position " + std::to_string(i + 1));
  };
  while (i < s.size()) {
    const char c = s[i];
    if (c == ' ' || c == '\t') { ++i; continue; }
    Token t;
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t j = i;
      while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_')) ++j;
      t.kind = Tok::kIdent;
      t.text = text::UpperAscii(s.substr(i, j - i));
      i = j;
      // An alias prefix "ALIAS->FIELD" names a field of this table.
      if (i + 1 < s.size() && s[i] == '-' && s[i + 1] == '>') {
        i += 2;
        continue;
      }
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      std::size_t j = i;
      while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
      t.kind = Tok::kNumber;
      t.text = std::string(s.substr(i, j - i));
      // from_chars, not strtod: the result must not depend on the process locale.
      const char* end = t.text.data() + t.text.size();
      const auto [ptr, ec] = std::from_chars(t.text.data(), end, t.number);
      if (ec != std::errc() || ptr != end) return err("bad number");
      i = j;
    } else if (c == '"' || c == '\'' || c == '[') {
      const char close = c == '[' ? ']' : c;
      const std::size_t j = s.find(close, i + 1);
      if (j == std::string_view::npos) return err("unterminated string");
      t.kind = Tok::kString;
      t.text = std::string(s.substr(i + 1, j - i - 1));
      i = j + 1;
    } else if (c == '.') {
      const std::size_t j = s.find('.', i + 1);
      if (j == std::string_view::npos) return err("lone '.'");
      const std::string word = text::UpperAscii(s.substr(i + 1, j - i - 1));
      if (word == "T" || word == "Y") t.kind = Tok::kTrue;
      else if (word == "F" || word == "N") t.kind = Tok::kFalse;
      else if (word == "AND") t.kind = Tok::kAnd;
      else if (word == "OR") t.kind = Tok::kOr;
      else if (word == "NOT") t.kind = Tok::kNot;
      else return err("unknown ." + word + ".");
      i = j + 1;
    } else if (c == '(') { t.kind = Tok::kLParen; ++i; }
    else if (c == ')') { t.kind = Tok::kRParen; ++i; }
    else if (c == ',') { t.kind = Tok::kComma; ++i; }
    else {
      static constexpr std::string_view kTwo[] = {"==", "<>", "!=", "<=", ">="};
      t.kind = Tok::kOp;
      bool two = false;
      for (std::string_view op : kTwo) {
        if (s.substr(i, 2) == op) { t.text = std::string(op); i += 2; two = true; break; }
      }
      if (!two) {
        if (std::string_view("+-*/=<>#!").find(c) == std::string_view::npos) {
          return err(std::string("unexpected character '") + c + "'");
        }
        if (c == '!') t.kind = Tok::kNot;
        t.text = std::string(1, c);
        ++i;
      }
    }
    out.push_back(std::move(t));
  }
  out.push_back(Token{});
  return out;
}

}  // namespace

struct Expression::Node {
  enum class Kind { kField, kLiteral, kCall, kBinary, kNot, kNegate };
  Kind kind = Kind::kLiteral;
  DbfField field;      // kField
  Value literal;       // kLiteral
  std::string name;    // kCall function name, kBinary operator
  std::vector<std::unique_ptr<Node>> args;
};

namespace {

using Node = Expression::Node;

class Parser {
 public:
  Parser(std::string_view text, std::vector<Token> tokens, const std::vector<DbfField>& fields)
      : text_(text), tokens_(std::move(tokens)), fields_(fields) {}

  Result<std::unique_ptr<Node>> ParseAll() {
    KT_ASSIGN_OR_RETURN(auto node, ParseOr(0));
    if (Peek().kind != Tok::kEnd) return Error("unexpected text after the expression");
    return node;
  }

 private:
  const Token& Peek() const { return tokens_[pos_]; }
  Token Next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
  Status Error(const std::string& what) const {
    return Status::InvalidArgument("expression \"" + std::string(text_) + "\": " + what);
  }
  bool IsOp(std::string_view op) const { return Peek().kind == Tok::kOp && Peek().text == op; }

  static std::unique_ptr<Node> Binary(std::string op, std::unique_ptr<Node> l, std::unique_ptr<Node> r) {
    auto n = std::make_unique<Node>();
    n->kind = Node::Kind::kBinary;
    n->name = std::move(op);
    n->args.push_back(std::move(l));
    n->args.push_back(std::move(r));
    return n;
  }

  Result<std::unique_ptr<Node>> ParseOr(int depth) {
    if (depth > kMaxDepth) return Error("nested too deeply");
    KT_ASSIGN_OR_RETURN(auto left, ParseAnd(depth));
    while (Peek().kind == Tok::kOr) {
      Next();
      KT_ASSIGN_OR_RETURN(auto right, ParseAnd(depth));
      left = Binary(".OR.", std::move(left), std::move(right));
    }
    return left;
  }
  Result<std::unique_ptr<Node>> ParseAnd(int depth) {
    KT_ASSIGN_OR_RETURN(auto left, ParseNot(depth));
    while (Peek().kind == Tok::kAnd) {
      Next();
      KT_ASSIGN_OR_RETURN(auto right, ParseNot(depth));
      left = Binary(".AND.", std::move(left), std::move(right));
    }
    return left;
  }
  Result<std::unique_ptr<Node>> ParseNot(int depth) {
    if (Peek().kind == Tok::kNot) {
      if (depth > kMaxDepth) return Error("nested too deeply");
      Next();
      KT_ASSIGN_OR_RETURN(auto inner, ParseNot(depth + 1));
      auto n = std::make_unique<Node>();
      n->kind = Node::Kind::kNot;
      n->args.push_back(std::move(inner));
      return n;
    }
    return ParseCompare(depth);
  }
  Result<std::unique_ptr<Node>> ParseCompare(int depth) {
    KT_ASSIGN_OR_RETURN(auto left, ParseSum(depth));
    static constexpr std::string_view kOps[] = {"=", "==", "<>", "#", "!=", "<", "<=", ">", ">="};
    for (std::string_view op : kOps) {
      if (IsOp(op)) {
        Next();
        KT_ASSIGN_OR_RETURN(auto right, ParseSum(depth));
        return Binary(std::string(op == "#" || op == "!=" ? "<>" : op), std::move(left),
                      std::move(right));
      }
    }
    return left;
  }
  Result<std::unique_ptr<Node>> ParseSum(int depth) {
    KT_ASSIGN_OR_RETURN(auto left, ParseProduct(depth));
    while (IsOp("+") || IsOp("-")) {
      std::string op = Next().text;
      KT_ASSIGN_OR_RETURN(auto right, ParseProduct(depth));
      left = Binary(op, std::move(left), std::move(right));
    }
    return left;
  }
  Result<std::unique_ptr<Node>> ParseProduct(int depth) {
    KT_ASSIGN_OR_RETURN(auto left, ParseUnary(depth));
    while (IsOp("*") || IsOp("/")) {
      std::string op = Next().text;
      KT_ASSIGN_OR_RETURN(auto right, ParseUnary(depth));
      left = Binary(op, std::move(left), std::move(right));
    }
    return left;
  }
  Result<std::unique_ptr<Node>> ParseUnary(int depth) {
    if (IsOp("-") || IsOp("+")) {
      if (depth > kMaxDepth) return Error("nested too deeply");
      const bool negate = Next().text == "-";
      KT_ASSIGN_OR_RETURN(auto inner, ParseUnary(depth + 1));
      if (!negate) return inner;
      auto n = std::make_unique<Node>();
      n->kind = Node::Kind::kNegate;
      n->args.push_back(std::move(inner));
      return n;
    }
    return ParsePrimary(depth);
  }
  Result<std::unique_ptr<Node>> ParsePrimary(int depth) {
    Token t = Next();
    auto n = std::make_unique<Node>();
    switch (t.kind) {
      case Tok::kNumber:
        n->literal.type = 'N';
        n->literal.number = t.number;
        return n;
      case Tok::kString:
        n->literal.type = 'C';
        n->literal.text = t.text;
        return n;
      case Tok::kTrue:
      case Tok::kFalse:
        n->literal.type = 'L';
        n->literal.logical = t.kind == Tok::kTrue;
        return n;
      case Tok::kLParen: {
        KT_ASSIGN_OR_RETURN(auto inner, ParseOr(depth + 1));
        if (Next().kind != Tok::kRParen) return Error("missing ')'");
        return inner;
      }
      case Tok::kIdent: {
        if (Peek().kind == Tok::kLParen) {
          Next();
          n->kind = Node::Kind::kCall;
          n->name = t.text;
          if (Peek().kind != Tok::kRParen) {
            while (true) {
              KT_ASSIGN_OR_RETURN(auto arg, ParseOr(depth + 1));
              n->args.push_back(std::move(arg));
              if (Peek().kind == Tok::kComma) { Next(); continue; }
              break;
            }
          }
          if (Next().kind != Tok::kRParen) return Error("missing ')' after arguments of " + t.text);
          KT_RETURN_IF_ERROR(CheckCall(*n));
          return n;
        }
        for (const DbfField& f : fields_) {
          if (text::UpperAscii(f.name) == t.text) {
            if (f.type != 'C' && f.type != 'D' && f.type != 'L' && !IsNumericType(f.type)) {
              return Error("field " + t.text + " of type " + std::string(1, f.type) +
                           " cannot be used");
            }
            n->kind = Node::Kind::kField;
            n->field = f;
            return n;
          }
        }
        return Error("unknown field " + t.text);
      }
      default:
        return Error("unexpected " + (t.text.empty() ? std::string("end") : "'" + t.text + "'"));
    }
  }

  Status CheckCall(const Node& n) const {
    struct Arity { std::string_view name; std::size_t min, max; };
    static constexpr Arity kFunctions[] = {
        {"UPPER", 1, 1}, {"LOWER", 1, 1}, {"STR", 1, 3}, {"STRZERO", 1, 3}, {"DTOS", 1, 1},
        {"DELETED", 0, 0}, {"LEFT", 2, 2}, {"RIGHT", 2, 2}, {"SUBSTR", 2, 3}, {"PADR", 2, 2},
        {"PADL", 2, 2}, {"TRIM", 1, 1}, {"RTRIM", 1, 1}, {"LTRIM", 1, 1}, {"ALLTRIM", 1, 1},
        {"VAL", 1, 1}, {"IIF", 3, 3}};
    for (const Arity& a : kFunctions) {
      if (a.name == n.name) {
        if (n.args.size() < a.min || n.args.size() > a.max) {
          return Error("wrong number of arguments for " + n.name);
        }
        return Status::Ok();
      }
    }
    return Error("unknown function " + n.name);
  }

  std::string_view text_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  const std::vector<DbfField>& fields_;
};

constexpr std::size_t kMaxStringLength = 65535;

Value Text(std::string s) { Value v; v.type = 'C'; v.text = std::move(s); return v; }
Value Number(double d) { Value v; v.type = 'N'; v.number = d; return v; }
Value Logical(bool b) { Value v; v.type = 'L'; v.logical = b; return v; }

std::string StrOf(double n, int width, int decimals) {
  if (width < 1) width = 1;
  if (width > 64) width = 64;
  if (decimals < 0) decimals = 0;
  if (decimals > 30) decimals = 30;
  const std::optional<std::string> text = FormatFixed(std::isfinite(n) ? n : 0, width, decimals);
  return text ? *text : std::string(static_cast<std::size_t>(width), '*');
}

int CompareValues(const Value& a, const Value& b, bool exact) {
  switch (a.type) {
    case 'C': {
      std::string_view l = a.text, r = b.text;
      if (!exact) {
        // SET EXACT OFF: compare only as much of the left side as the right side has.
        if (r.empty()) return 0;
        l = l.substr(0, r.size());
      }
      // Order as unsigned bytes; "==" compares the whole texts.
      for (std::size_t i = 0; i < std::min(l.size(), r.size()); ++i) {
        const auto x = static_cast<unsigned char>(l[i]), y = static_cast<unsigned char>(r[i]);
        if (x != y) return x < y ? -1 : 1;
      }
      return l.size() == r.size() ? 0 : (l.size() < r.size() ? -1 : 1);
    }
    case 'N': return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    case 'D': return a.date < b.date ? -1 : (a.date > b.date ? 1 : 0);
    default: return (a.logical ? 1 : 0) - (b.logical ? 1 : 0);
  }
}

Result<Value> Eval(const Node& n, std::string_view record);

Result<Value> EvalCall(const Node& n, std::string_view record) {
  std::vector<Value> a;
  if (n.name != "IIF") {
    for (const auto& arg : n.args) {
      KT_ASSIGN_OR_RETURN(Value v, Eval(*arg, record));
      a.push_back(std::move(v));
    }
  }
  auto need = [&](std::size_t i, char type) -> Status {
    if (a[i].type != type) {
      return Status::InvalidArgument(n.name + ": argument " + std::to_string(i + 1) +
                                     " has the wrong type");
    }
    return Status::Ok();
  };
  auto int_arg = [&](std::size_t i, int fallback) {
    if (i >= a.size() || a[i].type != 'N') return fallback;
    const double d = a[i].number;
    if (!(d > -100000 && d < 100000)) return fallback;
    return static_cast<int>(d);
  };
  const std::string& f = n.name;
  if (f == "UPPER" || f == "LOWER") {
    KT_RETURN_IF_ERROR(need(0, 'C'));
    std::string s = a[0].text;
    for (char& c : s) {
      if (f == "UPPER" && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (f == "LOWER" && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return Text(std::move(s));
  }
  if (f == "STR" || f == "STRZERO") {
    KT_RETURN_IF_ERROR(need(0, 'N'));
    std::string s = StrOf(a[0].number, int_arg(1, 10), int_arg(2, 0));
    if (f == "STRZERO" && s[0] != '*') {
      const bool negative = s.find('-') != std::string::npos;
      for (char& c : s) {
        if (c == ' ' || c == '-') c = '0';
      }
      if (negative) s[0] = '-';
    }
    return Text(std::move(s));
  }
  if (f == "DTOS") {
    KT_RETURN_IF_ERROR(need(0, 'D'));
    return Text(a[0].date.ToDtos());
  }
  if (f == "DELETED") return Logical(!record.empty() && record[0] == '*');
  if (f == "LEFT" || f == "RIGHT" || f == "PADR" || f == "PADL") {
    KT_RETURN_IF_ERROR(need(0, 'C'));
    KT_RETURN_IF_ERROR(need(1, 'N'));
    const std::size_t len =
        static_cast<std::size_t>(std::clamp(int_arg(1, 0), 0, static_cast<int>(kMaxStringLength)));
    const std::string& s = a[0].text;
    if (f == "LEFT") return Text(s.substr(0, len));
    if (f == "RIGHT") return Text(len >= s.size() ? s : s.substr(s.size() - len));
    if (f == "PADR") {
      std::string r = s.substr(0, len);
      r.resize(len, ' ');
      return Text(std::move(r));
    }
    if (s.size() >= len) return Text(s.substr(0, len));
    return Text(std::string(len - s.size(), ' ') + s);
  }
  if (f == "SUBSTR") {
    KT_RETURN_IF_ERROR(need(0, 'C'));
    KT_RETURN_IF_ERROR(need(1, 'N'));
    const std::string& s = a[0].text;
    const int start = std::max(int_arg(1, 1), 1);
    if (static_cast<std::size_t>(start) > s.size()) return Text("");
    const int count = a.size() > 2 ? std::max(int_arg(2, 0), 0) : static_cast<int>(kMaxStringLength);
    return Text(s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
  }
  if (f == "TRIM" || f == "RTRIM" || f == "LTRIM" || f == "ALLTRIM") {
    KT_RETURN_IF_ERROR(need(0, 'C'));
    std::string_view s = a[0].text;
    if (f != "LTRIM") s = text::TrimRight(s);
    if (f == "LTRIM" || f == "ALLTRIM") s = text::TrimLeft(s);
    return Text(std::string(s));
  }
  if (f == "VAL") {
    KT_RETURN_IF_ERROR(need(0, 'C'));
    return Number(text::LeadingNumber(a[0].text));
  }
  if (f == "IIF") {
    KT_ASSIGN_OR_RETURN(Value cond, Eval(*n.args[0], record));
    if (cond.type != 'L') return Status::InvalidArgument("IIF: condition is not logical");
    return Eval(*n.args[cond.logical ? 1 : 2], record);
  }
  return Status::InvalidArgument("unknown function " + f);
}

Result<Value> EvalBinary(const Node& n, std::string_view record) {
  const std::string& op = n.name;
  KT_ASSIGN_OR_RETURN(Value l, Eval(*n.args[0], record));
  if (op == ".AND." || op == ".OR.") {
    if (l.type != 'L') return Status::InvalidArgument(op + " needs logical values");
    if (op == ".AND." && !l.logical) return Logical(false);
    if (op == ".OR." && l.logical) return Logical(true);
    KT_ASSIGN_OR_RETURN(Value r, Eval(*n.args[1], record));
    if (r.type != 'L') return Status::InvalidArgument(op + " needs logical values");
    return Logical(r.logical);
  }
  KT_ASSIGN_OR_RETURN(Value r, Eval(*n.args[1], record));
  if (op == "+" || op == "-") {
    if (l.type == 'C' && r.type == 'C') {
      if (l.text.size() + r.text.size() > kMaxStringLength) {
        return Status::InvalidArgument("string too long");
      }
      if (op == "+") return Text(l.text + r.text);
      // xBase "-": trailing blanks of the left side move to the end of the result.
      std::string_view lt = l.text;
      std::size_t blanks = 0;
      while (!lt.empty() && lt.back() == ' ') { lt.remove_suffix(1); ++blanks; }
      return Text(std::string(lt) + r.text + std::string(blanks, ' '));
    }
    if (l.type == 'N' && r.type == 'N') return Number(op == "+" ? l.number + r.number : l.number - r.number);
    if (l.type == 'D' && r.type == 'N') {
      Value v;
      v.type = 'D';
      const int64_t jdn = l.date.ToJulianDay() + static_cast<int64_t>(op == "+" ? r.number : -r.number);
      v.date = l.date.blank() ? Date{} : Date::FromJulianDay(jdn);
      return v;
    }
    if (l.type == 'D' && r.type == 'D' && op == "-") {
      return Number(static_cast<double>(l.date.ToJulianDay() - r.date.ToJulianDay()));
    }
    return Status::InvalidArgument("operator " + op + ": mismatched types");
  }
  if (op == "*" || op == "/") {
    if (l.type != 'N' || r.type != 'N') return Status::InvalidArgument("operator " + op + " needs numbers");
    if (op == "*") return Number(l.number * r.number);
    return Number(r.number == 0 ? 0 : l.number / r.number);
  }
  if (l.type != r.type) return Status::InvalidArgument("comparison " + op + ": mismatched types");
  const int c = CompareValues(l, r, op == "==");
  if (op == "=" || op == "==") return Logical(c == 0);
  if (op == "<>") return Logical(c != 0);
  if (op == "<") return Logical(c < 0);
  if (op == "<=") return Logical(c <= 0);
  if (op == ">") return Logical(c > 0);
  return Logical(c >= 0);
}

Result<Value> Eval(const Node& n, std::string_view record) {
  switch (n.kind) {
    case Node::Kind::kLiteral:
      return n.literal;
    case Node::Kind::kField: {
      const DbfField& f = n.field;
      if (f.offset + f.width > record.size()) return Status::InvalidArgument("record too short");
      const std::string_view raw = record.substr(f.offset, f.width);
      Value v;
      v.type = f.type == 'C' ? 'C' : f.type == 'D' ? 'D' : f.type == 'L' ? 'L' : 'N';
      if (v.type == 'C') v.text = std::string(raw);
      else if (v.type == 'D') v.date = ParseDate(raw);
      else if (v.type == 'L') v.logical = ParseLogical(raw);
      else v.number = ParseNumber(f, raw).value_or(0);
      return v;
    }
    case Node::Kind::kCall:
      return EvalCall(n, record);
    case Node::Kind::kBinary:
      return EvalBinary(n, record);
    case Node::Kind::kNot: {
      KT_ASSIGN_OR_RETURN(Value v, Eval(*n.args[0], record));
      if (v.type != 'L') return Status::InvalidArgument(".NOT. needs a logical value");
      return Logical(!v.logical);
    }
    case Node::Kind::kNegate: {
      KT_ASSIGN_OR_RETURN(Value v, Eval(*n.args[0], record));
      if (v.type != 'N') return Status::InvalidArgument("unary - needs a number");
      return Number(-v.number);
    }
  }
  return Status::InvalidArgument("bad expression node");
}

// Enough of n's value for its first `want` characters: when the left operand of a concatenation
// already has them, it is the value's beginning and the right one is not evaluated.
Result<Value> EvalLeading(const Node& n, std::string_view record, std::size_t want) {
  if (n.kind == Node::Kind::kBinary && n.name == "+") {
    KT_ASSIGN_OR_RETURN(Value left, EvalLeading(*n.args[0], record, want));
    if (left.type == 'C' && left.text.size() >= want) return left;
  }
  return Eval(n, record);
}

}  // namespace

Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;
Expression::~Expression() = default;

Result<Expression> Expression::Parse(std::string_view text, const std::vector<DbfField>& fields) {
  KT_ASSIGN_OR_RETURN(std::vector<Token> tokens, Tokenize(text));
  if (tokens.size() == 1) return Status::InvalidArgument("empty expression");
  Parser parser(text, std::move(tokens), fields);
  KT_ASSIGN_OR_RETURN(auto root, parser.ParseAll());
  Expression e;
  e.text_ = std::string(text);
  e.root_ = std::move(root);
  // Learn the result type from a blank record, as xBase engines do.
  std::size_t record_length = 1;
  for (const DbfField& f : fields) record_length = std::max<std::size_t>(record_length, f.offset + f.width);
  std::string blank(record_length, ' ');
  for (const DbfField& f : fields) {
    if (f.offset + f.width <= blank.size()) blank.replace(f.offset, f.width, BlankValue(f));
  }
  KT_ASSIGN_OR_RETURN(Value v, e.Evaluate(blank));
  e.result_type_ = v.type;
  e.result_length_ = v.type == 'C' ? static_cast<int>(v.text.size())
                     : v.type == 'L' ? 1 : 8;
  return e;
}

Result<Value> Expression::Evaluate(std::string_view record) const { return Eval(*root_, record); }

Result<Value> Expression::EvaluateLeading(std::string_view record, std::size_t n) const {
  return EvalLeading(*root_, record, n);
}

std::optional<Expression::CharField> Expression::AsCharField() const {
  const Node* n = root_.get();
  bool upper = false;
  if (n != nullptr && n->kind == Node::Kind::kCall && n->name == "UPPER" && n->args.size() == 1) {
    upper = true;
    n = n->args[0].get();
  }
  if (n == nullptr || n->kind != Node::Kind::kField || n->field.type != 'C') return std::nullopt;
  return CharField{n->field.offset, n->field.width, upper};
}

}  // namespace kt::data
