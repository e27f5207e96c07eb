#include "server/data/driver/cdx_updater.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "common/coding.h"
#include "server/data/driver/cdx_header.h"
#include "server/data/driver/cdx_node.h"
#include "server/data/driver/cdx_node_encoder.h"

namespace kt::data {

namespace {

constexpr int kMaxDepth = 64;

// Orders (key, record) pairs as the tree does.
int ComparePair(std::string_view ka, uint32_t ra, std::string_view kb, uint32_t rb) {
  const int c = std::memcmp(ka.data(), kb.data(), std::min(ka.size(), kb.size()));
  if (c != 0) return c;
  return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

bool NoNode(uint32_t p) { return p == kCdxNoNode || p == 0; }

}  // namespace

Result<std::unique_ptr<CdxUpdater>> CdxUpdater::Open(const std::filesystem::path& path) {
  KT_ASSIGN_OR_RETURN(std::shared_ptr<SharedFile> file, OpenSharedFile(path, /*writable=*/true));
  return std::unique_ptr<CdxUpdater>(new CdxUpdater(std::move(file)));
}

std::string CdxUpdater::Where(const CdxTagRef& tag) const {
  return file_->path().filename().string() + ": tag " + tag.name + ": ";
}

Status CdxUpdater::Begin() {
  KT_ASSIGN_OR_RETURN(lock_, RangeLockGuard::Acquire(*file_, kIndexFileLock, /*exclusive=*/true));
  std::array<std::byte, 12> head;
  Status read = file_->ReadExact(0, head, "cdx file header");
  if (!read.ok()) {
    lock_.Release();
    return read;
  }
  free_head_ = DecodeFixedLE32(head.data() + CdxTagHeader::kFreeListOffset);
  counter_ = DecodeFixedBE32(head.data() + CdxTagHeader::kCounterOffset);
  auto stamp = file_->Stamp();
  if (!stamp.ok()) {
    lock_.Release();
    return stamp.status();
  }
  file_size_ = (stamp->size + kCdxPageSize - 1) / kCdxPageSize * kCdxPageSize;
  active_ = true;
  touched_ = false;
  return Status::Ok();
}

// The counter moves before the first page of an update changes, so that a reader that takes no
// lock and reads the counter around its walk sees any walk that overlaps the update.
Status CdxUpdater::Touch() {
  if (touched_) return Status::Ok();
  touched_ = true;
  ++counter_;
  std::array<std::byte, 4> raw;
  EncodeFixedBE32(raw.data(), counter_);
  return file_->WriteAt(CdxTagHeader::kCounterOffset, raw);
}

Status CdxUpdater::End() {
  if (!active_) return Status::InvalidArgument(file_->path().filename().string() + ": no update");
  active_ = false;
  Status written = Status::Ok();
  if (touched_) {
    ++counter_;
    std::array<std::byte, 8> raw;
    EncodeFixedLE32(raw.data(), free_head_);
    EncodeFixedBE32(raw.data() + 4, counter_);
    written = file_->WriteAt(CdxTagHeader::kFreeListOffset, raw);
  }
  lock_.Release();
  return written;
}

void CdxUpdater::Abort() {
  if (!active_) return;
  Status ignored = End();  // the caller reports the error that made it abort
  (void)ignored;
}

Result<CdxUpdater::Node> CdxUpdater::ReadNode(const CdxTagRef& tag, uint32_t offset) {
  std::array<std::byte, kCdxPageSize> page;
  if (offset % kCdxPageSize != 0 || offset < CdxTagHeader::kEncodedLength ||
      uint64_t{offset} + kCdxPageSize > file_size_) {
    return Status::Corruption(Where(tag) + "node offset " + std::to_string(offset) + " out of range");
  }
  KT_RETURN_IF_ERROR(file_->ReadExact(offset, page, "cdx node"));
  auto decoded = CdxNode::Decode(page, offset, tag.key_length, tag.pad, file_size_);
  if (!decoded.ok()) return Status::Corruption(Where(tag) + decoded.status().message());
  Node n;
  n.offset = offset;
  n.leaf = decoded->leaf();
  n.root = decoded->attributes & CdxNode::kRootBit;
  n.left = decoded->left;
  n.right = decoded->right;
  n.records = std::move(decoded->records);
  n.children = std::move(decoded->children);
  n.keys.reserve(n.records.size());
  for (std::size_t i = 0; i < n.records.size(); ++i) n.keys.emplace_back(decoded->key(i));
  return n;
}

namespace {

LeafLayout LayoutOf(int key_length, const std::vector<uint32_t>& records) {
  uint32_t max_record = 0;
  for (uint32_t r : records) max_record = std::max(max_record, r);
  return LeafLayout::For(key_length, max_record);
}

std::vector<LeafEntryRef> LeafEntries(const std::vector<std::string>& keys,
                                      const std::vector<uint32_t>& records, std::size_t begin,
                                      std::size_t end) {
  std::vector<LeafEntryRef> entries;
  entries.reserve(end - begin);
  for (std::size_t i = begin; i < end; ++i) entries.push_back(LeafEntryRef{keys[i], records[i]});
  return entries;
}

}  // namespace

Status CdxUpdater::WriteNode(const CdxTagRef& tag, const Node& n) {
  std::vector<std::byte> page;
  if (n.leaf) {
    EncodeLeaf(LeafEntries(n.keys, n.records, 0, n.size()), LayoutOf(tag.key_length, n.records),
               n.root, NoNode(n.left) ? kCdxNoNode : n.left, NoNode(n.right) ? kCdxNoNode : n.right,
               tag.pad, page);
  } else {
    std::vector<InteriorEntryRef> entries;
    for (std::size_t i = 0; i < n.size(); ++i) {
      entries.push_back(InteriorEntryRef{n.keys[i], n.records[i], n.children[i]});
    }
    EncodeInterior(entries, n.root, NoNode(n.left) ? kCdxNoNode : n.left,
                   NoNode(n.right) ? kCdxNoNode : n.right, page);
  }
  KT_RETURN_IF_ERROR(Touch());
  return file_->WriteAt(n.offset, page);
}

Status CdxUpdater::PatchSibling(uint32_t node_offset, std::size_t field, uint32_t value) {
  if (NoNode(node_offset)) return Status::Ok();
  if (node_offset % kCdxPageSize != 0 || uint64_t{node_offset} + kCdxPageSize > file_size_) {
    return Status::Corruption(file_->path().filename().string() + ": sibling " +
                              std::to_string(node_offset) + " out of range");
  }
  std::array<std::byte, 4> raw;
  EncodeFixedLE32(raw.data(), value);
  KT_RETURN_IF_ERROR(Touch());
  return file_->WriteAt(node_offset + field, raw);
}

Result<uint32_t> CdxUpdater::Allocate() {
  if (!NoNode(free_head_)) {
    const uint32_t page = free_head_;
    if (page % kCdxPageSize != 0 || page < CdxTagHeader::kEncodedLength ||
        uint64_t{page} + kCdxPageSize > file_size_) {
      return Status::Corruption(file_->path().filename().string() + ": free list points to " +
                                std::to_string(page) + ", outside the file");
    }
    std::array<std::byte, 4> next;
    KT_RETURN_IF_ERROR(file_->ReadExact(page, next, "free page"));
    free_head_ = DecodeFixedLE32(next.data());
    return page;
  }
  if (file_size_ + kCdxPageSize > 0xFFFFFE00u) {
    return Status::InvalidArgument(file_->path().filename().string() + ": index would exceed 4 GiB");
  }
  const auto page = static_cast<uint32_t>(file_size_);
  file_size_ += kCdxPageSize;
  return page;
}

// A free page holds the next free page's offset in its first 4 bytes and zeros after them.
Status CdxUpdater::Free(uint32_t offset) {
  std::array<std::byte, kCdxPageSize> page{};
  EncodeFixedLE32(page.data(), free_head_);
  KT_RETURN_IF_ERROR(Touch());
  KT_RETURN_IF_ERROR(file_->WriteAt(offset, page));
  free_head_ = offset;
  return Status::Ok();
}

Result<uint32_t> CdxUpdater::ReadRoot(const CdxTagRef& tag) {
  std::array<std::byte, 4> raw;
  KT_RETURN_IF_ERROR(file_->ReadExact(tag.header_offset + CdxTagHeader::kRootOffset, raw, "tag root"));
  return DecodeFixedLE32(raw.data());
}

Status CdxUpdater::WriteRoot(const CdxTagRef& tag, uint32_t root) {
  std::array<std::byte, 4> raw;
  EncodeFixedLE32(raw.data(), root);
  KT_RETURN_IF_ERROR(Touch());
  return file_->WriteAt(tag.header_offset + CdxTagHeader::kRootOffset, raw);
}

std::size_t CdxUpdater::NodeBytes(const CdxTagRef& tag, const Node& n) const {
  if (!n.leaf) return n.size() * (static_cast<std::size_t>(tag.key_length) + 8);
  return LeafUsedBytes(LeafEntries(n.keys, n.records, 0, n.size()),
                       LayoutOf(tag.key_length, n.records), tag.pad);
}

std::size_t CdxUpdater::Capacity(const Node& n) const {
  return n.leaf ? CdxNode::kLeafSpace : CdxNode::kInteriorSpace;
}

Result<std::vector<CdxUpdater::Level>> CdxUpdater::Descend(const CdxTagRef& tag,
                                                           std::string_view key, uint32_t recno) {
  std::vector<Level> path;
  KT_ASSIGN_OR_RETURN(uint32_t offset, ReadRoot(tag));
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    KT_ASSIGN_OR_RETURN(Node node, ReadNode(tag, offset));
    // First entry at or after the target; for an interior node, the last when none is.
    std::size_t lo = 0, hi = node.size();
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (ComparePair(node.keys[mid], node.records[mid], key, recno) >= 0) hi = mid; else lo = mid + 1;
    }
    if (node.leaf) {
      path.push_back(Level{std::move(node), lo});
      return path;
    }
    if (node.size() == 0) return Status::Corruption(Where(tag) + "interior node without keys");
    if (lo == node.size()) lo = node.size() - 1;
    offset = node.children[lo];
    path.push_back(Level{std::move(node), lo});
  }
  return Status::Corruption(Where(tag) + "tree deeper than 64 levels (a loop?)");
}

