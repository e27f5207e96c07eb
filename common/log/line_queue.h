// Log lines handed to one writer thread through a bounded queue, so that a slow or stalled
// destination (a console held with Ctrl-S, a pipe nobody reads, a full disk) never makes the
// thread that logs wait.
//
// Push() only appends to the queue under a short lock. When the queue is full the line is
// dropped; when the writer fails to write a batch its lines are lost. Both are counted, and once
// a write succeeds again the writer adds one line with the count (made by `notice`), after the
// lines it wrote.
//
// On destruction the writer gets `exit_wait` to write what is queued; a writer that is still
// blocked then is left behind (it owns its state and ends with the process), so a stalled
// destination cannot hang the program's exit either. `write` must therefore not refer to objects
// that die before the process does: capture by value.
//
// Thread safety: Push, Flush and lost from any thread; construction and destruction on one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kt::log {

class LineQueue {
 public:
  // Writes `text`: one or more lines, each ended by '\n'. False when it could not be written.
  using Write = std::function<bool(std::string_view text)>;
  // The line (without its end) that reports `count` lost lines.
  using Notice = std::function<std::string(std::uint64_t count)>;

  struct Options {
    std::size_t capacity = 10000;  // lines waiting for the writer
    std::chrono::milliseconds exit_wait{2000};
  };

  LineQueue(Write write, Notice notice, Options options);
  LineQueue(Write write, Notice notice) : LineQueue(std::move(write), std::move(notice), Options{}) {}
  ~LineQueue();
  LineQueue(const LineQueue&) = delete;
  LineQueue& operator=(const LineQueue&) = delete;

  // Queues one line (without its end). Never waits for the writer.
  void Push(std::string line);
  // Waits up to `wait` until every line pushed so far was written or counted as lost.
  bool Flush(std::chrono::milliseconds wait);
  // Lines dropped or lost so far.
  std::uint64_t lost() const;

 private:
  struct State;
  static void Run(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
};

}  // namespace kt::log
