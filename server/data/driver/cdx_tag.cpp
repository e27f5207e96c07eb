#include "server/data/driver/cdx_tag.h"

#include <algorithm>
#include <cstring>

#include "common/text/text.h"
#include "server/data/driver/expression.h"
#include "server/data/driver/key_encoding.h"

namespace kt::data {

namespace {

constexpr int kMaxDepth = 64;

int CompareBytes(std::string_view a, std::string_view b, std::size_t n) {
  return std::memcmp(a.data(), b.data(), n);
}

// Orders (key, record) pairs as the tree does.
int ComparePair(std::string_view ka, uint32_t ra, std::string_view kb, uint32_t rb) {
  const int c = CompareBytes(ka, kb, ka.size());
  if (c != 0) return c;
  return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

}  // namespace

// A descent target: a prefix bound (lower or upper), the first or last entry, or an exact
// (key, record) pair for repositioning.
struct CdxTag::Target {
  enum class Kind { kFirst, kLast, kLower, kUpper, kPair } kind;
  std::string_view key;
  uint32_t recno = 0;

  // True when entry i of `node` is at or after the target (the target lies in its subtree).
  bool AtOrAfter(const CdxNode& node, std::size_t i) const {
    switch (kind) {
      case Kind::kFirst: return true;
      case Kind::kLast: return false;
      case Kind::kLower: return CompareBytes(node.key(i), key, key.size()) >= 0;
      case Kind::kUpper: return CompareBytes(node.key(i), key, key.size()) > 0;
      case Kind::kPair: return ComparePair(node.key(i), node.records[i], key, recno) >= 0;
    }
    return true;
  }
  std::size_t Find(const CdxNode& node) const {
    if (kind == Kind::kLast) return node.size();
    std::size_t lo = 0, hi = node.size();
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (AtOrAfter(node, mid)) hi = mid; else lo = mid + 1;
    }
    return lo;
  }
};

Result<CdxTag> CdxTag::Load(std::shared_ptr<CdxFile> file, const CdxTagEntry& entry,
                            const std::vector<DbfField>& fields) {
  return Load(std::move(file), entry, std::make_shared<const std::vector<DbfField>>(fields));
}

Result<CdxTag> CdxTag::Load(std::shared_ptr<CdxFile> file, const CdxTagEntry& entry,
                            std::shared_ptr<const std::vector<DbfField>> fields) {
  KT_ASSIGN_OR_RETURN(CdxSnapshot snap, file->Begin());
  KT_ASSIGN_OR_RETURN(CdxTagHeader header, file->ReadTagHeader(entry.header_offset, snap));
  TagInfo info;
  info.name = entry.name;
  CdxTag tag(std::move(file), entry.header_offset, std::move(info));
  tag.fields_ = std::move(fields);
  KT_RETURN_IF_ERROR(tag.Define(header));
  return tag;
}

Status CdxTag::Define(const CdxTagHeader& header) {
  TagInfo info;
  info.name = info_.name;
  info.key_expression = header.key_expression;
  info.for_expression = header.for_expression;
  info.descending = header.descending;
  info.unique = header.unique();
  info.key_length = header.key_length;
  auto expr = Expression::Parse(header.key_expression, *fields_);
  std::shared_ptr<const Expression> key_expr, for_expr;
  if (expr.ok()) {
    info.key_type = expr->result_type();
    key_expr = std::make_shared<const Expression>(std::move(expr).value());
    if (!header.for_expression.empty()) {
      auto parsed_for = Expression::Parse(header.for_expression, *fields_);
      if (parsed_for.ok()) {
        for_expr = std::make_shared<const Expression>(std::move(parsed_for).value());
      } else {
        key_expr.reset();  // cannot tell which records belong to the tag
      }
    }
  } else {
    // An expression we cannot evaluate: judge by the key length.
    info.key_type = header.key_length == 8 ? 'N' : header.key_length == 1 ? 'L' : 'C';
  }
  const bool integer_keys = info.key_type == 'N' && info.key_length == kIntegerKeyLength;
  if ((info.key_type == 'N' || info.key_type == 'D') && info.key_length != kNumericKeyLength &&
      !integer_keys) {
    return Status::Corruption(file_->path().filename().string() + ": tag " + info.name +
                              ": numeric key of length " + std::to_string(info.key_length));
  }
  info_ = std::move(info);
  pad_ = KeyPadByte(info_.key_type);
  key_expr_ = std::move(key_expr);
  for_expr_ = std::move(for_expr);
  char_field_.reset();
  if (key_expr_ && !for_expr_ && info_.key_type == 'C') char_field_ = key_expr_->AsCharField();
  return Status::Ok();
}

Result<uint32_t> CdxTag::Root(const CdxSnapshot& snap) {
  if (root_generation_ != snap.generation) {
    // The file changed: the tag may have moved (rebuilt in place) or been redefined.
    KT_ASSIGN_OR_RETURN(std::vector<CdxTagEntry> directory, file_->Directory(snap));
    const auto entry = std::find_if(directory.begin(), directory.end(),
                                    [&](const CdxTagEntry& e) { return e.name == info_.name; });
    if (entry == directory.end()) {
      return Status::Corruption(file_->path().filename().string() + ": tag " + info_.name +
                                " is no longer in the tag directory");
    }
    KT_ASSIGN_OR_RETURN(CdxTagHeader header, file_->ReadTagHeader(entry->header_offset, snap));
    if (header.key_length != info_.key_length || header.key_expression != info_.key_expression ||
        header.for_expression != info_.for_expression || header.descending != info_.descending) {
      KT_RETURN_IF_ERROR(Define(header));
    }
    header_offset_ = entry->header_offset;
    root_ = header.root;
    root_generation_ = snap.generation;
  }
  return root_;
}

Result<std::shared_ptr<const CdxNode>> CdxTag::Node(uint32_t offset, const CdxSnapshot& snap) {
  return file_->ReadNode(offset, info_.key_length, pad_, snap);
}

Result<const CdxNode*> CdxTag::InteriorNode(uint32_t offset, const CdxSnapshot& snap) {
  if (local_.empty()) local_.resize(kLocalSlots);
  LocalSlot& slot = local_[(offset / kCdxPageSize) % kLocalSlots];
  if (slot.node && slot.offset == offset && slot.generation == snap.generation) {
    return slot.node.get();
  }
  KT_ASSIGN_OR_RETURN(slot.node, Node(offset, snap));
  slot.offset = offset;
  slot.generation = snap.generation;
  return slot.node.get();
}

Result<std::optional<CdxPosition>> CdxTag::Descend(const Target& target, const CdxSnapshot& snap) {
  KT_ASSIGN_OR_RETURN(uint32_t offset, Root(snap));
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    KT_ASSIGN_OR_RETURN(const CdxNode* peek, InteriorNode(offset, snap));
    if (!peek->leaf()) {
      std::size_t i = target.Find(*peek);
      // Past every entry: the target is beyond this subtree; the leaf step moves right.
      if (i == peek->size()) i = peek->size() - 1;
      offset = peek->children[i];
      continue;
    }
    std::shared_ptr<const CdxNode> node = local_[(offset / kCdxPageSize) % kLocalSlots].node;
    const std::size_t i = target.Find(*node);
    if (target.kind == Target::Kind::kLast) {
      if (node->size() == 0) {
        if (depth == 0) return std::optional<CdxPosition>();  // empty tag
        return StepLeft(node, snap);
      }
      return std::optional<CdxPosition>(CdxPosition{node, node->size() - 1, snap.generation});
    }
    if (node->size() == 0 && depth == 0) return std::optional<CdxPosition>();  // empty tag
    if (i == node->size()) return StepRight(node, snap);
    return std::optional<CdxPosition>(CdxPosition{node, i, snap.generation});
  }
  return Status::Corruption(file_->path().filename().string() + ": tag " + info_.name +
                            ": tree deeper than 64 levels (a loop?)");
}