// Whether the tag holds `key` for any record; `pos` is where (key, recno) belongs in `leaf`.
Result<bool> CdxUpdater::HoldsKey(const CdxTagRef& tag, const Node& leaf, std::size_t pos,
                                  std::string_view key) {
  if (pos > 0 && leaf.keys[pos - 1] == key) return true;
  if (pos < leaf.size() && leaf.keys[pos] == key) return true;
  // Equal keys sort by record number, so the neighbours may hold one.
  if (pos == 0 && !NoNode(leaf.left)) {
    KT_ASSIGN_OR_RETURN(Node left, ReadNode(tag, leaf.left));
    if (left.size() > 0 && left.keys.back() == key) return true;
  }
  if (pos == leaf.size() && !NoNode(leaf.right)) {
    KT_ASSIGN_OR_RETURN(Node right, ReadNode(tag, leaf.right));
    if (right.size() > 0 && right.keys.front() == key) return true;
  }
  return false;
}

Status CdxUpdater::Insert(const CdxTagRef& tag, std::string_view key, uint32_t recno) {
  if (!active_) return Status::InvalidArgument(Where(tag) + "insert outside an update");
  if (key.size() != static_cast<std::size_t>(tag.key_length)) {
    return Status::InvalidArgument(Where(tag) + "key of " + std::to_string(key.size()) + " bytes");
  }
  KT_ASSIGN_OR_RETURN(std::vector<Level> path, Descend(tag, key, recno));
  Level& leaf = path.back();
  const std::size_t pos = leaf.index;
  if (pos < leaf.node.size() && leaf.node.records[pos] == recno && leaf.node.keys[pos] == key) {
    return Status::Ok();
  }
  if (tag.unique) {
    KT_ASSIGN_OR_RETURN(bool held, HoldsKey(tag, leaf.node, pos, key));
    if (held) return Status::Ok();
  }
  leaf.node.keys.insert(leaf.node.keys.begin() + static_cast<std::ptrdiff_t>(pos), std::string(key));
  leaf.node.records.insert(leaf.node.records.begin() + static_cast<std::ptrdiff_t>(pos), recno);
  return Rebalance(tag, path);
}

