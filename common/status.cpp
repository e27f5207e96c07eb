#include "common/status.h"

namespace kt {

std::string Status::ToString() const {
  const char* category = "ok";
  switch (code_) {
    case Code::kOk: return "ok";
    case Code::kNotFound: category = "not found"; break;
    case Code::kCorruption: category = "corruption"; break;
    case Code::kIOError: category = "io error"; break;
    case Code::kInvalidArgument: category = "invalid argument"; break;
    case Code::kUnavailable: category = "unavailable"; break;
    case Code::kAborted: category = "aborted"; break;
  }
  return std::string(category) + ": " + message_;
}

}  // namespace kt