Result<std::optional<CdxPosition>> CdxTag::StepRight(std::shared_ptr<const CdxNode> leaf,
                                                     const CdxSnapshot& snap) {
  const uint64_t max_steps = snap.file_size / kCdxPageSize;
  std::shared_ptr<const CdxNode> from = leaf;
  for (uint64_t steps = 0; steps <= max_steps; ++steps) {
    if (leaf->right == kCdxNoNode) return std::optional<CdxPosition>();
    KT_ASSIGN_OR_RETURN(std::shared_ptr<const CdxNode> next, Node(leaf->right, snap));
    if (!next->leaf() || next->left != leaf->offset) {
      return Status::Corruption(file_->path().filename().string() + ": tag " + info_.name +
                                ": leaf sibling links disagree");
    }
    if (next->size() > 0) {
      if (from->size() > 0 &&
          ComparePair(from->key(from->size() - 1), from->records.back(), next->key(0),
                      next->records[0]) >= 0) {
        return Status::Corruption(file_->path().filename().string() + ": tag " + info_.name +
                                  ": keys do not ascend across leaves");
      }
      return std::optional<CdxPosition>(CdxPosition{next, 0, snap.generation});
    }
    leaf = next;
  }
  return Status::Corruption(file_->path().filename().string() + ": tag " + info_.name +
                            ": sibling chain loops");
}