Status CdxUpdater::Remove(const CdxTagRef& tag, std::string_view key, uint32_t recno) {
  if (!active_) return Status::InvalidArgument(Where(tag) + "remove outside an update");
  if (key.size() != static_cast<std::size_t>(tag.key_length)) {
    return Status::InvalidArgument(Where(tag) + "key of " + std::to_string(key.size()) + " bytes");
  }
  KT_ASSIGN_OR_RETURN(std::vector<Level> path, Descend(tag, key, recno));
  Level& leaf = path.back();
  const std::size_t pos = leaf.index;
  if (pos >= leaf.node.size() || leaf.node.records[pos] != recno || leaf.node.keys[pos] != key) {
    return Status::NotFound(Where(tag) + "no entry for record " + std::to_string(recno));
  }
  leaf.node.keys.erase(leaf.node.keys.begin() + static_cast<std::ptrdiff_t>(pos));
  leaf.node.records.erase(leaf.node.records.begin() + static_cast<std::ptrdiff_t>(pos));
  return Rebalance(tag, path);
}

// Where to cut an overflowing node: interior nodes in halves, leaves into the fewest pieces that
// fit, as even as the key bytes allow (two pieces unless keys are very long).
std::vector<std::size_t> CdxUpdater::SplitPoints(const CdxTagRef& tag, const Node& n) const {
  const std::size_t count = n.size();
  if (!n.leaf) return {count / 2};
  const LeafLayout layout = LayoutOf(tag.key_length, n.records);
  std::vector<std::size_t> chained(count), alone(count);
  for (std::size_t i = 0; i < count; ++i) {
    const LeafKeySplit c = SplitLeafKey(n.keys[i], i ? std::string_view(n.keys[i - 1]) : "", tag.pad);
    const LeafKeySplit a = SplitLeafKey(n.keys[i], "", tag.pad);
    chained[i] = layout.entry_bytes + n.keys[i].size() - c.dup - c.trail;
    alone[i] = layout.entry_bytes + n.keys[i].size() - a.dup - a.trail;
  }
  std::size_t total = 0;
  for (std::size_t b : chained) total += b;
  std::size_t best = 0, best_cost = SIZE_MAX, left = 0;
  for (std::size_t k = 1; k < count; ++k) {
    left += chained[k - 1];
    const std::size_t right = total - left - chained[k] + alone[k];
    if (left <= CdxNode::kLeafSpace && right <= CdxNode::kLeafSpace &&
        std::max(left, right) < best_cost) {
      best_cost = std::max(left, right);
      best = k;
    }
  }
  if (best > 0) return {best};
  // Greedy: as many entries per piece as fit.
  std::vector<std::size_t> cuts;
  std::size_t used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t need = used == 0 ? alone[i] : chained[i];
    if (used > 0 && used + need > CdxNode::kLeafSpace) {
      cuts.push_back(i);
      used = alone[i];
    } else {
      used += need;
    }
  }
  return cuts;
}

