// Status and Result<T>: how the core libraries report failure.
//
// A Status is either ok or carries a category and a short lowercase message that says what
// failed and where ("cdx node 0x1c00: key count 913 exceeds node size"). "Not found" is an
// ordinary outcome, not an exception. Result<T> holds a value or a non-ok Status.
//
// Thread safety: plain values; distinct objects may be used from different threads.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace kt {

class [[nodiscard]] Status {
 public:
  enum class Code { kOk, kNotFound, kCorruption, kIOError, kInvalidArgument, kUnavailable, kAborted };

  Status() = default;

  static Status Ok() { return Status(); }
  static Status NotFound(std::string msg) { return Status(Code::kNotFound, std::move(msg)); }
  static Status Corruption(std::string msg) { return Status(Code::kCorruption, std::move(msg)); }
  static Status IOError(std::string msg) { return Status(Code::kIOError, std::move(msg)); }
  static Status InvalidArgument(std::string msg) { return Status(Code::kInvalidArgument, std::move(msg)); }
  // A resource is busy or not there yet; trying again later may succeed.
  static Status Unavailable(std::string msg) { return Status(Code::kUnavailable, std::move(msg)); }
  // The operation was cancelled on purpose (shutdown, stop request): not a failure to log.
  static Status Aborted(std::string msg) { return Status(Code::kAborted, std::move(msg)); }

  bool ok() const { return code_ == Code::kOk; }
  bool IsNotFound() const { return code_ == Code::kNotFound; }
  bool IsCorruption() const { return code_ == Code::kCorruption; }
  bool IsIOError() const { return code_ == Code::kIOError; }
  bool IsInvalidArgument() const { return code_ == Code::kInvalidArgument; }
  bool IsUnavailable() const { return code_ == Code::kUnavailable; }
  bool IsAborted() const { return code_ == Code::kAborted; }

  Code code() const { return code_; }
  const std::string& message() const { return message_; }

  // "ok", or "<category>: <message>".
  std::string ToString() const;

 private:
  Status(Code code, std::string msg) : code_(code), message_(std::move(msg)) {}

  Code code_ = Code::kOk;
  std::string message_;
};

// A value of type T, or the Status that explains why there is none.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) {  // NOLINT: implicit by design
    assert(!status_.ok() && "a Result built from a Status must carry an error");
    if (status_.ok()) status_ = Status::InvalidArgument("result built from an ok status");
  }

  bool ok() const { return value_.has_value(); }
  const Status& status() const { return status_; }

  // REQUIRES: ok()
  T& value() & { assert(ok()); return *value_; }
  const T& value() const& { assert(ok()); return *value_; }
  T&& value() && { assert(ok()); return std::move(*value_); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  T value_or(T fallback) const& { return ok() ? *value_ : std::move(fallback); }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace kt

#define KT_STATUS_CONCAT_INNER(a, b) a##b
#define KT_STATUS_CONCAT(a, b) KT_STATUS_CONCAT_INNER(a, b)

// Returns the Status from the enclosing function when `expr` is not ok.
#define KT_RETURN_IF_ERROR(expr)                   \
  do {                                             \
    ::kt::Status kt_status_tmp_ = (expr);          \
    if (!kt_status_tmp_.ok()) return kt_status_tmp_; \
  } while (0)

// KT_ASSIGN_OR_RETURN(auto x, MakeX()); declares x from a Result or returns its Status.
#define KT_ASSIGN_OR_RETURN(lhs, rexpr) \
  KT_ASSIGN_OR_RETURN_IMPL(KT_STATUS_CONCAT(kt_result_, __LINE__), lhs, rexpr)
#define KT_ASSIGN_OR_RETURN_IMPL(tmp, lhs, rexpr) \
  auto tmp = (rexpr);                             \
  if (!tmp.ok()) return tmp.status();             \
  lhs = std::move(tmp).value()