Result<std::optional<CdxPosition>> CdxTag::StepLeft(std::shared_ptr<const CdxNode> leaf,
                                                    const CdxSnapshot& snap) {
  const uint64_t max_steps = snap.file_size / kCdxPageSize;
  std::shared_ptr<const CdxNode> from = leaf;
  for (uint64_t steps = 0; steps <= max_steps; ++steps) {
    if (leaf->left == kCdxNoNode) return std::optional<CdxPosition>();
    KT_ASSIGN_OR_RETURN(std::shared_ptr<const CdxNode> prev, Node(leaf->left, snap));
    if (!prev->leaf() || prev->right != leaf->offset) {
      return Status::Corruption(file_->path().filename().string() + ": tag " + info_.name +
                                ": leaf sibling links disagree");
    }
    if (prev->size() > 0) {
      if (from->size() > 0 &&
          ComparePair(prev->key(prev->size() - 1), prev->records.back(), from->key(0),
                      from->records[0]) >= 0) {
        return Status::Corruption(file_->path().filename().string() + ": tag " + info_.name +
                                  ": keys do not ascend across leaves");
      }
      return std::optional<CdxPosition>(CdxPosition{prev, prev->size() - 1, snap.generation});
    }
    leaf = prev;
  }
  return Status::Corruption(file_->path().filename().string() + ": tag " + info_.name +
                            ": sibling chain loops");
}

Result<std::optional<CdxPosition>> CdxTag::Reposition(const CdxPosition& pos,
                                                      const CdxSnapshot& snap) {
  const std::string key(pos.key());
  Target target{Target::Kind::kPair, key, pos.recno()};
  return Descend(target, snap);
}

Result<std::optional<CdxPosition>> CdxTag::First() {
  KT_ASSIGN_OR_RETURN(CdxSnapshot snap, file_->Begin());
  return Descend(Target{Target::Kind::kFirst, {}, 0}, snap);
}

Result<std::optional<CdxPosition>> CdxTag::Last() {
  KT_ASSIGN_OR_RETURN(CdxSnapshot snap, file_->Begin());
  return Descend(Target{Target::Kind::kLast, {}, 0}, snap);
}

Result<std::optional<CdxPosition>> CdxTag::Bound(std::string_view search, bool upper) {
  KT_ASSIGN_OR_RETURN(CdxSnapshot snap, file_->Begin());
  search = search.substr(0, static_cast<std::size_t>(info_.key_length));
  return Descend(Target{upper ? Target::Kind::kUpper : Target::Kind::kLower, search, 0}, snap);
}