// Cuts `node` into pieces: the first keeps its page, the others get new pages to its right. The
// parent (in memory) gets one entry per piece; a root that splits gets a new root above it.
Status CdxUpdater::Split(const CdxTagRef& tag, Node& node, Level* parent) {
  const std::vector<std::size_t> cuts = SplitPoints(tag, node);
  if (cuts.empty()) return Status::Corruption(Where(tag) + "an entry larger than a node");
  std::vector<Node> pieces;
  for (std::size_t c = 0; c < cuts.size(); ++c) {
    const std::size_t begin = cuts[c];
    const std::size_t end = c + 1 < cuts.size() ? cuts[c + 1] : node.size();
    Node piece;
    piece.leaf = node.leaf;
    piece.keys.assign(node.keys.begin() + begin, node.keys.begin() + end);
    piece.records.assign(node.records.begin() + begin, node.records.begin() + end);
    if (!node.leaf) piece.children.assign(node.children.begin() + begin, node.children.begin() + end);
    KT_ASSIGN_OR_RETURN(piece.offset, Allocate());
    pieces.push_back(std::move(piece));
  }
  const std::size_t keep = cuts.front();
  node.keys.resize(keep);
  node.records.resize(keep);
  if (!node.leaf) node.children.resize(keep);
  const bool was_root = node.root;
  node.root = false;
  const uint32_t old_right = node.right;
  for (std::size_t c = 0; c < pieces.size(); ++c) {
    pieces[c].left = c == 0 ? node.offset : pieces[c - 1].offset;
    pieces[c].right = c + 1 < pieces.size() ? pieces[c + 1].offset : old_right;
  }
  node.right = pieces.front().offset;
  // New pages first, so nothing ever points to a page not yet written.
  for (const Node& p : pieces) KT_RETURN_IF_ERROR(WriteNode(tag, p));
  KT_RETURN_IF_ERROR(WriteNode(tag, node));
  KT_RETURN_IF_ERROR(PatchSibling(old_right, CdxNode::kLeftOffset, pieces.back().offset));

  if (was_root || parent == nullptr) {
    Node root;
    root.leaf = false;
    root.root = true;
    KT_ASSIGN_OR_RETURN(root.offset, Allocate());
    root.keys.push_back(node.keys.back());
    root.records.push_back(node.records.back());
    root.children.push_back(node.offset);
    for (const Node& p : pieces) {
      root.keys.push_back(p.keys.back());
      root.records.push_back(p.records.back());
      root.children.push_back(p.offset);
    }
    if (NodeBytes(tag, root) > Capacity(root)) {
      return Status::InvalidArgument(Where(tag) + "root split into too many pieces");
    }
    KT_RETURN_IF_ERROR(WriteNode(tag, root));
    return WriteRoot(tag, root.offset);
  }
  Node& up = parent->node;
  const std::size_t i = parent->index;
  up.keys[i] = node.keys.back();
  up.records[i] = node.records.back();
  for (std::size_t c = 0; c < pieces.size(); ++c) {
    const auto at = static_cast<std::ptrdiff_t>(i + 1 + c);
    up.keys.insert(up.keys.begin() + at, pieces[c].keys.back());
    up.records.insert(up.records.begin() + at, pieces[c].records.back());
    up.children.insert(up.children.begin() + at, pieces[c].offset);
  }
  return Status::Ok();
}

