#include "server/data/driver/index_check.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/coding.h"
#include "server/data/driver/cdx_file.h"
#include "server/data/driver/cdx_header.h"
#include "server/data/driver/cdx_node.h"
#include "server/data/driver/cdx_tag.h"
#include "server/data/driver/dbf_table.h"
#include "server/data/driver/file_lookup.h"
#include "server/data/driver/key_encoding.h"

namespace kt::data {

namespace {

constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxProblems = 20;

using Entry = std::pair<std::string, uint32_t>;

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

class Checker {
 public:
  Checker(std::shared_ptr<SharedFile> file, uint64_t size) : file_(std::move(file)), size_(size) {}

  void Problem(std::string text) {
    if (problems_.size() < kMaxProblems) problems_.push_back(std::move(text));
    ++problem_count_;
  }
  bool clean() const { return problem_count_ == 0; }
  std::string Report() const {
    std::string out = std::to_string(problem_count_) + " problem(s) in the index:";
    for (const std::string& p : problems_) out += "\n  " + p;
    return out;
  }

  // All entries of one tree in stored order, checking the tree on the way.
  std::vector<Entry> Tree(const std::string& name, uint32_t root, int key_length, uint8_t pad) {
    name_ = name;
    key_length_ = key_length;
    pad_ = pad;
    levels_.clear();
    leaf_depth_ = -1;
    std::vector<Entry> entries;
    Walk(root, 0, true, entries);
    for (std::size_t i = 1; i < entries.size(); ++i) {
      if (entries[i - 1] >= entries[i]) {
        Problem(name + ": entries " + std::to_string(i - 1) + " and " + std::to_string(i) +
                " out of order (records " + std::to_string(entries[i - 1].second) + ", " +
                std::to_string(entries[i].second) + ")");
        break;
      }
    }
    for (std::size_t depth = 0; depth < levels_.size(); ++depth) {
      const auto& level = levels_[depth];
      for (std::size_t i = 0; i < level.size(); ++i) {
        const uint32_t want_left = i == 0 ? kCdxNoNode : level[i - 1].offset;
        const uint32_t want_right = i + 1 == level.size() ? kCdxNoNode : level[i + 1].offset;
        if (level[i].left != want_left || level[i].right != want_right) {
          Problem(name + ": node " + Hex(level[i].offset) + " on level " + std::to_string(depth) +
                  " links to " + Hex(level[i].left) + "/" + Hex(level[i].right) + ", expected " +
                  Hex(want_left) + "/" + Hex(want_right));
        }
      }
    }
    return entries;
  }

  void FreeList(uint32_t head) {
    std::set<uint32_t> seen;
    for (uint32_t page = head; page != 0 && page != kCdxNoNode;) {
      if (page % kCdxPageSize != 0 || page < CdxTagHeader::kEncodedLength ||
          uint64_t{page} + kCdxPageSize > size_) {
        Problem("free list: page " + Hex(page) + " out of range");
        return;
      }
      if (used_.count(page)) Problem("free list: page " + Hex(page) + " is also in a tree");
      if (!seen.insert(page).second) {
        Problem("free list loops at " + Hex(page));
        return;
      }
      std::array<std::byte, 4> next;
      if (!file_->ReadExact(page, next, "free page").ok()) {
        Problem("free list: page " + Hex(page) + " unreadable");
        return;
      }
      page = DecodeFixedLE32(next.data());
    }
  }

 private:
  struct Seen {
    uint32_t offset, left, right;
  };

  std::optional<Entry> Walk(uint32_t offset, int depth, bool is_root, std::vector<Entry>& out) {
    const std::string where = name_ + ": node " + Hex(offset);
    if (depth >= kMaxDepth) {
      Problem(name_ + ": deeper than 64 levels");
      return std::nullopt;
    }
    if (!used_.insert(offset).second) {
      Problem(where + " reached twice");
      return std::nullopt;
    }
    std::array<std::byte, kCdxPageSize> page;
    if (offset % kCdxPageSize != 0 || uint64_t{offset} + kCdxPageSize > size_ ||
        !file_->ReadExact(offset, page, "node").ok()) {
      Problem(where + " out of range");
      return std::nullopt;
    }
    auto node = CdxNode::Decode(page, offset, key_length_, pad_, size_);
    if (!node.ok()) {
      Problem(name_ + ": " + node.status().message());
      return std::nullopt;
    }
    if (((node->attributes & CdxNode::kRootBit) != 0) != is_root) {
      Problem(where + (is_root ? " is the root without the root bit" : " has the root bit"));
    }
    if (levels_.size() <= static_cast<std::size_t>(depth)) levels_.resize(depth + 1);
    levels_[depth].push_back(Seen{offset, node->left, node->right});
    if (node->leaf()) {
      if (leaf_depth_ < 0) leaf_depth_ = depth;
      if (leaf_depth_ != depth) Problem(where + ": leaf on level " + std::to_string(depth));
      if (node->size() == 0 && !is_root) Problem(where + ": empty leaf");
      for (std::size_t i = 0; i < node->size(); ++i) {
        out.emplace_back(std::string(node->key(i)), node->records[i]);
      }
    } else {
      for (std::size_t i = 0; i < node->size(); ++i) {
        const std::optional<Entry> last = Walk(node->children[i], depth + 1, false, out);
        const Entry said{std::string(node->key(i)), node->records[i]};
        if (last && *last != said) {
          Problem(where + ": entry " + std::to_string(i) + " names record " +
                  std::to_string(said.second) + " but its child ends with record " +
                  std::to_string(last->second));
        }
      }
    }
    if (node->size() == 0) return std::nullopt;
    return Entry{std::string(node->key(node->size() - 1)), node->records.back()};
  }