Result<std::optional<CdxPosition>> CdxTag::Next(const CdxPosition& pos) {
  KT_ASSIGN_OR_RETURN(CdxSnapshot snap, file_->Begin());
  CdxPosition here = pos;
  if (pos.generation != snap.generation) {
    KT_ASSIGN_OR_RETURN(std::optional<CdxPosition> again, Reposition(pos, snap));
    if (!again) return again;
    // The entry we stood on is gone: the one now in its place is the next.
    if (again->recno() != pos.recno() || again->key() != pos.key()) return again;
    here = *again;
  }
  if (here.index + 1 < here.leaf->size()) {
    return std::optional<CdxPosition>(CdxPosition{here.leaf, here.index + 1, snap.generation});
  }
  return StepRight(here.leaf, snap);
}

Result<std::optional<CdxPosition>> CdxTag::Prev(const CdxPosition& pos) {
  KT_ASSIGN_OR_RETURN(CdxSnapshot snap, file_->Begin());
  CdxPosition here = pos;
  if (pos.generation != snap.generation) {
    KT_ASSIGN_OR_RETURN(std::optional<CdxPosition> again, Reposition(pos, snap));
    if (!again) {
      // Everything that remains lies before the old position.
      return Descend(Target{Target::Kind::kLast, {}, 0}, snap);
    }
    here = *again;
  }
  if (here.index > 0) {
    return std::optional<CdxPosition>(CdxPosition{here.leaf, here.index - 1, snap.generation});
  }
  return StepLeft(here.leaf, snap);
}

Result<std::optional<CdxPosition>> CdxTag::Find(std::string_view key, uint32_t recno) {
  KT_ASSIGN_OR_RETURN(CdxSnapshot snap, file_->Begin());
  const std::string full = EncodeCharKey(key, info_.key_length);
  return Descend(Target{Target::Kind::kPair, full, recno}, snap);
}

Result<std::optional<std::string>> CdxTag::KeyOf(std::string_view record) const {
  return EncodedKey(record, std::nullopt);
}

Result<std::optional<std::string>> CdxTag::EncodedKey(std::string_view record,
                                                      std::optional<std::size_t> leading) const {
  if (!key_expr_) {
    return Status::InvalidArgument("tag " + info_.name + ": key expression not understood");
  }
  if (for_expr_) {
    KT_ASSIGN_OR_RETURN(Value in, for_expr_->Evaluate(record));
    if (in.type != 'L') return Status::InvalidArgument("tag " + info_.name + ": FOR is not logical");
    if (!in.logical) return std::optional<std::string>();
  }
  KT_ASSIGN_OR_RETURN(Value v, leading ? key_expr_->EvaluateLeading(record, *leading) : key_expr_->Evaluate(record));
  return std::optional<std::string>(EncodeKeyValue(v, info_.key_length));
}

Result<bool> CdxTag::KeyBeginsWith(std::string_view record, std::string_view search) const {
  if (char_field_ && char_field_->offset + char_field_->width <= record.size()) {
    // The key is the field cut or blank-padded to the key length.
    const std::string_view field = record.substr(char_field_->offset, char_field_->width);
    const std::size_t key_length = static_cast<std::size_t>(info_.key_length);
    if (search.size() > key_length) return false;
    for (std::size_t i = 0; i < search.size(); ++i) {
      char c = i < field.size() ? field[i] : ' ';
      if (char_field_->upper) c = text::UpperAscii(c);
      if (c != search[i]) return false;
    }
    return true;
  }
  // Only the beginning is compared: of a key such as STRZERO(ID,10)+DTOS(DATE) sought by its
  // first part, the rest is not evaluated.
  KT_ASSIGN_OR_RETURN(const std::optional<std::string> key, EncodedKey(record, search.size()));
  return key && key->compare(0, search.size(), search) == 0;
}

bool CdxTag::Matches(const CdxPosition& pos, std::string_view search) const {
  search = search.substr(0, static_cast<std::size_t>(info_.key_length));
  return CompareBytes(pos.key(), search, search.size()) == 0;
}

}  // namespace kt::data
