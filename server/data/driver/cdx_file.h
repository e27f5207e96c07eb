// An open compound index file, shared by every work area on it, with a cache of decoded nodes.
//
// The cache belongs to the file (device and inode), so all work areas and threads share it. At
// the start of an index operation Begin() compares the file's change stamp (the free-list head
// and change counter at offsets 4-11, the file size and its modification time) with the one the
// cache was filled under; when anything differs, the cached pages are dropped, so an index
// another program rewrote is read afresh. The stamp costs two system calls, so it is re-read at
// most every kRecheckInterval: operations that start closer together share one check, and a
// change on disk is seen by every operation that starts later than that.
//
// Thread safety: all methods may be called from several threads at once.
#pragma once

#include <array>
#include <chrono>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/status.h"
#include "server/data/driver/cdx_header.h"
#include "server/data/driver/cdx_node.h"
#include "server/data/driver/shared_file.h"

namespace kt::data {

struct CdxTagEntry {
  std::string name;        // upper case, blanks trimmed
  uint32_t header_offset;  // of the tag's 1024-byte header
};

// What one index operation works against: the cache generation and the file size. A generation is
// unique in the process: no other file, and no other state of this one, ever has the same.
struct CdxSnapshot {
  uint64_t generation = 0;
  uint64_t file_size = 0;
};

class CdxFile {
 public:
  // A millisecond: a terminal scanning back to back starts an index operation every few tens of
  // microseconds, and each fresh check costs two system calls. A change is still seen within a
  // millisecond; an answer that rests on the index alone is confirmed afresh anyway (ChangedSince),
  // and a found entry must agree with its record.
  static constexpr std::chrono::microseconds kRecheckInterval{1000};

  // The shared CdxFile for `path`. NotFound when missing, Corruption when the file is too short
  // for a file header and a node.
  static Result<std::shared_ptr<CdxFile>> Open(const std::filesystem::path& path);

  CdxFile(const CdxFile&) = delete;
  CdxFile& operator=(const CdxFile&) = delete;

  // Starts an operation: re-validates the cache against the file (see the file comment).
  Result<CdxSnapshot> Begin();

  // Tags in the order of their headers in the file (creation order).
  Result<std::vector<CdxTagEntry>> Directory(const CdxSnapshot& snap);
  Result<CdxTagHeader> ReadTagHeader(uint32_t offset, const CdxSnapshot& snap);
  // A decoded node, from the cache when it was read under the same generation.
  Result<std::shared_ptr<const CdxNode>> ReadNode(uint32_t offset, int key_length, uint8_t pad,
                                                  const CdxSnapshot& snap);

  const std::filesystem::path& path() const { return file_->path(); }
  const SharedFile& file() const { return *file_; }

  // ---- Reading while another program writes ----
  // Reads the change stamp afresh (never from the recheck window) and tells whether the file
  // changed after `snap` was taken: a writer released its update, or something was dropped.
  Result<bool> ChangedSince(const CdxSnapshot& snap);
  // Forgets every cached page, header and the tag directory (a read met an inconsistency).
  void DropCache();

  // The engines' shared index lock (one byte at 0x7FFFFFFE), held for the length of one seek.
  // Threads of this process share one lock: the first holder takes it, the last releases it. A
  // lock that has been held without a break for kLockShareLimit is not joined any more, so that
  // overlapping seeks of many sessions cannot keep a writer out.
  enum class ReadLock { kHeld, kBusy, kNotTaken };
  static constexpr std::chrono::milliseconds kLockShareLimit{20};
  ReadLock LockForReading();
  // REQUIRES: LockForReading() returned kHeld.
  void UnlockForReading();
  // True while another program (or descriptor) holds the index lock exclusively.
  bool WriterHoldsLock();

  // Cache statistics, for tests and benchmarks.
  uint64_t page_reads() const { return page_reads_.load(std::memory_order_relaxed); }

 private:
  explicit CdxFile(std::shared_ptr<SharedFile> file) : file_(std::move(file)) {}

  struct Stamp {
    std::array<std::byte, 8> head{};  // file offsets 4..11
    FileStamp file;
    bool operator==(const Stamp& o) const { return head == o.head && file == o.file; }
  };
  Result<Stamp> ReadStamp() const;

  struct CachedNode {
    uint64_t generation = 0;
    uint8_t pad = 0;
    std::shared_ptr<const CdxNode> node;
  };
  // Pages are spread over the shards by page number; inside a shard a vector indexed by
  // page number / kShards holds the slots, so a lookup is one index, not a hash chain.
  struct Shard {
    std::mutex mutex;
    // State below is protected by `mutex`.
    std::vector<CachedNode> slots;
    std::size_t used = 0;
  };
  static constexpr std::size_t kShards = 16;
  // At most 65536 nodes per file (some 64 MB decoded), enough for a tag over 2 million keys.
  static constexpr std::size_t kMaxNodesPerShard = 4096;

  const std::shared_ptr<SharedFile> file_;

  std::mutex stamp_mutex_;
  // State below is protected by `stamp_mutex_`.
  Stamp stamp_;
  bool stamped_ = false;
  std::chrono::steady_clock::time_point checked_at_;
  uint64_t generation_ = 0;  // 0 until the first Begin; then unique in the process
  uint64_t directory_generation_ = 0;
  std::vector<CdxTagEntry> directory_;
  std::unordered_map<uint32_t, CdxTagHeader> tag_headers_;
  uint64_t tag_headers_generation_ = 0;

  std::mutex lock_mutex_;
  // State below is protected by `lock_mutex_`.
  int lock_holders_ = 0;
  std::chrono::steady_clock::time_point locked_since_;
  bool locks_supported_ = true;

  std::array<Shard, kShards> shards_;
  std::atomic<uint64_t> page_reads_{0};  // statistics only
};

}  // namespace kt::data
