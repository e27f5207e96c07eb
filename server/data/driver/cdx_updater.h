// Keeps the trees of a compound index up to date one key at a time, as a table's writer changes
// records: inserts and removes entries in a tag, splits nodes that overflow, joins neighbours that
// fit one node, frees emptied pages onto the file's free list and takes pages from it again, keeps
// the sibling links of every level, moves the root when the tree grows or shrinks, and counts every
// change in the file header's change counter.
//
// One update runs between Begin() and End(): Begin takes the index lock (exclusive, standard
// offset, see xbase_locks.h) and reads the free list and counter; End writes them back and lets the
// lock go. Readers that take the shared lock never see a half-done update. For readers that take
// none, the counter moves before the first page of an update is written and again after the last,
// and new pages are written before anything points to them; a split first fills the new right
// sibling, so a reader that arrives through the old parent entry finds moved entries by stepping
// right.
//
// Pages are read straight from the file (never from a cache) while the lock is held. Nodes are
// decoded by CdxNode::Decode and encoded by cdx_node_encoder.h, the same codec the reader and the
// bulk builder use.
//
// Thread safety: one updater per writer; not for concurrent use.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "server/data/driver/shared_file.h"
#include "server/data/driver/xbase_locks.h"

namespace kt::data {

// What the updater needs to know of a tag.
struct CdxTagRef {
  std::string name;
  uint32_t header_offset = 0;
  int key_length = 0;
  uint8_t pad = ' ';
  bool unique = false;
};

class CdxUpdater {
 public:
  // Opens the index file for writing. NotFound when missing.
  static Result<std::unique_ptr<CdxUpdater>> Open(const std::filesystem::path& path);

  Status Begin();
  // Adds (key, recno). A unique tag that already holds the key is left as it is (the first record
  // of a key keeps it). Adding an entry that is already there changes nothing.
  Status Insert(const CdxTagRef& tag, std::string_view key, uint32_t recno);
  // Removes (key, recno); NotFound when the tag has no such entry (in a unique tag another record
  // may hold the key: the caller decides).
  Status Remove(const CdxTagRef& tag, std::string_view key, uint32_t recno);
  Status End();
  // Ends an update that failed half-way: writes what the header needs and releases the lock.
  void Abort();

  // Flushes the file to the disk.
  Status Sync() const { return file_->Sync(); }
  const std::filesystem::path& path() const { return file_->path(); }

 private:
  struct Node {
    uint32_t offset = 0;
    bool leaf = true;
    bool root = false;
    uint32_t left = 0xFFFFFFFF;
    uint32_t right = 0xFFFFFFFF;
    std::vector<std::string> keys;
    std::vector<uint32_t> records;
    std::vector<uint32_t> children;  // interior nodes only
    std::size_t size() const { return records.size(); }
  };
  // One node on the way from the root down: the child taken, or in the leaf the entry's position.
  struct Level {
    Node node;
    std::size_t index = 0;
  };

  explicit CdxUpdater(std::shared_ptr<SharedFile> file) : file_(std::move(file)) {}

  std::string Where(const CdxTagRef& tag) const;
  Result<Node> ReadNode(const CdxTagRef& tag, uint32_t offset);
  Status WriteNode(const CdxTagRef& tag, const Node& node);
  Status PatchSibling(uint32_t node_offset, std::size_t field, uint32_t value);
  Result<uint32_t> Allocate();
  Status Free(uint32_t offset);
  Status Touch();
  Result<uint32_t> ReadRoot(const CdxTagRef& tag);
  Status WriteRoot(const CdxTagRef& tag, uint32_t root);

  std::size_t NodeBytes(const CdxTagRef& tag, const Node& node) const;
  std::size_t Capacity(const Node& node) const;
  Result<std::vector<Level>> Descend(const CdxTagRef& tag, std::string_view key, uint32_t recno);
  Result<bool> HoldsKey(const CdxTagRef& tag, const Node& leaf, std::size_t pos, std::string_view key);
  // Writes the changed leaf at the bottom of `path` and carries the consequences up to the root.
  Status Rebalance(const CdxTagRef& tag, std::vector<Level>& path);
  std::vector<std::size_t> SplitPoints(const CdxTagRef& tag, const Node& node) const;
  Status Split(const CdxTagRef& tag, Node& node, Level* parent);
  Result<bool> Join(const CdxTagRef& tag, Node& node, Level& parent);
  Status Collapse(const CdxTagRef& tag, Node root);

  const std::shared_ptr<SharedFile> file_;
  RangeLockGuard lock_;
  bool active_ = false;
  bool touched_ = false;
  uint32_t free_head_ = 0;
  uint32_t counter_ = 0;
  uint64_t file_size_ = 0;
};

}  // namespace kt::data
