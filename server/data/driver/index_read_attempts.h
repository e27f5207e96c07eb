// Reading an index that another program may be changing at the same moment.
//
// A reader cannot trust one pass over the pages: a writer may split a node between the reads of
// a parent and its child, or rewrite a page while it is read. So every index operation of a work
// area runs as a series of attempts:
//   - an attempt notes the index's change stamp (counter, size, time); the first one reads
//     without a lock, every later one under the engines' shared index lock (see
//     CdxFile::LockForReading), waiting a little while a writer holds it. The first attempt costs
//     no lock calls, and its answer is checked as below, which a writer that keeps the lock
//     cannot slip through: it holds the lock while it writes and bumps the counter before it
//     lets go;
//   - an attempt that meets an inconsistency (a pointer past the end, a sibling that does not
//     continue the level, a key count that does not fit) while the stamp moved, or while a writer
//     held the lock, collided with a writer: the cached pages of the file are dropped and the
//     operation runs again after a short wait that grows with every try;
//   - the same inconsistency met twice on an unchanged index is damage and is reported;
//   - a writer that holds the index lock exclusively while the answer is checked counts as a
//     change (it may be half-way through an update that bumps the counter only at its end);
//   - an answer that rests on the index alone ("not found", end of the order) holds only when the
//     stamp read after the operation equals the one read before it; otherwise it runs again;
//   - after CollisionPolicy::max_attempts the operation gives up with "the index keeps changing".
//
// Thread safety: one IndexReadAttempts per operation, on the operation's thread. The policy and
// the counters are process-wide and may be read and set from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/status.h"
#include "server/data/driver/cdx_file.h"

namespace kt::data {

struct CollisionPolicy {
  // About a second of waiting in all before "keeps changing": long enough to outlast a busy
  // writer on a loaded machine, short enough for a terminal waiting for its reply.
  int max_attempts = 16;
  std::chrono::microseconds first_wait{1000};
  std::chrono::microseconds max_wait{100000};
  // Tests only: called before every wait (a retry, or a wait for a writer's lock) with the
  // number of the attempt just ended (1, 2, ...), and when an attempt's reading is done, before
  // its answer is checked against the file.
  std::function<void(int)> before_retry;
  std::function<void()> before_check;
};

// Replaces the process-wide policy (tests shorten or observe it).
void SetCollisionPolicy(CollisionPolicy policy);
CollisionPolicy CurrentCollisionPolicy();

// What readers met so far in this process (for the technicians' figures and tests).
struct CollisionCounters {
  uint64_t operations = 0;  // index operations run through attempts
  uint64_t retries = 0;     // attempts run again after a collision or an unconfirmed answer
  uint64_t lock_waits = 0;  // attempts that waited for a writer's index lock
  uint64_t gave_up = 0;     // operations that ended with "keeps changing"
  uint64_t damage = 0;      // inconsistencies reported on an unchanged index
};
CollisionCounters ReadCollisionCounters();

class IndexReadAttempts {
 public:
  // `lock`: take the shared index lock for every attempt after the first.
  IndexReadAttempts(CdxFile& file, bool lock);
  ~IndexReadAttempts();
  IndexReadAttempts(const IndexReadAttempts&) = delete;
  IndexReadAttempts& operator=(const IndexReadAttempts&) = delete;

  // Begins the next attempt. While a writer holds the index lock it waits (bounded) first.
  Status Start();
  // The attempt met `inconsistency`. Ok: run the operation again; otherwise the error to report.
  Status Inconsistent(const Status& inconsistency);
  // The attempt's answer rests on the index as read. true: it holds; false: run again.
  // An error when the operation gave up.
  Result<bool> Confirm();
  // The attempt's answer stands: releases the lock.
  void Finish();

 private:
  Status Retry(const std::string& last_problem);
  Result<bool> ChangedDuringAttempt();
  void Release();

  CdxFile& file_;
  const bool lock_;
  const std::shared_ptr<const CollisionPolicy> policy_holder_;  // keeps policy_ alive
  const CollisionPolicy& policy_;
  CdxSnapshot snap_;
  bool held_ = false;
  bool writer_seen_ = false;  // the lock was busy for this attempt
  int attempt_ = 0;
  std::chrono::microseconds wait_{0};
  std::string unchanged_problem_;  // an inconsistency met on an unchanged index, being re-checked
};

}  // namespace kt::data