// Joins `node` with its neighbour under the same parent when both fit one node; the left one of
// the two keeps its page. Returns false (and changes nothing) when they do not fit.
Result<bool> CdxUpdater::Join(const CdxTagRef& tag, Node& node, Level& parent) {
  Node& up = parent.node;
  const std::size_t i = parent.index;
  const bool with_right = i + 1 < up.size() && up.children[i + 1] == node.right;
  const bool with_left = !with_right && i > 0 && up.children[i - 1] == node.left;
  if (!with_right && !with_left) return false;
  KT_ASSIGN_OR_RETURN(Node other, ReadNode(tag, with_right ? node.right : node.left));
  if (other.leaf != node.leaf) return Status::Corruption(Where(tag) + "siblings on different levels");
  Node& left = with_right ? node : other;
  Node& right = with_right ? other : node;
  Node merged = left;
  merged.keys.insert(merged.keys.end(), right.keys.begin(), right.keys.end());
  merged.records.insert(merged.records.end(), right.records.begin(), right.records.end());
  merged.children.insert(merged.children.end(), right.children.begin(), right.children.end());
  merged.right = right.right;
  if (NodeBytes(tag, merged) > Capacity(merged)) return false;
  const std::size_t left_index = with_right ? i : i - 1;
  const uint32_t freed = right.offset;
  KT_RETURN_IF_ERROR(WriteNode(tag, merged));
  KT_RETURN_IF_ERROR(PatchSibling(merged.right, CdxNode::kLeftOffset, merged.offset));
  KT_RETURN_IF_ERROR(Free(freed));
  up.keys.erase(up.keys.begin() + static_cast<std::ptrdiff_t>(left_index + 1));
  up.records.erase(up.records.begin() + static_cast<std::ptrdiff_t>(left_index + 1));
  up.children.erase(up.children.begin() + static_cast<std::ptrdiff_t>(left_index + 1));
  up.keys[left_index] = merged.keys.back();
  up.records[left_index] = merged.records.back();
  return true;
}

