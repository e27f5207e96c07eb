// A small evaluator for xBase index key and FOR expressions.
//
// Supported: field names (case-insensitive), string literals ("x", 'x', [x]), numbers, .T./.F.,
// + - * / on numbers, + on strings (concatenation) and date + number, comparisons
// = == <> # != < <= > >= (string "=" compares up to the length of the right side, as xBase does
// with SET EXACT OFF), .AND. .OR. .NOT. ! and parentheses, and the functions UPPER, LOWER, STR,
// STRZERO, DTOS, DELETED, LEFT, RIGHT, SUBSTR, PADR, PADL, TRIM, RTRIM, LTRIM, ALLTRIM, VAL, IIF.
//
// An Expression is bound to a table's field list when parsed and is immutable afterwards, so one
// object may be evaluated from several threads at once.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "server/data/driver/date.h"
#include "server/data/driver/dbf_header.h"

namespace kt::data {

struct Value {
  char type = 'L';  // C, N, D or L
  std::string text;
  double number = 0;
  Date date;
  bool logical = false;
};

class Expression {
 public:
  struct Node;

  // Parses `text` for a table with these fields. InvalidArgument naming the problem.
  static Result<Expression> Parse(std::string_view text, const std::vector<DbfField>& fields);

  Expression(Expression&&) noexcept;
  Expression& operator=(Expression&&) noexcept;
  ~Expression();

  // Evaluates against one record (record bytes including the deletion flag at byte 0).
  // InvalidArgument for a type mismatch found at run time.
  Result<Value> Evaluate(std::string_view record) const;
  // The same value, except that a character value may be only its first `n` characters or more:
  // of a concatenation, the leading operands that hold them. For comparing beginnings of keys.
  Result<Value> EvaluateLeading(std::string_view record, std::size_t n) const;

  // The commonest key shapes, a character field alone or UPPER of one, which an index can then
  // read straight from the record without evaluating anything.
  struct CharField {
    uint32_t offset = 0;  // in the record (byte 0 is the deletion flag)
    uint16_t width = 0;
    bool upper = false;
  };
  std::optional<CharField> AsCharField() const;

  // Type and (for C) length of the result on a blank record: how an index learns its key type.
  char result_type() const { return result_type_; }
  int result_length() const { return result_length_; }
  const std::string& text() const { return text_; }

 private:
  Expression() = default;

  std::string text_;
  std::unique_ptr<Node> root_;
  char result_type_ = 'C';
  int result_length_ = 0;
};

}  // namespace kt::data
