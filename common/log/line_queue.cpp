#include "common/log/line_queue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "common/alt_signal_stack.h"
#include "common/platform/threads/thread_name.h"

namespace kt::log {
namespace {

// After a write the writer gathers what follows for this long before it writes again, so a busy
// server wakes it a few dozen times a second rather than once for every line (a wake-up that
// competes with the sessions for the processor). Flush and a half-full queue end the wait.
constexpr std::chrono::milliseconds kGather{20};

}  // namespace

struct LineQueue::State {
  State(Write w, Notice n, Options o) : write(std::move(w)), notice(std::move(n)), options(o) {}

  const Write write;
  const Notice notice;
  const Options options;

  mutable std::mutex mutex;
  std::condition_variable wake;     // the writer waits here for lines or the stop
  std::condition_variable handled;  // Flush and the destructor wait here
  // State below is protected by `mutex`.
  std::deque<std::string> queue;
  std::uint64_t pushed = 0;
  std::uint64_t done = 0;          // lines written, dropped or lost
  std::uint64_t lost_total = 0;
  std::uint64_t lost_unreported = 0;
  bool stop = false;
  bool ended = false;
  bool waiting = false;  // the writer waits for a line and must be woken for it
  int flushes = 0;       // Flush calls under way
};

LineQueue::LineQueue(Write write, Notice notice, Options options)
    : state_(std::make_shared<State>(std::move(write), std::move(notice), options)) {
  std::thread(Run, state_).detach();  // ends on its own; the state outlives it (shared)
}

LineQueue::~LineQueue() {
  std::unique_lock lock(state_->mutex);
  state_->stop = true;
  state_->wake.notify_all();
  state_->handled.wait_for(lock, state_->options.exit_wait, [&] { return state_->ended; });
}

void LineQueue::Push(std::string line) {
  {
    std::scoped_lock lock(state_->mutex);
    ++state_->pushed;
    if (state_->queue.size() >= state_->options.capacity) {
      ++state_->done;
      ++state_->lost_total;
      ++state_->lost_unreported;
      return;
    }
    state_->queue.push_back(std::move(line));
    if (!state_->waiting && state_->queue.size() < state_->options.capacity / 2) return;  // gathering
  }
  state_->wake.notify_one();
}

bool LineQueue::Flush(std::chrono::milliseconds wait) {
  std::unique_lock lock(state_->mutex);
  const std::uint64_t target = state_->pushed;
  ++state_->flushes;
  state_->wake.notify_all();
  const bool flushed = state_->handled.wait_for(lock, wait, [&] { return state_->done >= target || state_->ended; });
  --state_->flushes;
  return flushed;
}

std::uint64_t LineQueue::lost() const {
  std::scoped_lock lock(state_->mutex);
  return state_->lost_total;
}

void LineQueue::Run(std::shared_ptr<State> s) {
  AltSignalStack alt_stack;
  platform::SetThreadName("kt-log");
  std::unique_lock lock(s->mutex);
  for (;;) {
    s->waiting = true;
    s->wake.wait(lock, [&] { return s->stop || !s->queue.empty() || s->lost_unreported > 0; });
    s->waiting = false;
    if (s->queue.empty() && s->lost_unreported == 0 && s->stop) break;
    std::deque<std::string> batch;
    batch.swap(s->queue);
    // Lines are dropped only while the queue is full, so every drop counted now came after the
    // lines of this batch: the notice follows them.
    const std::uint64_t unreported = s->lost_unreported;
    lock.unlock();

    std::string text;
    for (const std::string& line : batch) {
      text += line;
      text += '\n';
    }
    if (unreported > 0) {
      text += s->notice(unreported);
      text += '\n';
    }
    const bool written = s->write(text);

    lock.lock();
    s->lost_unreported -= unreported;
    s->done += batch.size();
    if (!written) {
      s->lost_total += batch.size();
      s->lost_unreported += unreported + batch.size();
    }
    s->handled.notify_all();
    if (!written) {
      if (s->stop && s->queue.empty()) break;  // the destination keeps failing: give up at the end
      // Try again with the next lines, not in a tight loop on a failing destination.
      s->waiting = true;
      s->wake.wait(lock, [&] { return s->stop || !s->queue.empty(); });
      s->waiting = false;
    } else {
      s->wake.wait_for(lock, kGather, [&] {
        return s->stop || s->flushes > 0 || s->queue.size() >= s->options.capacity / 2;
      });
    }
  }
  s->ended = true;
  s->handled.notify_all();
}

}  // namespace kt::log