// A root with a single child hands the root over to it, level by level.
Status CdxUpdater::Collapse(const CdxTagRef& tag, Node root) {
  while (!root.leaf && root.size() == 1) {
    KT_ASSIGN_OR_RETURN(Node child, ReadNode(tag, root.children[0]));
    child.root = true;
    child.left = child.right = kCdxNoNode;
    KT_RETURN_IF_ERROR(WriteNode(tag, child));
    KT_RETURN_IF_ERROR(WriteRoot(tag, child.offset));
    KT_RETURN_IF_ERROR(Free(root.offset));
    root = std::move(child);
  }
  return Status::Ok();
}

Status CdxUpdater::Rebalance(const CdxTagRef& tag, std::vector<Level>& path) {
  for (std::size_t level = path.size(); level-- > 0;) {
    Node& node = path[level].node;
    Level* parent = level == 0 ? nullptr : &path[level - 1];
    if (NodeBytes(tag, node) > Capacity(node)) {
      KT_RETURN_IF_ERROR(Split(tag, node, parent));
      if (parent == nullptr) return Status::Ok();
      continue;
    }
    if (node.size() == 0) {
      if (parent == nullptr) {
        // The last entry left the tree: an empty tag is one empty leaf that is the root.
        node.leaf = true;
        node.children.clear();
        node.left = node.right = kCdxNoNode;
        return WriteNode(tag, node);
      }
      KT_RETURN_IF_ERROR(PatchSibling(node.left, CdxNode::kRightOffset, node.right));
      KT_RETURN_IF_ERROR(PatchSibling(node.right, CdxNode::kLeftOffset, node.left));
      KT_RETURN_IF_ERROR(Free(node.offset));
      Node& up = parent->node;
      const auto at = static_cast<std::ptrdiff_t>(parent->index);
      up.keys.erase(up.keys.begin() + at);
      up.records.erase(up.records.begin() + at);
      up.children.erase(up.children.begin() + at);
      continue;
    }
    if (parent != nullptr && NodeBytes(tag, node) < Capacity(node) / 3) {
      KT_ASSIGN_OR_RETURN(bool joined, Join(tag, node, *parent));
      if (joined) continue;
    }
    KT_RETURN_IF_ERROR(WriteNode(tag, node));
    if (parent == nullptr) return Collapse(tag, node);
    Node& up = parent->node;
    const std::size_t i = parent->index;
    if (up.keys[i] == node.keys.back() && up.records[i] == node.records.back()) return Status::Ok();
    up.keys[i] = node.keys.back();
    up.records[i] = node.records.back();
  }
  return Status::Ok();
}

}  // namespace kt::data
