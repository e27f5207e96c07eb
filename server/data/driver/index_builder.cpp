// Bulk build of a compound index: every tag's keys are collected from the table, sorted and
// packed into full leaves, interior levels are stacked on top, and the tag directory (a tree
// keyed by tag name whose "record numbers" are tag header offsets) is written last.
//
// File layout written: file header (1024 bytes) | directory nodes | per tag: header (1024),
// leaves, interior levels bottom-up. Readers follow the pointers; this is the usual order.
#include "server/data/driver/index_builder.h"


#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <optional>
#include <set>

#include "common/coding.h"
#include "common/text/text.h"
#include "common/platform/files/native_file.h"
#include "server/data/driver/cdx_header.h"
#include "server/data/driver/cdx_node.h"
#include "server/data/driver/cdx_node_encoder.h"
#include "server/data/driver/dbf_table.h"
#include "server/data/driver/expression.h"
#include "server/data/driver/file_lookup.h"
#include "server/data/driver/key_encoding.h"

namespace kt::data {

namespace {

constexpr int kDirectoryKeyLength = 10;
constexpr std::size_t kReadChunkBytes = 1 << 20;

// Sorted keys of one tree: `keys` holds size() * key_length bytes.
struct KeyList {
  int key_length = 0;
  std::string keys;
  std::vector<uint32_t> records;
  std::size_t size() const { return records.size(); }
  std::string_view key(std::size_t i) const {
    return std::string_view(keys).substr(i * key_length, key_length);
  }
};

struct PreparedTag {
  TagSpec spec;  // name upper case
  std::optional<Expression> key;
  std::optional<Expression> condition;
  char key_type = 'C';
  int key_length = 0;
  KeyList list;
};

bool ValidTagName(const std::string& name) {
  if (name.empty() || name.size() > 10) return false;
  if (!((name[0] >= 'A' && name[0] <= 'Z') || name[0] == '_')) return false;
  for (char c : name) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

Result<PreparedTag> Prepare(const TagSpec& spec, const std::vector<DbfField>& fields) {
  PreparedTag t;
  t.spec = spec;
  t.spec.name = text::UpperAscii(spec.name);
  if (!ValidTagName(t.spec.name)) {
    return Status::InvalidArgument("tag name \"" + spec.name +
                                   "\" must be 1-10 letters, digits or _, starting with a letter");
  }
  if (spec.key_expression.size() + spec.for_expression.size() + 2 > CdxTagHeader::kPoolLength) {
    return Status::InvalidArgument("tag " + t.spec.name + ": expressions longer than 510 bytes");
  }
  KT_ASSIGN_OR_RETURN(t.key, Expression::Parse(spec.key_expression, fields));
  t.key_type = t.key->result_type();
  t.key_length = t.key_type == 'C' ? t.key->result_length() : t.key_type == 'L' ? 1 : kNumericKeyLength;
  if (t.key_length < 1 || t.key_length > CdxTagHeader::kMaxKeyLength) {
    return Status::InvalidArgument("tag " + t.spec.name + ": key length " +
                                   std::to_string(t.key_length) + " outside 1-240");
  }
  if (!spec.for_expression.empty()) {
    KT_ASSIGN_OR_RETURN(Expression cond, Expression::Parse(spec.for_expression, fields));
    if (cond.result_type() != 'L') {
      return Status::InvalidArgument("tag " + t.spec.name + ": FOR expression is not logical");
    }
    t.condition = std::move(cond);
  }
  t.list.key_length = t.key_length;
  return t;
}

Status Collect(PreparedTag& t, std::string_view record, uint32_t recno) {
  if (t.condition) {
    KT_ASSIGN_OR_RETURN(Value in, t.condition->Evaluate(record));
    if (in.type != 'L') return Status::InvalidArgument("tag " + t.spec.name + ": FOR is not logical");
    if (!in.logical) return Status::Ok();
  }
  KT_ASSIGN_OR_RETURN(Value v, t.key->Evaluate(record));
  if (v.type != t.key_type) {
    return Status::InvalidArgument("tag " + t.spec.name + ": key changes type at record " +
                                   std::to_string(recno));
  }
  t.list.keys += EncodeKeyValue(v, t.key_length);
  t.list.records.push_back(recno);
  return Status::Ok();
}

// Sorts by (key bytes, record number); a unique tag keeps the first record of each key.
void SortKeys(KeyList& list, bool unique) {
  std::vector<uint32_t> order(list.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    const int c = std::memcmp(list.key(a).data(), list.key(b).data(), list.key_length);
    return c != 0 ? c < 0 : list.records[a] < list.records[b];
  });
  KeyList sorted;
  sorted.key_length = list.key_length;
  sorted.keys.reserve(list.keys.size());
  sorted.records.reserve(list.size());
  for (uint32_t i : order) {
    if (unique && !sorted.records.empty() && sorted.key(sorted.size() - 1) == list.key(i)) continue;
    sorted.keys += list.key(i);
    sorted.records.push_back(list.records[i]);
  }
  list = std::move(sorted);
}

// Where the entries of a tree go: leaves packed by free space, and the node count of the whole
// tree, which does not depend on where the tree is placed in the file.
struct TreePlan {
  LeafLayout layout;
  std::vector<std::pair<std::size_t, std::size_t>> leaves;  // [begin, end) entry ranges
  std::size_t pages = 0;
};

TreePlan PlanTree(const KeyList& list, uint8_t pad, uint64_t max_record) {
  TreePlan plan;
  plan.layout = LeafLayout::For(list.key_length, max_record);
  const LeafLayout& layout = plan.layout;
  std::size_t begin = 0, used = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string_view prev = i == begin ? std::string_view() : list.key(i - 1);
    LeafKeySplit s = SplitLeafKey(list.key(i), prev, pad);
    std::size_t need = layout.entry_bytes + list.key_length - s.dup - s.trail;
    if (used + need > CdxNode::kLeafSpace) {
      plan.leaves.emplace_back(begin, i);
      begin = i;
      s = SplitLeafKey(list.key(i), {}, pad);
      need = layout.entry_bytes + list.key_length - s.dup - s.trail;
      used = 0;
    }
    used += need;
  }
  plan.leaves.emplace_back(begin, list.size());  // an empty tag is one empty leaf
  plan.pages = plan.leaves.size();
  const std::size_t per_node = CdxNode::kInteriorSpace / (list.key_length + 8);
  for (std::size_t level = plan.leaves.size(); level > 1;) {
    level = (level + per_node - 1) / per_node;
    plan.pages += level;
  }
  return plan;
}

// Writes the tree of `list` as pages starting at `first_page`; returns the root's offset.
uint32_t WriteTree(const KeyList& list, const TreePlan& plan, uint8_t pad, uint32_t first_page,
                   std::vector<std::byte>& file) {
  const LeafLayout& layout = plan.layout;
  const auto& leaves = plan.leaves;
  auto offset_of = [&](std::size_t page_index) {
    return static_cast<uint32_t>(first_page + page_index * kCdxPageSize);
  };
  auto put_page = [&](uint32_t offset, const std::vector<std::byte>& page) {
    if (file.size() < offset + kCdxPageSize) file.resize(offset + kCdxPageSize);
    std::memcpy(file.data() + offset, page.data(), kCdxPageSize);
  };

  std::vector<std::byte> page;
  std::vector<InteriorEntryRef> level;  // entries describing the nodes just written
  const bool leaf_root = leaves.size() == 1;
  for (std::size_t l = 0; l < leaves.size(); ++l) {
    std::vector<LeafEntryRef> entries;
    for (std::size_t i = leaves[l].first; i < leaves[l].second; ++i) {
      entries.push_back(LeafEntryRef{list.key(i), list.records[i]});
    }
    const uint32_t left = l == 0 ? kCdxNoNode : offset_of(l - 1);
    const uint32_t right = l + 1 == leaves.size() ? kCdxNoNode : offset_of(l + 1);
    EncodeLeaf(entries, layout, leaf_root, left, right, pad, page);
    put_page(offset_of(l), page);
    if (!entries.empty()) level.push_back(InteriorEntryRef{entries.back().key, entries.back().record, offset_of(l)});
  }
  if (leaf_root) return offset_of(0);

  std::size_t next_page = leaves.size();
  const std::size_t per_node = CdxNode::kInteriorSpace / (list.key_length + 8);
  while (true) {
    const std::size_t nodes = (level.size() + per_node - 1) / per_node;
    std::vector<InteriorEntryRef> upper;
    for (std::size_t n = 0; n < nodes; ++n) {
      std::vector<InteriorEntryRef> entries(
          level.begin() + n * per_node, level.begin() + std::min(level.size(), (n + 1) * per_node));
      const uint32_t here = offset_of(next_page + n);
      const uint32_t left = n == 0 ? kCdxNoNode : offset_of(next_page + n - 1);
      const uint32_t right = n + 1 == nodes ? kCdxNoNode : offset_of(next_page + n + 1);
      EncodeInterior(entries, nodes == 1, left, right, page);
      put_page(here, page);
      upper.push_back(InteriorEntryRef{entries.back().key, entries.back().record, here});
    }
    next_page += nodes;
    if (nodes == 1) return upper.front().child;
    level = std::move(upper);
  }
}

void PutHeader(const CdxTagHeader& header, uint32_t offset, std::vector<std::byte>& file) {
  std::vector<std::byte> bytes;
  header.EncodeTo(bytes);
  if (file.size() < offset + bytes.size()) file.resize(offset + bytes.size());
  std::memcpy(file.data() + offset, bytes.data(), bytes.size());
}

Status WriteFileReplacing(const std::filesystem::path& target, const std::vector<std::byte>& bytes) {
  return platform::ReplaceFileContents(target, bytes);
}

// The change counter of an existing index file, 0 when there is none.
uint32_t PreviousCounter(const std::filesystem::path& path) {
  auto file = OpenSharedFile(path, /*writable=*/false);
  if (!file.ok()) return 0;
  std::byte raw[4];
  if (!(*file)->ReadExact(CdxTagHeader::kCounterOffset, raw, "change counter").ok()) return 0;
  return DecodeFixedBE32(raw);
}

}  // namespace

