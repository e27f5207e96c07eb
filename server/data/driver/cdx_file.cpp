#include "server/data/driver/cdx_file.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "common/text/text.h"
#include "server/data/driver/key_encoding.h"
#include "server/data/driver/range_lock.h"

namespace kt::data {

namespace {

struct FileKey {
  uint64_t device, inode;
  auto operator<=>(const FileKey&) const = default;
};

std::mutex& RegistryMutex() {
  static std::mutex* m = new std::mutex();
  return *m;
}
std::map<FileKey, std::weak_ptr<CdxFile>>& Registry() {  // guarded by RegistryMutex()
  static auto* r = new std::map<FileKey, std::weak_ptr<CdxFile>>();
  return *r;
}

// Generations are drawn from one counter for the whole process, so a generation names one state
// of one file: a cache of facts read from any index may be keyed by it alone.
uint64_t NextGeneration() {
  static std::atomic<uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

constexpr int kMaxDepth = 64;
constexpr int kDirectoryKeyLength = 10;

}  // namespace

Result<std::shared_ptr<CdxFile>> CdxFile::Open(const std::filesystem::path& path) {
  KT_ASSIGN_OR_RETURN(std::shared_ptr<SharedFile> file, OpenSharedFile(path, /*writable=*/false));
  const FileKey key{file->device(), file->inode()};
  std::shared_ptr<CdxFile> cdx;
  {
    std::scoped_lock lock(RegistryMutex());
    auto& registry = Registry();
    if (auto it = registry.find(key); it != registry.end()) cdx = it->second.lock();
    if (!cdx) {
      std::erase_if(registry, [](const auto& e) { return e.second.expired(); });
      cdx.reset(new CdxFile(std::move(file)));
      registry[key] = cdx;
    }
  }
  // Fail early on a file too short to be a compound index. The tag directory is the caller's
  // first read: another program may be rewriting it, which the caller's retries cover.
  KT_RETURN_IF_ERROR(cdx->Begin().status());
  return cdx;
}

Result<CdxFile::Stamp> CdxFile::ReadStamp() const {
  Stamp s;
  KT_ASSIGN_OR_RETURN(std::size_t got, file_->ReadAt(4, s.head));
  (void)got;  // a short file keeps zeros here; the size in the stamp tells it apart
  KT_ASSIGN_OR_RETURN(s.file, file_->Stamp());
  return s;
}

Result<CdxSnapshot> CdxFile::Begin() {
  const auto started = std::chrono::steady_clock::now();
  {
    std::scoped_lock lock(stamp_mutex_);
    if (stamped_ && started - checked_at_ < kRecheckInterval &&
        stamp_.file.size >= CdxTagHeader::kEncodedLength + kCdxPageSize) {
      return CdxSnapshot{generation_, stamp_.file.size};
    }
  }
  KT_ASSIGN_OR_RETURN(Stamp now, ReadStamp());
  std::scoped_lock lock(stamp_mutex_);
  checked_at_ = started;
  if (!stamped_ || !(now == stamp_)) {
    // Changed on disk (or first use): everything cached so far belongs to an older generation.
    stamp_ = now;
    stamped_ = true;
    generation_ = NextGeneration();
  }
  if (now.file.size < CdxTagHeader::kEncodedLength + kCdxPageSize) {
    return Status::Corruption(file_->path().filename().string() + ": index file too short (" +
                              std::to_string(now.file.size) + " bytes)");
  }
  return CdxSnapshot{generation_, now.file.size};
}

Result<bool> CdxFile::ChangedSince(const CdxSnapshot& snap) {
  const auto started = std::chrono::steady_clock::now();
  KT_ASSIGN_OR_RETURN(Stamp now, ReadStamp());
  std::scoped_lock lock(stamp_mutex_);
  if (!stamped_ || !(now == stamp_)) {
    stamp_ = now;
    stamped_ = true;
    generation_ = NextGeneration();
  }
  checked_at_ = started;
  return generation_ != snap.generation;
}

void CdxFile::DropCache() {
  std::scoped_lock lock(stamp_mutex_);
  generation_ = NextGeneration();  // every cached page, header and directory carries an older generation now
  stamped_ = false;
}

CdxFile::ReadLock CdxFile::LockForReading() {
  const auto now = std::chrono::steady_clock::now();
  std::scoped_lock lock(lock_mutex_);
  if (!locks_supported_) return ReadLock::kNotTaken;
  if (lock_holders_ > 0) {
    if (now - locked_since_ >= kLockShareLimit) return ReadLock::kNotTaken;
    ++lock_holders_;
    return ReadLock::kHeld;
  }
  switch (TryLockRange(*file_, kCdxLockOffset, 1, /*exclusive=*/false)) {
    case RangeLockResult::kLocked:
      lock_holders_ = 1;
      locked_since_ = now;
      return ReadLock::kHeld;
    case RangeLockResult::kBusy:
      return ReadLock::kBusy;
    case RangeLockResult::kUnsupported:
      locks_supported_ = false;
      return ReadLock::kNotTaken;
  }
  return ReadLock::kNotTaken;
}

void CdxFile::UnlockForReading() {
  std::scoped_lock lock(lock_mutex_);
  if (lock_holders_ > 0 && --lock_holders_ == 0) UnlockRange(*file_, kCdxLockOffset, 1);
}

bool CdxFile::WriterHoldsLock() {
  {
    std::scoped_lock lock(lock_mutex_);
    if (!locks_supported_) return false;
  }
  return RangeWriteLocked(*file_, kCdxLockOffset, 1);
}

Result<CdxTagHeader> CdxFile::ReadTagHeader(uint32_t offset, const CdxSnapshot& snap) {
  {
    std::scoped_lock lock(stamp_mutex_);
    if (tag_headers_generation_ == snap.generation) {
      if (auto it = tag_headers_.find(offset); it != tag_headers_.end()) return it->second;
    }
  }
  if (offset % kCdxPageSize != 0 || uint64_t{offset} + CdxTagHeader::kEncodedLength > snap.file_size) {
    return Status::Corruption(file_->path().filename().string() + ": tag header offset " +
                              std::to_string(offset) + " out of range");
  }
  std::vector<std::byte> bytes(CdxTagHeader::kEncodedLength);
  KT_RETURN_IF_ERROR(file_->ReadExact(offset, bytes, "cdx tag header"));
  auto header = CdxTagHeader::Decode(bytes);
  if (!header.ok()) {
    return Status::Corruption(file_->path().filename().string() + ": " + header.status().message());
  }
  std::scoped_lock lock(stamp_mutex_);
  if (tag_headers_generation_ != snap.generation) {
    tag_headers_.clear();
    tag_headers_generation_ = snap.generation;
  }
  tag_headers_[offset] = *header;
  return header;
}

Result<std::shared_ptr<const CdxNode>> CdxFile::ReadNode(uint32_t offset, int key_length,
                                                         uint8_t pad, const CdxSnapshot& snap) {
  const std::size_t page_number = offset / kCdxPageSize;
  Shard& shard = shards_[page_number % kShards];
  const std::size_t index = page_number / kShards;
  {
    std::scoped_lock lock(shard.mutex);
    if (index < shard.slots.size()) {
      const CachedNode& slot = shard.slots[index];
      if (slot.node && slot.generation == snap.generation && slot.pad == pad &&
          slot.node->offset == offset && slot.node->key_length == key_length) {
        return slot.node;
      }
    }
  }
  if (offset % kCdxPageSize != 0 || offset < kCdxPageSize ||
      uint64_t{offset} + kCdxPageSize > snap.file_size) {
    return Status::Corruption(file_->path().filename().string() + ": node offset " +
                              std::to_string(offset) + " out of range");
  }
  std::array<std::byte, kCdxPageSize> page;
  KT_RETURN_IF_ERROR(file_->ReadExact(offset, page, "cdx node"));
  page_reads_.fetch_add(1, std::memory_order_relaxed);
  auto decoded = CdxNode::Decode(page, offset, key_length, pad, snap.file_size);
  if (!decoded.ok()) {
    return Status::Corruption(file_->path().filename().string() + ": " + decoded.status().message());
  }
  auto node = std::make_shared<const CdxNode>(std::move(decoded).value());
  std::scoped_lock lock(shard.mutex);
  if (shard.used >= kMaxNodesPerShard) {
    // Full: start over rather than track ages; the levels near the root come back first.
    shard.slots.clear();
    shard.used = 0;
  }
  if (index >= shard.slots.size()) shard.slots.resize(index + 1);
  if (!shard.slots[index].node) ++shard.used;
  shard.slots[index] = CachedNode{snap.generation, pad, node};
  return node;
}

Result<std::vector<CdxTagEntry>> CdxFile::Directory(const CdxSnapshot& snap) {
  {
    std::scoped_lock lock(stamp_mutex_);
    if (directory_generation_ == snap.generation) return directory_;
  }
  const std::string name = file_->path().filename().string();
  KT_ASSIGN_OR_RETURN(CdxTagHeader header, ReadTagHeader(0, snap));
  if (header.key_length != kDirectoryKeyLength) {
    return Status::Corruption(name + ": tag directory key length " +
                              std::to_string(header.key_length) + ", expected 10");
  }
  // Leftmost leaf, then along the right siblings.
  uint32_t offset = header.root;
  std::shared_ptr<const CdxNode> node;
  for (int depth = 0;; ++depth) {
    if (depth >= kMaxDepth) return Status::Corruption(name + ": tag directory too deep (a loop?)");
    KT_ASSIGN_OR_RETURN(node, ReadNode(offset, kDirectoryKeyLength, ' ', snap));
    if (node->leaf()) break;
    offset = node->children.front();
  }
  std::vector<CdxTagEntry> tags;
  const uint64_t max_steps = snap.file_size / kCdxPageSize;
  for (uint64_t steps = 0;; ++steps) {
    if (steps > max_steps) return Status::Corruption(name + ": tag directory leaves loop");
    for (std::size_t i = 0; i < node->size(); ++i) {
      // Names match ignoring case.
      std::string tag = text::UpperAscii(text::TrimRight(node->key(i), text::kBlankOrNul));
      tags.push_back(CdxTagEntry{std::move(tag), node->records[i]});
    }
    if (node->right == kCdxNoNode) break;
    KT_ASSIGN_OR_RETURN(node, ReadNode(node->right, kDirectoryKeyLength, ' ', snap));
  }
  std::stable_sort(tags.begin(), tags.end(), [](const CdxTagEntry& a, const CdxTagEntry& b) {
    return a.header_offset < b.header_offset;
  });
  std::scoped_lock lock(stamp_mutex_);
  directory_ = tags;
  directory_generation_ = snap.generation;
  return tags;
}

}  // namespace kt::data
