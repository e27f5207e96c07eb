// Navigation in one tag of a compound index: top, bottom, next, previous and seeks, always in
// the stored (ascending) order; descending presentation is the work area's business.
//
// Every operation starts by re-validating the file's node cache (CdxFile::Begin). When the file
// changed, the tag is looked up again in the tag directory (a rebuilt index puts its headers
// elsewhere) and its header and root are read again. Walks are guarded: a descent deeper than 64 levels, a sibling
// whose back pointer does not lead back, or keys that do not ascend from one leaf to the next
// are reported as Corruption, so a damaged or looping file cannot hang a reader.
//
// Thread safety: one CdxTag per work area, used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "server/data/driver/cdx_file.h"
#include "server/data/driver/dbf_header.h"
#include "server/data/driver/expression.h"
#include "server/data/driver/work_area.h"

namespace kt::data {

struct CdxPosition {
  std::shared_ptr<const CdxNode> leaf;
  std::size_t index = 0;
  uint64_t generation = 0;

  uint32_t recno() const { return leaf->records[index]; }
  std::string_view key() const { return leaf->key(index); }
};

class CdxTag {
 public:
  // Reads the tag's header and learns its key type from the key expression evaluated on a blank
  // record of `fields` (falling back on the key length when the expression is not understood).
  static Result<CdxTag> Load(std::shared_ptr<CdxFile> file, const CdxTagEntry& entry,
                             const std::vector<DbfField>& fields);
  // The same, sharing one copy of the table's fields among the tags of an index (a work area
  // holds a dozen tags; a thousand sessions would otherwise hold a dozen thousand copies).
  static Result<CdxTag> Load(std::shared_ptr<CdxFile> file, const CdxTagEntry& entry,
                             std::shared_ptr<const std::vector<DbfField>> fields);

  const TagInfo& info() const { return info_; }
  int key_length() const { return info_.key_length; }
  uint32_t header_offset() const { return header_offset_; }
  uint8_t pad() const { return pad_; }
  // Whether KeyOf() works: both expressions are understood, so writers can keep the tag.
  bool keys_known() const { return key_expr_ != nullptr; }

  // nullopt: the tag is empty, or the walk ran off its end (Next) or its start (Prev).
  Result<std::optional<CdxPosition>> First();
  Result<std::optional<CdxPosition>> Last();
  Result<std::optional<CdxPosition>> Next(const CdxPosition& pos);
  Result<std::optional<CdxPosition>> Prev(const CdxPosition& pos);

  // The first entry whose key, compared over the search value's length (cut to the key length),
  // is >= the search value (upper = false) or > it (upper = true). nullopt: none.
  Result<std::optional<CdxPosition>> Bound(std::string_view search, bool upper);

  // The entry of (key, record) or, when there is none, the next after where it would be.
  Result<std::optional<CdxPosition>> Find(std::string_view key, uint32_t recno);

  // The key this tag holds for a record (bytes including the deletion flag); nullopt when the
  // record fails the FOR condition. InvalidArgument when the expressions are not understood.
  Result<std::optional<std::string>> KeyOf(std::string_view record) const;
  // Whether the record's key in this tag begins with `search` (false when the record fails the
  // FOR condition), as KeyOf would tell; a key that is a character field alone or UPPER of one is
  // read straight from the record, without building it. Errors as KeyOf's.
  Result<bool> KeyBeginsWith(std::string_view record, std::string_view search) const;

  // True when the entry's key starts with the search value (cut to the key length).
  bool Matches(const CdxPosition& pos, std::string_view search) const;

  // Whether a key built by KeyOf has agreed with this tag's index entries at least once. Until
  // then a disagreement may mean that our evaluation differs from the engine that built the
  // index (a collation, a function we read otherwise), not that the record changed.
  bool key_agreed() const { return key_agreed_; }
  void NoteKeyAgreed() { key_agreed_ = true; }

 private:
  // The key of `record` as KeyOf builds it; with `leading`, only enough of a concatenated key to
  // hold its first `leading` bytes is evaluated (the rest is then blank).
  Result<std::optional<std::string>> EncodedKey(std::string_view record, std::optional<std::size_t> leading) const;
  CdxTag(std::shared_ptr<CdxFile> file, uint32_t header_offset, TagInfo info)
      : file_(std::move(file)), header_offset_(header_offset), info_(std::move(info)) {}

  // Takes the definitions of `header` (read at the tag's current place): key type, length, pad
  // byte and expressions. Corruption for a numeric key of a length no engine writes.
  Status Define(const CdxTagHeader& header);

  struct Target;  // what a descent looks for
  Result<uint32_t> Root(const CdxSnapshot& snap);
  Result<std::shared_ptr<const CdxNode>> Node(uint32_t offset, const CdxSnapshot& snap);
  // The same, borrowed: valid until the next call on this tag.
  Result<const CdxNode*> InteriorNode(uint32_t offset, const CdxSnapshot& snap);
  Result<std::optional<CdxPosition>> Descend(const Target& target, const CdxSnapshot& snap);
  Result<std::optional<CdxPosition>> StepRight(std::shared_ptr<const CdxNode> leaf,
                                               const CdxSnapshot& snap);
  Result<std::optional<CdxPosition>> StepLeft(std::shared_ptr<const CdxNode> leaf,
                                              const CdxSnapshot& snap);
  // The same entry (or, when it is gone, the one after it) in the current state of the file.
  Result<std::optional<CdxPosition>> Reposition(const CdxPosition& pos, const CdxSnapshot& snap);

  // Nodes this work area met lately, so the levels near the root (visited by every seek) are
  // found without the shared cache's lock and reference counting. Direct-mapped by page.
  struct LocalSlot {
    uint32_t offset = 0;
    uint64_t generation = 0;
    std::shared_ptr<const CdxNode> node;
  };
  static constexpr std::size_t kLocalSlots = 64;
  std::vector<LocalSlot> local_;  // kLocalSlots entries once used

  std::shared_ptr<CdxFile> file_;
  uint32_t header_offset_;
  TagInfo info_;
  uint8_t pad_ = ' ';
  std::shared_ptr<const Expression> key_expr_;  // null when not understood
  std::shared_ptr<const Expression> for_expr_;
  std::optional<Expression::CharField> char_field_;  // the key is this field alone (no FOR)
  std::shared_ptr<const std::vector<DbfField>> fields_;  // of the table, to parse new expressions
  uint64_t root_generation_ = 0;
  bool key_agreed_ = false;
  uint32_t root_ = 0;
};

}  // namespace kt::data
