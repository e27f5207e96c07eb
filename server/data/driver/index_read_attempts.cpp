#include "server/data/driver/index_read_attempts.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "common/platform/threads/thread_owned.h"

namespace kt::data {

namespace {

struct Shared {
  std::mutex mutex;
  std::shared_ptr<const CollisionPolicy> policy = std::make_shared<CollisionPolicy>();  // guarded by mutex
  std::atomic<uint64_t> policy_version{1};  // bumped with every change of `policy`
  std::atomic<uint64_t> operations{0}, retries{0}, lock_waits{0}, gave_up{0}, damage{0};
};

Shared& TheShared() {
  static Shared* shared = new Shared();  // used until process exit
  return *shared;
}

// The policy for an operation starting now. Every index operation asks, so each thread keeps the
// policy it saw last and takes the lock only after a change.
std::shared_ptr<const CollisionPolicy> PolicyNow() {
  Shared& s = TheShared();
  struct Seen {
    uint64_t version = 0;
    std::shared_ptr<const CollisionPolicy> policy;
  };
  static kt::platform::ThreadOwned<Seen> seen_by_thread;
  Seen& seen = seen_by_thread.Get();
  const uint64_t version = s.policy_version.load(std::memory_order_acquire);
  if (version != seen.version) {
    std::scoped_lock lock(s.mutex);
    seen.policy = s.policy;
    seen.version = s.policy_version.load(std::memory_order_relaxed);
  }
  return seen.policy;
}

}  // namespace

void SetCollisionPolicy(CollisionPolicy policy) {
  Shared& s = TheShared();
  std::scoped_lock lock(s.mutex);
  s.policy = std::make_shared<const CollisionPolicy>(std::move(policy));
  s.policy_version.fetch_add(1, std::memory_order_release);
}

CollisionPolicy CurrentCollisionPolicy() {
  Shared& s = TheShared();
  std::scoped_lock lock(s.mutex);
  return *s.policy;
}

CollisionCounters ReadCollisionCounters() {
  Shared& s = TheShared();
  return {s.operations.load(), s.retries.load(), s.lock_waits.load(), s.gave_up.load(), s.damage.load()};
}

IndexReadAttempts::IndexReadAttempts(CdxFile& file, bool lock)
    : file_(file), lock_(lock), policy_holder_(PolicyNow()), policy_(*policy_holder_), wait_(policy_.first_wait) {
  TheShared().operations.fetch_add(1, std::memory_order_relaxed);
}

IndexReadAttempts::~IndexReadAttempts() { Release(); }

void IndexReadAttempts::Release() {
  if (held_) file_.UnlockForReading();
  held_ = false;
}

void IndexReadAttempts::Finish() { Release(); }

Status IndexReadAttempts::Start() {
  Release();
  ++attempt_;
  writer_seen_ = false;
  if (lock_ && attempt_ > 1) {
    // The first attempt reads without the lock (its answer is checked against the stamp and the
    // writer's lock afterwards); later ones read under it. A writer holding the lock is in the
    // middle of an update: wait for it while tries remain, then read without the lock (the
    // checks still apply).
    for (;;) {
      const CdxFile::ReadLock got = file_.LockForReading();
      if (got == CdxFile::ReadLock::kHeld) held_ = true;
      if (got != CdxFile::ReadLock::kBusy) break;
      TheShared().lock_waits.fetch_add(1, std::memory_order_relaxed);
      if (attempt_ >= policy_.max_attempts) {
        writer_seen_ = true;
        break;
      }
      if (policy_.before_retry) policy_.before_retry(attempt_);
      ++attempt_;
      std::this_thread::sleep_for(wait_);
      wait_ = std::min(wait_ * 2, policy_.max_wait);
    }
  }
  KT_ASSIGN_OR_RETURN(snap_, file_.Begin());
  return Status::Ok();
}

Status IndexReadAttempts::Retry(const std::string& last_problem) {
  Release();
  file_.DropCache();
  Shared& s = TheShared();
  if (attempt_ >= policy_.max_attempts) {
    s.gave_up.fetch_add(1, std::memory_order_relaxed);
    return Status::Corruption(file_.path().filename().string() + ": the index keeps changing (gave up after " +
                              std::to_string(attempt_) + " tries; last: " + last_problem + ")");
  }
  s.retries.fetch_add(1, std::memory_order_relaxed);
  if (policy_.before_retry) policy_.before_retry(attempt_);
  std::this_thread::sleep_for(wait_);
  wait_ = std::min(wait_ * 2, policy_.max_wait);
  return Status::Ok();
}

Result<bool> IndexReadAttempts::ChangedDuringAttempt() {
  if (policy_.before_check) policy_.before_check();
  KT_ASSIGN_OR_RETURN(const bool changed, file_.ChangedSince(snap_));
  // Without our shared lock a writer may be mid-update now, its counter not yet bumped.
  return changed || (!held_ && file_.WriterHoldsLock());
}

Status IndexReadAttempts::Inconsistent(const Status& inconsistency) {
  KT_ASSIGN_OR_RETURN(const bool changed, ChangedDuringAttempt());
  if (changed || writer_seen_) {
    unchanged_problem_.clear();
    return Retry(inconsistency.message());
  }
  // Unchanged: read it once more from the file (a page may have been cached half-written by a
  // writer that keeps no counter); the same fault again is damage.
  if (unchanged_problem_ == inconsistency.message()) {
    Release();
    TheShared().damage.fetch_add(1, std::memory_order_relaxed);
    return inconsistency;
  }
  unchanged_problem_ = inconsistency.message();
  return Retry(inconsistency.message());
}

Result<bool> IndexReadAttempts::Confirm() {
  KT_ASSIGN_OR_RETURN(const bool changed, ChangedDuringAttempt());
  if (!changed) return true;
  KT_RETURN_IF_ERROR(Retry("the index changed during the read"));
  return false;
}

}  // namespace kt::data
