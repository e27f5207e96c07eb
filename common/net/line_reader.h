// Splits a received byte stream into lines; no sockets inside.
//
// A line ends at CR or at LF; CR LF therefore yields the line and then an empty line, which the
// callers ignore. A line that grows past `max_line` bytes without an end is cut: the first
// `max_line` bytes come out as one line and the rest up to the next CR or LF is thrown away, so
// a peer that never ends its line cannot make the reader grow without bound.
//
// Thread safety: none; one reader per connection.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace kt::net {

class LineReader {
 public:
  static constexpr std::size_t kDefaultMaxLine = 4096;

  explicit LineReader(std::size_t max_line = kDefaultMaxLine) : max_line_(max_line) {}

  // Takes received bytes; complete lines become available through Next().
  void Feed(std::string_view bytes);

  // The oldest complete line (without its end), or nothing.
  std::optional<std::string> Next();

  // Bytes of an unfinished line (for a peer that closes mid-line).
  const std::string& pending() const { return partial_; }
  // Hands out the unfinished line and forgets it.
  std::string TakePending();

  std::size_t lines_cut() const { return lines_cut_; }

 private:
  const std::size_t max_line_;
  std::string partial_;
  bool discarding_ = false;  // rest of an over-long line is being dropped
  std::deque<std::string> lines_;
  std::size_t lines_cut_ = 0;
};

}  // namespace kt::net
