// The log queue with a writer that can be held (a stalled console or pipe) and made to fail
// (a full disk).
#include "common/log/line_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace kt::log {
namespace {

using namespace std::chrono_literals;

// A destination that can be held (writes wait), made to fail, and read back.
struct Destination {
  std::mutex mu;
  std::condition_variable cv;
  bool held = false;
  bool failing = false;
  int writes_waiting = 0;  // writes blocked by `held`
  std::string text;

  bool Write(std::string_view t) {
    std::unique_lock lock(mu);
    ++writes_waiting;
    cv.notify_all();
    cv.wait(lock, [&] { return !held; });
    --writes_waiting;
    if (failing) return false;
    text += t;
    return true;
  }
  void Hold(bool h) {
    {
      std::scoped_lock lock(mu);
      held = h;
    }
    cv.notify_all();
  }
  bool WaitForBlockedWrite() {
    std::unique_lock lock(mu);
    return cv.wait_for(lock, 10s, [&] { return writes_waiting > 0; });
  }
  std::string Text() {
    std::scoped_lock lock(mu);
    return text;
  }
};

LineQueue MakeQueue(std::shared_ptr<Destination> d, std::size_t capacity,
                    std::chrono::milliseconds exit_wait = 2000ms) {
  return LineQueue([d](std::string_view t) { return d->Write(t); },
                   [](std::uint64_t n) { return "- " + std::to_string(n) + " lines lost"; },
                   {.capacity = capacity, .exit_wait = exit_wait});
}

TEST(LineQueue, AStalledWriterNeverHoldsUpPushAndTheLossIsReportedAfterTheLines) {
  auto d = std::make_shared<Destination>();
  d->Hold(true);
  LineQueue q = MakeQueue(d, 10);
  q.Push("first");
  ASSERT_TRUE(d->WaitForBlockedWrite());  // the writer has "first" and is stuck
  // Ten lines fill the queue; the next 990 are dropped. Pushing returns at once throughout.
  for (int i = 0; i < 1000; ++i) q.Push("line " + std::to_string(i));
  EXPECT_EQ(q.lost(), 990u);
  EXPECT_FALSE(q.Flush(50ms));

  d->Hold(false);
  ASSERT_TRUE(q.Flush(10s));
  q.Push("after");
  ASSERT_TRUE(q.Flush(10s));
  std::string expected = "first\n";
  for (int i = 0; i < 10; ++i) expected += "line " + std::to_string(i) + "\n";
  expected += "- 990 lines lost\nafter\n";
  EXPECT_EQ(d->Text(), expected);
}

TEST(LineQueue, LinesThatFailToBeWrittenAreCountedAndReportedWhenWritingWorksAgain) {
  auto d = std::make_shared<Destination>();
  d->failing = true;
  LineQueue q = MakeQueue(d, 100);
  q.Push("a");
  q.Push("b");
  ASSERT_TRUE(q.Flush(10s));
  EXPECT_EQ(q.lost(), 2u);
  EXPECT_EQ(d->Text(), "");
  {
    std::scoped_lock lock(d->mu);
    d->failing = false;
  }
  q.Push("c");
  ASSERT_TRUE(q.Flush(10s));
  EXPECT_EQ(d->Text(), "c\n- 2 lines lost\n");
}

TEST(LineQueue, DestructionWritesWhatIsQueuedButDoesNotHangOnAStalledWriter) {
  auto d = std::make_shared<Destination>();
  {
    LineQueue q = MakeQueue(d, 100);
    for (int i = 0; i < 50; ++i) q.Push("x");
  }
  std::string expected;
  for (int i = 0; i < 50; ++i) expected += "x\n";
  EXPECT_EQ(d->Text(), expected);

  d->Hold(true);
  const auto start = std::chrono::steady_clock::now();
  {
    LineQueue q = MakeQueue(d, 100, 200ms);
    q.Push("stuck");
    ASSERT_TRUE(d->WaitForBlockedWrite());
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  d->Hold(false);  // the writer left behind finishes on its own; the destination outlives it
}

}  // namespace
}  // namespace kt::log