Status BuildCompoundIndex(const std::filesystem::path& table_path, const std::vector<TagSpec>& tags) {
  auto found = FindFileIgnoringCase(table_path);
  if (!found) return Status::NotFound(table_path.string() + ": no such file");
  KT_ASSIGN_OR_RETURN(std::unique_ptr<DbfTable> table, DbfTable::Open(*found, /*writable=*/true));

  std::vector<PreparedTag> prepared;
  std::set<std::string> names;
  for (const TagSpec& spec : tags) {
    KT_ASSIGN_OR_RETURN(PreparedTag t, Prepare(spec, table->fields()));
    if (!names.insert(t.spec.name).second) {
      return Status::InvalidArgument("tag " + t.spec.name + " appears twice");
    }
    prepared.push_back(std::move(t));
  }

  // One pass over the table, in chunks of whole records.
  KT_ASSIGN_OR_RETURN(uint32_t count, table->ReadRecordCount());
  const std::size_t record_length = table->record_length();
  const std::size_t per_chunk = std::max<std::size_t>(1, kReadChunkBytes / record_length);
  std::vector<std::byte> chunk;
  for (uint32_t first = 1; first <= count;) {
    const std::size_t n = std::min<std::size_t>(per_chunk, count - first + 1);
    chunk.resize(n * record_length);
    KT_RETURN_IF_ERROR(table->file().ReadExact(
        table->header().header_length + uint64_t{first - 1} * record_length, chunk, "records"));
    for (std::size_t i = 0; i < n; ++i) {
      const std::string_view record(reinterpret_cast<const char*>(chunk.data()) + i * record_length,
                                    record_length);
      for (PreparedTag& t : prepared) {
        KT_RETURN_IF_ERROR(Collect(t, record, first + static_cast<uint32_t>(i)));
      }
    }
    first += static_cast<uint32_t>(n);
  }

  // Plan every tree first: the tag directory goes right after the file header, as other
  // engines place it, and its size depends on the tag header offsets it holds.
  std::vector<TreePlan> plans;
  for (PreparedTag& t : prepared) {
    SortKeys(t.list, t.spec.unique);
    plans.push_back(PlanTree(t.list, KeyPadByte(t.key_type), count));
  }
  std::vector<std::size_t> by_name(prepared.size());
  std::iota(by_name.begin(), by_name.end(), 0u);
  std::sort(by_name.begin(), by_name.end(),
            [&](std::size_t a, std::size_t b) { return prepared[a].spec.name < prepared[b].spec.name; });
  KeyList directory;
  directory.key_length = kDirectoryKeyLength;
  for (std::size_t i : by_name) directory.keys += EncodeCharKey(prepared[i].spec.name, kDirectoryKeyLength);
  directory.records.assign(prepared.size(), 0);

  std::vector<uint32_t> header_offsets(prepared.size());
  TreePlan directory_plan = PlanTree(directory, ' ', 0);
  for (int attempt = 0;; ++attempt) {
    uint64_t offset = CdxTagHeader::kEncodedLength + directory_plan.pages * kCdxPageSize;
    for (std::size_t i = 0; i < prepared.size(); ++i) {
      header_offsets[i] = static_cast<uint32_t>(offset);
      offset += CdxTagHeader::kEncodedLength + plans[i].pages * kCdxPageSize;
    }
    if (offset > 0xFFFFFE00u) return Status::InvalidArgument("index would exceed 4 GiB");
    const uint32_t max_offset = prepared.empty() ? 0 : header_offsets.back();
    TreePlan again = PlanTree(directory, ' ', max_offset);
    if (again.pages == directory_plan.pages && again.layout.entry_bytes == directory_plan.layout.entry_bytes) {
      directory_plan = std::move(again);
      break;
    }
    directory_plan = std::move(again);
    if (attempt > 8) return Status::InvalidArgument("tag directory layout does not settle");
  }
  for (std::size_t n = 0; n < by_name.size(); ++n) directory.records[n] = header_offsets[by_name[n]];

  const std::string cdx_name = found->stem().string() + ".CDX";
  const std::filesystem::path target =
      FindFileIgnoringCase(found->parent_path(), cdx_name).value_or(found->parent_path() / cdx_name);

  std::vector<std::byte> file(CdxTagHeader::kEncodedLength);
  CdxTagHeader file_header;
  // Readers that cache pages watch the change counter: continue the old file's count.
  file_header.counter = PreviousCounter(target) + 1;
  file_header.key_length = kDirectoryKeyLength;
  file_header.options = CdxTagHeader::kCompact | CdxTagHeader::kCompound | CdxTagHeader::kDirectory;
  file_header.root = WriteTree(directory, directory_plan, ' ', CdxTagHeader::kEncodedLength, file);
  PutHeader(file_header, 0, file);

  for (std::size_t i = 0; i < prepared.size(); ++i) {
    PreparedTag& t = prepared[i];
    CdxTagHeader header;
    header.key_length = static_cast<uint16_t>(t.key_length);
    header.options = CdxTagHeader::kCompact | CdxTagHeader::kCompound |
                     (t.spec.unique ? CdxTagHeader::kUnique : 0) |
                     (t.condition ? CdxTagHeader::kHasFor : 0);
    header.descending = t.spec.descending;
    header.key_expression = t.spec.key_expression;
    header.for_expression = t.spec.for_expression;
    const uint32_t first_page = header_offsets[i] + CdxTagHeader::kEncodedLength;
    header.root = WriteTree(t.list, plans[i], KeyPadByte(t.key_type), first_page, file);
    PutHeader(header, header_offsets[i], file);
    t.list = KeyList{};  // release the keys early
  }
  if (file.size() % kCdxPageSize != 0) file.resize((file.size() / kCdxPageSize + 1) * kCdxPageSize);

  KT_RETURN_IF_ERROR(WriteFileReplacing(target, file));

  // Mark the table as having its structural index.
  std::byte flags[1];
  KT_RETURN_IF_ERROR(table->file().ReadExact(DbfHeader::kTableFlagsOffset, flags, "table flags"));
  flags[0] |= std::byte{DbfHeader::kStructuralIndexFlag};
  KT_RETURN_IF_ERROR(table->file().WriteAt(DbfHeader::kTableFlagsOffset, flags));
  return table->file().Sync();
}

}  // namespace kt::data
