#include "common/platform/threads/thread_owned.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kt::platform {
namespace {

std::atomic<int> g_destroyed{0};
std::atomic<int> g_destroyed_damaged{0};

// Checks, when destroyed, that its memory still holds what the owning thread wrote.
struct Witness {
  static constexpr unsigned kIntact = 0xC0FFEE11u;
  unsigned canary = kIntact;
  std::string text;  // on the heap: a destructor running on freed memory frees a stale pointer
  std::shared_ptr<int> shared = std::make_shared<int>(7);
  ~Witness() {
    if (canary != kIntact || text.size() != 300 || text.find_first_not_of('w') != std::string::npos ||
        shared.use_count() != 1 || *shared != 7) {
      ++g_destroyed_damaged;
    }
    canary = 0;
    ++g_destroyed;
  }
};

ThreadOwned<Witness>& Witnesses() {
  static ThreadOwned<Witness> witnesses;
  return witnesses;
}

// Each thread gets one object of its own, kept across calls, and destroyed whole when the thread
// ends, even while other threads churn the heap. A destructor run on freed per-thread memory
// (as the MinGW runtime does for `thread_local` objects) shows here as a damaged witness.
TEST(ThreadOwnedTest, EachThreadsObjectIsItsOwnAndIsDestroyedWholeWhenTheThreadEnds) {
  g_destroyed = 0;
  g_destroyed_damaged = 0;
  constexpr int kRounds = 20, kThreads = 8;
  std::atomic<int> shared_objects{0};
  for (int round = 0; round < kRounds; ++round) {
    std::vector<Witness*> seen(kThreads, nullptr);
    std::latch all_have_one(kThreads);  // the addresses compared below are all alive at once
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&seen, &shared_objects, &all_have_one, t] {
        Witness& w = Witnesses().Get();
        w.text.assign(300, 'w');
        if (&Witnesses().Get() != &w) ++shared_objects;
        seen[t] = &w;
        all_have_one.arrive_and_wait();
        // Heap traffic of the kind a finished session leaves behind.
        for (int k = 0; k < 50; ++k) {
          auto junk = std::make_unique<char[]>(256);
          std::memset(junk.get(), 'A', 256);
        }
      });
    }
    for (auto& th : threads) th.join();
    for (int a = 0; a < kThreads; ++a) {
      for (int b = a + 1; b < kThreads; ++b) {
        if (seen[a] == seen[b]) ++shared_objects;
      }
    }
  }
  EXPECT_EQ(shared_objects.load(), 0);
  EXPECT_EQ(g_destroyed.load(), kRounds * kThreads);
  EXPECT_EQ(g_destroyed_damaged.load(), 0);
}

// Separate instances of one type give a thread separate objects, each value-initialised.
TEST(ThreadOwnedTest, EachInstanceGivesAThreadItsOwnObject) {
  static ThreadOwned<int> first, second;
  std::thread([] {
    first.Get() = 1;
    second.Get() = 2;
    EXPECT_EQ(first.Get(), 1);
    EXPECT_EQ(second.Get(), 2);
  }).join();
  EXPECT_EQ(first.Get(), 0) << "the main thread has its own, value-initialised";
}

}  // namespace
}  // namespace kt::platform