  std::shared_ptr<SharedFile> file_;
  uint64_t size_;
  std::vector<std::string> problems_;
  std::size_t problem_count_ = 0;
  std::set<uint32_t> used_;
  std::string name_;
  int key_length_ = 0;
  uint8_t pad_ = ' ';
  int leaf_depth_ = -1;
  std::vector<std::vector<Seen>> levels_;
};

}  // namespace

Status CheckCompoundIndex(const std::filesystem::path& table_path) {
  auto table_file = FindFileIgnoringCase(table_path);
  if (!table_file) return Status::NotFound(table_path.string() + ": no such file");
  KT_ASSIGN_OR_RETURN(std::unique_ptr<DbfTable> table, DbfTable::Open(*table_file, false));
  const std::string cdx_name = table_file->stem().string() + ".CDX";
  auto cdx_path = FindFileIgnoringCase(table_file->parent_path(), cdx_name);
  if (!cdx_path) return Status::NotFound(cdx_name + ": no such file");
  KT_ASSIGN_OR_RETURN(std::shared_ptr<CdxFile> cdx, CdxFile::Open(*cdx_path));
  KT_ASSIGN_OR_RETURN(std::shared_ptr<SharedFile> raw, OpenSharedFile(*cdx_path, false));
  KT_ASSIGN_OR_RETURN(FileStamp stamp, raw->Stamp());
  Checker check(raw, stamp.size);
  if (stamp.size % kCdxPageSize != 0) check.Problem("file size not a multiple of 512");

  std::vector<std::byte> head(CdxTagHeader::kEncodedLength);
  KT_RETURN_IF_ERROR(raw->ReadExact(0, head, "file header"));
  KT_ASSIGN_OR_RETURN(CdxTagHeader file_header, CdxTagHeader::Decode(head));
  check.Tree("tag directory", file_header.root, file_header.key_length, ' ');

  KT_ASSIGN_OR_RETURN(CdxSnapshot snap, cdx->Begin());
  KT_ASSIGN_OR_RETURN(std::vector<CdxTagEntry> tags, cdx->Directory(snap));
  KT_ASSIGN_OR_RETURN(uint32_t count, table->ReadRecordCount());
  std::vector<std::string> records(count);
  for (uint32_t r = 1; r <= count; ++r) KT_RETURN_IF_ERROR(table->ReadRecord(r, records[r - 1]));

  for (const CdxTagEntry& entry : tags) {
    KT_ASSIGN_OR_RETURN(CdxTag tag, CdxTag::Load(cdx, entry, table->fields()));
    KT_ASSIGN_OR_RETURN(CdxTagHeader header, cdx->ReadTagHeader(entry.header_offset, snap));
    const std::string& name = entry.name;
    const std::vector<Entry> stored =
        check.Tree(name, header.root, header.key_length, KeyPadByte(tag.info().key_type));
    std::vector<std::optional<std::string>> expected(count);
    for (uint32_t r = 1; r <= count; ++r) {
      auto key = tag.KeyOf(records[r - 1]);
      if (!key.ok()) return Status::InvalidArgument(name + ": " + key.status().message());
      expected[r - 1] = std::move(key).value();
    }
    if (!header.unique()) {
      std::vector<Entry> want;
      for (uint32_t r = 1; r <= count; ++r) {
        if (expected[r - 1]) want.emplace_back(*expected[r - 1], r);
      }
      std::sort(want.begin(), want.end());
      if (want != stored) {
        std::vector<Entry> missing, extra;
        std::set_difference(want.begin(), want.end(), stored.begin(), stored.end(),
                            std::back_inserter(missing));
        std::set_difference(stored.begin(), stored.end(), want.begin(), want.end(),
                            std::back_inserter(extra));
        check.Problem(name + ": " + std::to_string(stored.size()) + " entries where the table has " +
                      std::to_string(want.size()) + " keys; " + std::to_string(missing.size()) +
                      " missing (first record " +
                      (missing.empty() ? "-" : std::to_string(missing[0].second)) + "), " +
                      std::to_string(extra.size()) + " not the record's key (first record " +
                      (extra.empty() ? "-" : std::to_string(extra[0].second)) + ")");
      }
      continue;
    }
    for (std::size_t i = 0; i < stored.size(); ++i) {
      const auto& [key, r] = stored[i];
      if (i > 0 && stored[i - 1].first == key) {
        check.Problem(name + ": unique key of record " + std::to_string(r) + " appears twice");
      }
      if (r == 0 || r > count || !expected[r - 1] || *expected[r - 1] != key) {
        check.Problem(name + ": entry of record " + std::to_string(r) + " is not its key");
      }
    }
  }
  check.FreeList(file_header.free_list);
  if (!check.clean()) return Status::Corruption(cdx_path->filename().string() + ": " + check.Report());
  return Status::Ok();
}

}  // namespace kt::data
