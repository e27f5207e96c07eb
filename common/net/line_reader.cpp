#include "common/net/line_reader.h"

namespace kt::net {

void LineReader::Feed(std::string_view bytes) {
  for (char c : bytes) {
    if (c == '\r' || c == '\n') {
      if (discarding_) {
        discarding_ = false;  // the cut line was already handed out
      } else {
        lines_.push_back(std::move(partial_));
      }
      partial_.clear();
      continue;
    }
    if (discarding_) continue;
    partial_.push_back(c);
    if (partial_.size() >= max_line_) {
      lines_.push_back(std::move(partial_));
      partial_.clear();
      discarding_ = true;
      ++lines_cut_;
    }
  }
}

std::optional<std::string> LineReader::Next() {
  if (lines_.empty()) return std::nullopt;
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

std::string LineReader::TakePending() {
  std::string p = std::move(partial_);
  partial_.clear();
  return p;
}

}  // namespace kt::net
