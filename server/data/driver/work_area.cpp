// The work area over a table file and its compound index.
#include "server/data/driver/work_area.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "common/coding.h"
#include "common/text/text.h"
#include "common/platform/files/file_identity.h"
#include "server/data/driver/cdx_file.h"
#include "server/data/driver/cdx_tag.h"
#include "server/data/driver/cdx_updater.h"
#include "server/data/driver/dbf_table.h"
#include "server/data/driver/field_codec.h"
#include "server/data/driver/file_lookup.h"
#include "server/data/driver/index_read_attempts.h"
#include "server/data/driver/key_encoding.h"
#include "server/data/driver/memo_file.h"
#include "server/data/driver/xbase_locks.h"

namespace kt::data {

namespace {

class TableWorkArea final : public WorkArea {
 public:
  TableWorkArea(std::string alias, std::filesystem::path path, OpenOptions options,
                std::unique_ptr<DbfTable> table)
      : alias_(std::move(alias)), path_(std::move(path)), options_(options) {
    Adopt(std::move(table));
  }

  // Makes `table` the area's table: the field list, the name index and the blank record follow it.
  void Adopt(std::unique_ptr<DbfTable> table) {
    static std::atomic<uint64_t> next_layout_id{1};
    layout_id_ = next_layout_id.fetch_add(1, std::memory_order_relaxed);
    table_ = std::move(table);
    fields_.clear();
    upper_names_.clear();
    field_index_.clear();
    for (const DbfField& f : table_->fields()) {
      fields_.push_back(FieldSpec{f.name, f.type, f.width, f.decimals, f.offset});
      upper_names_.push_back(text::UpperAscii(f.name));
    }
    // Keys view the strings of upper_names_, which are not changed until the next Adopt. The
    // first of two equal names wins, as the linear search did.
    for (std::size_t i = 0; i < upper_names_.size(); ++i) {
      field_index_.emplace(upper_names_[i], static_cast<int>(i));
    }
    blank_record_.assign(1, ' ');
    blank_record_.resize(table_->record_length(), ' ');
    for (const DbfField& f : table_->fields()) blank_record_.replace(f.offset, f.width, BlankValue(f));
    record_ = blank_record_;
    loaded_ = true;
  }

  ~TableWorkArea() override {
    Status ignored = Flush();  // a destructor cannot report; Commit() is the checked path
    (void)ignored;
  }

  Status OpenIndex(const std::filesystem::path& table_path) {
    const std::string base = table_path.stem().string() + ".CDX";
    auto found = FindFileIgnoringCase(table_path.parent_path(), base);
    if (!found) {
      if (table_->header().table_flags & DbfHeader::kStructuralIndexFlag) {
        return Status::NotFound(table_path.filename().string() + ": its index " + base +
                                " is missing");
      }
      return Status::Ok();
    }
    KT_ASSIGN_OR_RETURN(cdx_, CdxFile::Open(*found));
    // The tag directory and headers are read like any index operation: another program may be
    // rewriting them right now.
    IndexReadAttempts attempts(*cdx_, /*lock=*/true);
    for (;;) {
      KT_RETURN_IF_ERROR(attempts.Start());
      Status loaded = LoadTags();
      if (!loaded.ok()) {
        if (!loaded.IsCorruption()) return loaded;
        KT_RETURN_IF_ERROR(attempts.Inconsistent(loaded));
        continue;
      }
      KT_ASSIGN_OR_RETURN(const bool holds, attempts.Confirm());
      if (holds) return Status::Ok();
    }
  }

  Status LoadTags() {
    tags_.clear();
    KT_ASSIGN_OR_RETURN(CdxSnapshot snap, cdx_->Begin());
    KT_ASSIGN_OR_RETURN(std::vector<CdxTagEntry> entries, cdx_->Directory(snap));
    const auto fields = std::make_shared<const std::vector<DbfField>>(table_->fields());
    for (const CdxTagEntry& entry : entries) {
      KT_ASSIGN_OR_RETURN(CdxTag tag, CdxTag::Load(cdx_, entry, fields));
      tags_.push_back(std::move(tag));
    }
    return Status::Ok();
  }

  Status Start() {
    KT_ASSIGN_OR_RETURN(known_count_, table_->ReadRecordCount());
    return GoTop();
  }

  const std::string& alias() const override { return alias_; }
  const std::filesystem::path& path() const override { return path_; }
  const std::vector<FieldSpec>& fields() const override { return fields_; }

  int FieldPos(std::string_view name) const override { return FieldIndex(name) + 1; }
  int FieldWidth(std::string_view name) const override {
    const int i = FieldIndex(name);
    return i < 0 ? 0 : fields_[i].width;
  }

  // ---- Index ----
  std::vector<TagInfo> Tags() const override {
    std::vector<TagInfo> out;
    for (const CdxTag& t : tags_) out.push_back(t.info());
    return out;
  }

  Status SetOrder(std::string_view tag) override {
    if (tag.empty()) {
      order_ = -1;
      pos_.reset();
      return Status::Ok();
    }
    const int found = TagIndex(tag);
    if (found < 0) return Status::NotFound(alias_ + ": no tag " + std::string(tag));
    order_ = found;
    pos_.reset();
    return Status::Ok();
  }

  // The position of the tag named `tag` (any letter case), -1 when the index has none.
  // Every lookup selects its orders anew: compare in place, allocate nothing.
  int TagIndex(std::string_view tag) const {
    const auto same_name = [tag](const std::string& name) {
      if (name.size() != tag.size()) return false;
      for (std::size_t i = 0; i < tag.size(); ++i) {
        const char c = tag[i];
        if (((c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c) != name[i]) return false;
      }
      return true;
    };
    for (std::size_t i = 0; i < tags_.size(); ++i) {
      if (same_name(tags_[i].info().name)) return static_cast<int>(i);
    }
    return -1;
  }

  std::string order() const override { return order_ < 0 ? "" : tags_[order_].info().name; }

  Result<bool> Seek(std::string_view key, bool soft) override {
    KT_RETURN_IF_ERROR(NeedOrder('C'));
    return SeekKey(key, soft);
  }
  Result<bool> SeekNumber(double key, bool soft) override {
    KT_RETURN_IF_ERROR(NeedOrder('N'));
    if (tag().key_length() == kIntegerKeyLength) return SeekKey(EncodeIntegerKey(key), soft);
    return SeekKey(EncodeNumberKey(key), soft);
  }
  Result<bool> SeekDate(const Date& key, bool soft) override {
    KT_RETURN_IF_ERROR(NeedOrder('D'));
    return SeekKey(EncodeDateKey(key), soft);
  }
  Result<bool> SeekLogical(bool key, bool soft) override {
    KT_RETURN_IF_ERROR(NeedOrder('L'));
    return SeekKey(EncodeLogicalKey(key), soft);
  }
  bool Found() const override { return found_; }

  // ---- Navigation ----
  Status GoTop() override {
    KT_RETURN_IF_ERROR(Flush());
    KT_RETURN_IF_ERROR(FollowReplacedFiles());
    found_ = false;
    if (order_ < 0) {
      KT_RETURN_IF_ERROR(RefreshCount());
      if (known_count_ == 0) return SetEmpty();
      return LoadNatural(1);
    }
    KT_ASSIGN_OR_RETURN(auto p, Consistently([&]() -> Result<std::optional<CdxPosition>> {
      KT_ASSIGN_OR_RETURN(auto first, First());
      return Settle(std::move(first), /*forward=*/true);
    }));
    if (!p) return SetEmpty();
    return LoadIndexed(*p);
  }

  Status GoBottom() override {
    KT_RETURN_IF_ERROR(Flush());
    KT_RETURN_IF_ERROR(FollowReplacedFiles());
    found_ = false;
    if (order_ < 0) {
      KT_RETURN_IF_ERROR(RefreshCount());
      if (known_count_ == 0) return SetEmpty();
      return LoadNatural(known_count_);
    }
    KT_ASSIGN_OR_RETURN(auto p, Consistently([&]() -> Result<std::optional<CdxPosition>> {
      KT_ASSIGN_OR_RETURN(auto last, Last());
      return Settle(std::move(last), /*forward=*/false);
    }));
    if (!p) return SetEmpty();
    return LoadIndexed(*p);
  }

  Status Skip(int64_t count) override {
    KT_RETURN_IF_ERROR(Flush());
    found_ = false;
    if (count == 0) {
      if (eof_) return SetPhantom();
      return order_ < 0 ? LoadNatural(recno_) : Reload();
    }
    if (order_ < 0) return SkipNatural(count);
    for (int64_t i = 0; i < count; ++i) {
      if (eof_) return Status::Ok();
      KT_ASSIGN_OR_RETURN(const bool in_leaf, StepStaysInLeaf(/*forward=*/true));
      KT_ASSIGN_OR_RETURN(auto p, Consistently([&]() -> Result<std::optional<CdxPosition>> {
        KT_RETURN_IF_ERROR(EnsureIndexPosition());
        KT_ASSIGN_OR_RETURN(auto next, Next(*pos_));
        return Settle(std::move(next), true);
      }, /*lock=*/!in_leaf, /*confirm_all=*/!in_leaf));
      if (!p) return SetPhantom();
      KT_RETURN_IF_ERROR(LoadIndexed(*p));
    }
    for (int64_t i = 0; i > count; --i) {
      if (eof_) {
        // Back from the end of the table: the last record in this order.
        KT_ASSIGN_OR_RETURN(auto p, Consistently([&]() -> Result<std::optional<CdxPosition>> {
          KT_ASSIGN_OR_RETURN(auto last, Last());
          return Settle(std::move(last), false);
        }));
        if (!p) return SetEmpty();
        KT_RETURN_IF_ERROR(LoadIndexed(*p));
        continue;
      }
      KT_ASSIGN_OR_RETURN(const bool in_leaf, StepStaysInLeaf(/*forward=*/false));
      KT_ASSIGN_OR_RETURN(auto p, Consistently([&]() -> Result<std::optional<CdxPosition>> {
        KT_RETURN_IF_ERROR(EnsureIndexPosition());
        KT_ASSIGN_OR_RETURN(auto prev, Prev(*pos_));
        return Settle(std::move(prev), false);
      }, /*lock=*/!in_leaf, /*confirm_all=*/!in_leaf));
      if (!p) {
        bof_ = true;  // stays on the first record
        return Status::Ok();
      }
      KT_RETURN_IF_ERROR(LoadIndexed(*p));
    }
    return Status::Ok();
  }

  Status GoTo(uint32_t recno) override {
    KT_RETURN_IF_ERROR(Flush());
    KT_RETURN_IF_ERROR(FollowReplacedFiles());
    found_ = false;
    if (recno > known_count_ || recno == 0) KT_RETURN_IF_ERROR(RefreshCount());
    if (recno == 0 || recno > known_count_) return SetPhantom();
    KT_RETURN_IF_ERROR(LoadNatural(recno));
    pos_.reset();  // found again in the index when the next skip needs it
    return Status::Ok();
  }

  bool Eof() const override { return eof_; }
  bool Bof() const override { return bof_; }
  uint32_t RecNo() const override {
    if (!recno_due_) return recno_;
    // At end of table after a missed seek: RecCount() + 1, the count read now.
    const Result<uint32_t> count = table_->ReadRecordCount();
    return (count.ok() ? *count : known_count_) + 1;
  }
  Result<uint32_t> RecCount() override {
    KT_RETURN_IF_ERROR(RefreshCount());
    return known_count_;
  }
  bool Deleted() const override {
    // An unreadable record counts as not deleted; reading its fields reports the error.
    return !eof_ && EnsureLoaded().ok() && record_[0] == '*';
  }

  // ---- Fields ----
  Result<std::string> GetString(std::string_view field) const override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, Field(field));
    return std::string(Raw(*f));
  }
  Result<double> GetNumber(std::string_view field) const override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, Field(field));
    return NumberOf(*f);
  }
  Result<std::string> GetNumberText(std::string_view field) const override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, Field(field));
    if (f->type != 'N' && f->type != 'F') return NotOfType(*f, "numeric text");
    return TrimmedNumberText(Raw(*f));
  }
  Result<bool> GetLogical(std::string_view field) const override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, Field(field));
    return LogicalOf(*f);
  }
  Result<Date> GetDate(std::string_view field) const override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, Field(field));
    return DateOf(*f);
  }
  Result<std::string> GetRaw(std::string_view field) const override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, Field(field));
    return std::string(Raw(*f));
  }

  uint64_t layout_id() const override { return layout_id_; }
  Result<uint64_t> IndexGeneration() override {
    KT_RETURN_IF_ERROR(FollowReplacedFiles());
    if (!cdx_) return uint64_t{0};
    KT_ASSIGN_OR_RETURN(const CdxSnapshot snap, cdx_->Begin());
    return snap.generation;
  }
  Result<std::string_view> RecordBytes() const override {
    KT_RETURN_IF_ERROR(EnsureLoaded());
    return std::string_view(record_);
  }
  Result<std::string_view> RawAt(int pos) const override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, FieldAt(pos));
    return Raw(*f);
  }
  Result<double> NumberAt(int pos) const override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, FieldAt(pos));
    return NumberOf(*f);
  }
  Result<bool> LogicalAt(int pos) const override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, FieldAt(pos));
    return LogicalOf(*f);
  }
  Result<Date> DateAt(int pos) const override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, FieldAt(pos));
    return DateOf(*f);
  }

  Result<std::string> GetMemo(std::string_view field) const override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, Field(field));
    if (f->type != 'M') return NotOfType(*f, "a memo");
    const std::string_view raw = Raw(*f);
    uint32_t block = 0;
    if (f->width == 4) {
      block = DecodeFixedLE32(raw.data());
    } else {
      auto v = ParseNumber(DbfField{"", 'N', f->width, 0, 0, 0}, raw);
      if (!v || *v < 0 || *v > 4294967295.0) {
        return Status::Corruption(alias_ + ": memo reference of " + f->name + " unreadable");
      }
      block = static_cast<uint32_t>(*v);
    }
    if (block == 0) return std::string();
    if (!memo_) {
      const std::string base = path_.stem().string() + ".FPT";
      auto found = FindFileIgnoringCase(path_.parent_path(), base);
      if (!found) return Status::Corruption(alias_ + ": memo file " + base + " is missing");
      KT_ASSIGN_OR_RETURN(memo_, MemoFile::Open(*found));
    }
    return memo_->Read(block);
  }

  // ---- Writing ----
  Status AppendBlank() override {
    KT_RETURN_IF_ERROR(CanWrite());
    KT_RETURN_IF_ERROR(Flush());
    uint32_t recno = 0;
    {
      KT_ASSIGN_OR_RETURN(RangeLockGuard lock,
                          RangeLockGuard::Acquire(table_->file(), TableHeaderLock(structural()),
                                                  /*exclusive=*/true));
      KT_ASSIGN_OR_RETURN(recno, table_->AppendRecord(blank_record_));
    }
    known_count_ = recno;
    recno_ = recno;
    recno_due_ = false;
    record_ = blank_record_;
    loaded_ = true;
    eof_ = bof_ = found_ = false;
    pos_.reset();
    // The new record enters the index when it is written (its keys are known by then).
    appended_ = !tags_.empty();
    dirty_ = appended_;
    return Status::Ok();
  }
  Status PutString(std::string_view field, std::string_view value) override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, WritableField(field));
    if (f->type != 'C') return NotOfType(*f, "character");
    std::string v(value.substr(0, f->width));
    v.resize(f->width, ' ');
    return Store(*f, v);
  }
  Status PutNumber(std::string_view field, double value) override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, WritableField(field));
    if (f->type != 'N' && f->type != 'F') return NotOfType(*f, "numeric");
    auto text = FormatNumber(value, f->width, f->decimals);
    if (!text) {
      return Status::InvalidArgument(alias_ + ": value does not fit field " + f->name + " N(" +
                                     std::to_string(f->width) + "," +
                                     std::to_string(f->decimals) + ")");
    }
    return Store(*f, *text);
  }
  Status PutLogical(std::string_view field, bool value) override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, WritableField(field));
    if (f->type != 'L') return NotOfType(*f, "logical");
    return Store(*f, value ? "T" : "F");
  }
  Status PutDate(std::string_view field, const Date& value) override {
    KT_ASSIGN_OR_RETURN(const DbfField* f, WritableField(field));
    if (f->type != 'D') return NotOfType(*f, "date");
    if (!value.IsValid()) return Status::InvalidArgument(alias_ + ": invalid date for " + f->name);
    return Store(*f, value.ToDtos());
  }
  Status SetDeleted(bool deleted) override {
    KT_RETURN_IF_ERROR(CanWrite());
    if (eof_) return Status::InvalidArgument(alias_ + ": no current record");
    KT_RETURN_IF_ERROR(EnsureLoaded());
    record_[0] = deleted ? '*' : ' ';
    dirty_ = true;
    return Status::Ok();
  }
  Status Commit() override {
    if (options_.read_only) return Status::Ok();
    KT_RETURN_IF_ERROR(Flush());
    if (updater_) KT_RETURN_IF_ERROR(updater_->Sync());
    return table_->Commit();
  }

 private:
  // Every field read goes through here (a priced scan reads dozens), so it neither allocates nor
  // scans the field list.
  int FieldIndex(std::string_view name) const {
    char upper[DbfHeader::kNameLength];  // no stored name is longer
    if (name.size() > sizeof upper) return -1;
    for (std::size_t i = 0; i < name.size(); ++i) {
      const char c = name[i];
      upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    const auto it = field_index_.find(std::string_view(upper, name.size()));
    return it == field_index_.end() ? -1 : it->second;
  }
  // The field, with the current record read (see EnsureLoaded).
  Result<const DbfField*> Field(std::string_view name) const {
    const int i = FieldIndex(name);
    if (i < 0) return Status::NotFound(alias_ + ": no field " + std::string(name));
    KT_RETURN_IF_ERROR(EnsureLoaded());
    return &table_->fields()[i];
  }
  Result<const DbfField*> FieldAt(int pos) const {
    if (pos < 1 || pos > static_cast<int>(fields_.size())) {
      return Status::NotFound(alias_ + ": no field at position " + std::to_string(pos));
    }
    KT_RETURN_IF_ERROR(EnsureLoaded());
    return &table_->fields()[static_cast<std::size_t>(pos - 1)];
  }
  // Positioning only records the record number; the record is read (one positioned read of
  // the whole record) when a field or the deleted flag is first asked for, so it shows the
  // record as stored at that moment.
  Status EnsureLoaded() const {
    if (loaded_) return Status::Ok();
    KT_RETURN_IF_ERROR(table_->ReadRecord(recno_, record_));
    loaded_ = true;
    return Status::Ok();
  }
  std::string_view Raw(const DbfField& f) const {
    return std::string_view(record_).substr(f.offset, f.width);
  }
  // One reading of each typed field, whether it was named or found by position.
  Result<double> NumberOf(const DbfField& f) const {
    if (!IsNumericType(f.type)) return NotOfType(f, "numeric");
    auto v = ParseNumber(f, Raw(f));
    if (!v) {
      return Status::Corruption(alias_ + ": field " + f.name + " of record " + std::to_string(recno_) +
                                " holds no number");
    }
    return *v;
  }
  Result<bool> LogicalOf(const DbfField& f) const {
    if (f.type != 'L') return NotOfType(f, "logical");
    return ParseLogical(Raw(f));
  }
  Result<Date> DateOf(const DbfField& f) const {
    if (f.type != 'D') return NotOfType(f, "date");
    return ParseDate(Raw(f));
  }

  Status NotOfType(const DbfField& f, const char* wanted) const {
    return Status::InvalidArgument(alias_ + ": field " + f.name + " (type " +
                                   std::string(1, f.type) + ") is not " + wanted);
  }

  Status CanWrite() const {
    if (options_.read_only) return Status::InvalidArgument(alias_ + ": opened read-only");
    // A tag whose keys we cannot compute would go stale.
    for (const CdxTag& t : tags_) {
      if (!t.keys_known()) {
        return Status::InvalidArgument(alias_ + ": tag " + t.info().name +
                                       ": expression not understood, so the table cannot be written");
      }
    }
    return Status::Ok();
  }
  Result<const DbfField*> WritableField(std::string_view name) {
    KT_RETURN_IF_ERROR(CanWrite());
    if (eof_) return Status::InvalidArgument(alias_ + ": no current record");
    KT_RETURN_IF_ERROR(EnsureLoaded());
    const int i = FieldIndex(name);
    if (i < 0) return Status::NotFound(alias_ + ": no field " + std::string(name));
    return &table_->fields()[i];
  }
  Status Store(const DbfField& f, std::string_view bytes) {
    record_.replace(f.offset, f.width, bytes);
    dirty_ = true;
    return Status::Ok();
  }
  bool structural() const {
    return table_->header().table_flags & DbfHeader::kStructuralIndexFlag;
  }

  // Writes the current record under its record lock and, when its keys changed, brings every tag
  // up to date under the index lock: the record first, then its entries, so a reader never finds
  // an entry whose record does not exist yet.
  Status Flush() {
    if (!dirty_) return Status::Ok();
    dirty_ = false;
    const bool appended = appended_;
    appended_ = false;
    const DbfHeader& h = table_->header();
    KT_ASSIGN_OR_RETURN(RangeLockGuard record_lock,
                        RangeLockGuard::Acquire(table_->file(),
                                                TableRecordLock(structural(), h.header_length,
                                                                h.record_length, recno_),
                                                /*exclusive=*/true));
    if (tags_.empty()) return table_->WriteRecord(recno_, record_);

    // Keys the index holds for the record now (none yet for an appended one) and keys it should.
    std::string stored;
    if (!appended) KT_RETURN_IF_ERROR(table_->ReadRecord(recno_, stored));
    std::vector<std::optional<std::string>> before(tags_.size()), after(tags_.size());
    bool changed = false;
    for (std::size_t t = 0; t < tags_.size(); ++t) {
      if (!appended) {
        KT_ASSIGN_OR_RETURN(before[t], tags_[t].KeyOf(stored));
      }
      KT_ASSIGN_OR_RETURN(after[t], tags_[t].KeyOf(record_));
      changed = changed || before[t] != after[t];
    }
    if (!changed) return table_->WriteRecord(recno_, record_);

    if (!updater_) {
      KT_ASSIGN_OR_RETURN(updater_, CdxUpdater::Open(cdx_->path()));
    }
    KT_RETURN_IF_ERROR(updater_->Begin());
    Status s = UpdateEntries(before, after);
    if (s.ok()) {
      s = updater_->End();
    } else {
      updater_->Abort();
    }
    cdx_->DropCache();  // work areas of this process read the new state at once
    return s;
  }

  Status UpdateEntries(const std::vector<std::optional<std::string>>& before,
                       const std::vector<std::optional<std::string>>& after) {
    KT_RETURN_IF_ERROR(table_->WriteRecord(recno_, record_));
    for (std::size_t t = 0; t < tags_.size(); ++t) {
      if (before[t] == after[t]) continue;
      // The tag's header offset as last read (a rebuilt index may have moved it).
      const CdxTag& tag = tags_[t];
      const CdxTagRef ref{tag.info().name, tag.header_offset(), tag.key_length(), tag.pad(),
                          tag.info().unique};
      if (before[t]) {
        Status removed = updater_->Remove(ref, *before[t], recno_);
        // A unique tag keeps a key with the first record that had it: this one may hold none.
        if (!removed.ok() && !(removed.IsNotFound() && ref.unique)) return removed;
      }
      if (after[t]) KT_RETURN_IF_ERROR(updater_->Insert(ref, *after[t], recno_));
    }
    return Status::Ok();
  }

  Status RefreshCount() {
    KT_ASSIGN_OR_RETURN(known_count_, table_->ReadRecordCount());
    return Status::Ok();
  }

  Status SetPhantom() {
    KT_RETURN_IF_ERROR(RefreshCount());
    SetPhantomAfterMiss();
    recno_due_ = false;
    return Status::Ok();
  }
  // The end of table after a missed seek. The record count is read only if RecNo() is asked for:
  // a lookup that misses in several orders would otherwise read it (two system calls) each time.
  void SetPhantomAfterMiss() {
    recno_ = known_count_ + 1;
    recno_due_ = true;
    record_ = blank_record_;
    loaded_ = true;
    eof_ = true;
    pos_.reset();
  }
  Status SetEmpty() {
    KT_RETURN_IF_ERROR(SetPhantom());
    bof_ = true;
    return Status::Ok();
  }

  Status LoadNatural(uint32_t recno) {
    recno_ = recno;
    recno_due_ = false;
    loaded_ = false;
    eof_ = bof_ = false;
    return Status::Ok();
  }
  Status LoadIndexed(const CdxPosition& p) {
    KT_RETURN_IF_ERROR(LoadNatural(p.recno()));
    pos_ = p;
    return Status::Ok();
  }
  Status Reload() {
    if (eof_) return SetPhantom();
    return LoadNatural(recno_);
  }

  Status SkipNatural(int64_t count) {
    if (count > 0) {
      if (eof_) return Status::Ok();
      const int64_t target = int64_t{recno_} + count;
      if (target > known_count_) KT_RETURN_IF_ERROR(RefreshCount());
      if (target > known_count_) return SetPhantom();
      return LoadNatural(static_cast<uint32_t>(target));
    }
    KT_RETURN_IF_ERROR(RefreshCount());
    int64_t from = eof_ ? int64_t{known_count_} + 1 : int64_t{recno_};
    from = std::min<int64_t>(from, int64_t{known_count_} + 1);
    const int64_t target = from + count;
    if (known_count_ == 0) return SetEmpty();
    if (target < 1) {
      KT_RETURN_IF_ERROR(LoadNatural(1));
      bof_ = true;
      return Status::Ok();
    }
    return LoadNatural(static_cast<uint32_t>(target));
  }

  // ---- Index order in presentation (descending tags are the stored order reversed) ----
  CdxTag& tag() { return tags_[order_]; }
  bool descending() const { return tags_[order_].info().descending; }
  Result<std::optional<CdxPosition>> First() { return descending() ? tag().Last() : tag().First(); }
  Result<std::optional<CdxPosition>> Last() { return descending() ? tag().First() : tag().Last(); }
  Result<std::optional<CdxPosition>> Next(const CdxPosition& p) {
    return descending() ? tag().Prev(p) : tag().Next(p);
  }
  Result<std::optional<CdxPosition>> Prev(const CdxPosition& p) {
    return descending() ? tag().Next(p) : tag().Prev(p);
  }

  // Passes over entries that point beyond the records the table holds (stale, or appended by
  // a writer whose header update we have not seen yet: the count is re-read once first).
  // A record the header counts but the file no longer holds is no stale entry: the table was
  // cut short, and reading it is an error.
  Result<std::optional<CdxPosition>> Settle(std::optional<CdxPosition> p, bool forward) {
    bool refreshed = false;
    while (p && (p->recno() == 0 || p->recno() > known_count_)) {
      if (!refreshed) {
        KT_RETURN_IF_ERROR(RefreshCount());
        refreshed = true;
        continue;
      }
      if (p->recno() != 0) {
        KT_ASSIGN_OR_RETURN(const uint32_t stated, table_->ReadStatedRecordCount());
        if (p->recno() <= stated) {
          return Status::Corruption(alias_ + ": record " + std::to_string(p->recno()) +
                                    " lies past the end of the file (the table is cut short)");
        }
      }
      KT_ASSIGN_OR_RETURN(p, forward ? Next(*p) : Prev(*p));
    }
    return p;
  }

  // After GoTo() the index position is unknown: find the current record's entry.
  Status EnsureIndexPosition() {
    if (pos_) return Status::Ok();
    KT_RETURN_IF_ERROR(EnsureLoaded());
    KT_ASSIGN_OR_RETURN(std::optional<std::string> key, tag().KeyOf(record_));
    if (!key) return Status::InvalidArgument(alias_ + ": record " + std::to_string(recno_) +
                                             " is not in tag " + tag().info().name);
    KT_ASSIGN_OR_RETURN(auto p, tag().Find(*key, recno_));
    if (!p || p->recno() != recno_) {
      return Status::Corruption(alias_ + ": record " + std::to_string(recno_) +
                                " is missing from tag " + tag().info().name);
    }
    pos_ = p;
    return Status::Ok();
  }

  // Copy and sync tools replace a table or its index by writing a new file and renaming it over
  // the old one; the handles we hold would read the deleted files for as long as the area
  // lives. So positioning compares, at most every kIdentityRecheck, the identity (device and
  // inode) of the files at the paths with that of the open handles and opens the new files when
  // they differ. The current order is kept; the position is not (the caller positions anew).
  static constexpr std::chrono::milliseconds kIdentityRecheck{250};

  Status FollowReplacedFiles() {
    const auto now = std::chrono::steady_clock::now();
    if (now - identity_checked_ < kIdentityRecheck) return Status::Ok();
    identity_checked_ = now;
    const bool replaced = Replaced(path_, table_->file()) || (cdx_ && Replaced(cdx_->path(), cdx_->file()));
    if (!replaced && !reopen_failed_) return Status::Ok();
    const Status reopened = Reopen();
    reopen_failed_ = !reopened.ok();
    return reopened;
  }

  static bool Replaced(const std::filesystem::path& path, const SharedFile& open) {
    // Missing for a moment (between a tool's delete and rename): keep reading what we have.
    const std::optional<platform::FileIdentity> now = platform::IdentityOfPath(path);
    if (!now) return false;
    return now->device != open.device() || now->file != open.inode();
  }

  Status Reopen() {
    KT_RETURN_IF_ERROR(Flush());
    KT_ASSIGN_OR_RETURN(std::unique_ptr<DbfTable> table,
                        DbfTable::Open(path_, !options_.read_only, /*exclusive=*/!options_.shared));
    const std::string order_name = order();
    Adopt(std::move(table));
    cdx_.reset();
    updater_.reset();  // it wrote the file that was replaced
    tags_.clear();
    order_ = -1;
    pos_.reset();
    memo_.reset();
    if (options_.open_index) KT_RETURN_IF_ERROR(OpenIndex(path_));
    if (!order_name.empty()) KT_RETURN_IF_ERROR(SetOrder(order_name));
    return SetPhantom();
  }

  Status NeedOrder(char type) const {
    if (order_ < 0) return Status::InvalidArgument(alias_ + ": no index order selected");
    const TagInfo& info = tags_[order_].info();
    if (info.key_type != type) {
      return Status::InvalidArgument(alias_ + ": tag " + info.name + " has key type " +
                                     std::string(1, info.key_type) + ", not " +
                                     std::string(1, type));
    }
    return Status::Ok();
  }

  // Runs one index step (a move that yields a position, or none at either end) so that its
  // answer holds while another program writes the index (see index_read_attempts.h). `lock`
  // takes the engines' shared index lock for each attempt; `confirm_all` checks every answer
  // against the change stamp, not only "nothing there".
  template <typename Step>
  Result<std::optional<CdxPosition>> Consistently(const Step& step, bool lock = true,
                                                  bool confirm_all = true) {
    IndexReadAttempts attempts(*cdx_, lock);
    for (;;) {
      KT_RETURN_IF_ERROR(attempts.Start());
      Result<std::optional<CdxPosition>> p = step();
      if (!p.ok()) {
        if (!p.status().IsCorruption()) return p.status();
        // The next attempt starts afresh from pos_ (kept: its key and record find the place again).
        KT_RETURN_IF_ERROR(attempts.Inconsistent(p.status()));
        continue;
      }
      if (!*p || confirm_all) {  // "nothing there" rests on the index alone
        KT_ASSIGN_OR_RETURN(const bool holds, attempts.Confirm());
        if (!holds) continue;
      }
      attempts.Finish();
      return p;
    }
  }

  // True when a skip from the current entry reads nothing from the file: the next entry in that
  // direction is in the leaf already decoded, and the index has not changed since. Such steps
  // need neither the lock nor a check; the others (a sibling, a new descent) get both.
  Result<bool> StepStaysInLeaf(bool forward) {
    if (!pos_) return false;
    KT_ASSIGN_OR_RETURN(const CdxSnapshot snap, cdx_->Begin());
    if (pos_->generation != snap.generation) return false;
    const bool stored_forward = forward != descending();
    return stored_forward ? pos_->index + 1 < pos_->leaf->size() : pos_->index > 0;
  }

  // True when the record now read holds the sought key in the current tag: a writer may have
  // changed or be writing the record the index entry points to. A half-appended record (its
  // deletion flag is neither blank nor "*") holds nothing yet. Until our key of a record has
  // agreed with the tag once, the index has the last word (see CdxTag::key_agreed).
  Result<bool> RecordHasKey(std::string_view search) {
    KT_RETURN_IF_ERROR(EnsureLoaded());
    if (record_[0] != ' ' && record_[0] != '*') return false;
    CdxTag& t = tags_[order_];
    const Result<bool> begins = t.KeyBeginsWith(record_, search);
    if (!begins.ok()) return true;  // an expression we cannot evaluate: the index has the last word
    const bool agrees = *begins;
    if (agrees) t.NoteKeyAgreed();
    return agrees || !t.key_agreed();
  }

  // One pass of a seek: the first entry that matches the search value and whose record still
  // holds that key. Entries whose records say otherwise are passed over. nullopt: no such entry
  // and nothing after it (for a soft seek the position is the next entry, if any).
  struct SeekPass {
    std::optional<CdxPosition> at;
    bool found = false;
  };
  Result<std::optional<CdxPosition>> SeekOnce(std::string_view search, SeekPass& pass) {
    std::optional<CdxPosition> p;
    if (!descending()) {
      KT_ASSIGN_OR_RETURN(p, tag().Bound(search, /*upper=*/false));
    } else {
      // The first in descending order is the last stored entry not after the search value.
      KT_ASSIGN_OR_RETURN(auto upper, tag().Bound(search, /*upper=*/true));
      if (upper) {
        KT_ASSIGN_OR_RETURN(p, tag().Prev(*upper));
      } else {
        KT_ASSIGN_OR_RETURN(p, tag().Last());
      }
    }
    KT_ASSIGN_OR_RETURN(p, Settle(std::move(p), /*forward=*/true));
    while (p && tag().Matches(*p, search)) {
      KT_RETURN_IF_ERROR(LoadIndexed(*p));
      KT_ASSIGN_OR_RETURN(const bool holds, RecordHasKey(search));
      if (holds) {
        pass = SeekPass{p, true};
        return p;
      }
      KT_ASSIGN_OR_RETURN(p, Next(*p));
      KT_ASSIGN_OR_RETURN(p, Settle(std::move(p), /*forward=*/true));
    }
    pass = SeekPass{p, false};
    // A miss is an answer of the index alone: report "nothing" so that it gets confirmed.
    return std::optional<CdxPosition>();
  }

  Result<bool> SeekKey(std::string_view key, bool soft) {
    KT_RETURN_IF_ERROR(Flush());
    KT_RETURN_IF_ERROR(FollowReplacedFiles());
    if (order_ < 0) return Status::NotFound(alias_ + ": the order is gone from the reopened index");
    const std::string_view search = key.substr(0, static_cast<std::size_t>(tag().key_length()));
    SeekPass pass;
    KT_RETURN_IF_ERROR(
        Consistently([&] { return SeekOnce(search, pass); }, /*lock=*/true, /*confirm_all=*/false)
            .status());
    found_ = pass.found;
    if (found_) return true;  // positioned, and the record read, by the pass
    if (soft && pass.at) {
      KT_RETURN_IF_ERROR(LoadIndexed(*pass.at));
      return false;
    }
    SetPhantomAfterMiss();
    bof_ = false;
    return false;
  }

  Result<OrderSeekResult> SeekInOrders(std::span<const OrderSeek> seeks) override {
    constexpr std::size_t kMaxSeeks = 32;  // one bit each in OrderSeekResult::missing
    if (seeks.empty() || seeks.size() > kMaxSeeks) {
      return Status::InvalidArgument(alias_ + ": 1 to 32 seeks at once, not " + std::to_string(seeks.size()));
    }
    KT_RETURN_IF_ERROR(Flush());
    KT_RETURN_IF_ERROR(FollowReplacedFiles());
    OrderSeekResult result;
    found_ = false;
    if (tags_.empty()) {  // no index: no order to seek in, and the area stays where it is
      result.missing = seeks.size() == kMaxSeeks ? ~uint32_t{0} : (uint32_t{1} << seeks.size()) - 1;
      return result;
    }
    int last_order = -1;
    SeekPass pass;
    // One pass over the orders. It answers "nothing" when any order missed, even if a later one
    // found the code: the misses rest on the index alone, and one check then covers them all.
    KT_RETURN_IF_ERROR(Consistently([&]() -> Result<std::optional<CdxPosition>> {
      result = OrderSeekResult{};
      last_order = -1;
      bool missed = false;
      // Orders are looked up as they are reached: a code found by code needs no other.
      for (std::size_t i = 0; i < seeks.size() && !result.found; ++i) {
        const int order = TagIndex(seeks[i].order);
        if (order < 0) {
          result.missing |= uint32_t{1} << i;
          continue;
        }
        const TagInfo& info = tags_[order].info();
        if (info.key_type != 'C') {
          return Status::InvalidArgument(alias_ + ": tag " + info.name + " has key type " +
                                         std::string(1, info.key_type) + ", not C");
        }
        last_order = order_ = order;
        const std::string_view search = seeks[i].key.substr(0, static_cast<std::size_t>(tag().key_length()));
        KT_RETURN_IF_ERROR(SeekOnce(search, pass).status());
        if (pass.found) {
          result.found = i;
        } else {
          missed = true;
        }
      }
      if (missed || !result.found) return std::optional<CdxPosition>();
      return pass.at;
    }, /*lock=*/true, /*confirm_all=*/false).status());
    if (last_order < 0) return result;  // no order to seek in: the area stays where it is
    found_ = result.found.has_value();
    if (!found_) {
      order_ = last_order;
      SetPhantomAfterMiss();
      bof_ = false;
    }
    return result;
  }

  const std::string alias_;
  const std::filesystem::path path_;
  const OpenOptions options_;
  std::unique_ptr<DbfTable> table_;
  std::vector<FieldSpec> fields_;
  uint64_t layout_id_ = 0;  // see layout_id()
  std::vector<std::string> upper_names_;
  std::unordered_map<std::string_view, int> field_index_;  // upper-case name -> position
  std::string blank_record_;
  std::shared_ptr<CdxFile> cdx_;
  std::vector<CdxTag> tags_;
  std::unique_ptr<CdxUpdater> updater_;  // opened on the first write that changes a key
  mutable std::unique_ptr<MemoFile> memo_;  // opened on first use

  int order_ = -1;
  uint32_t recno_ = 1;
  uint32_t known_count_ = 0;
  bool recno_due_ = false;  // at end of table after a miss: RecNo() reads the count
  bool eof_ = true;
  bool bof_ = true;
  bool found_ = false;
  bool dirty_ = false;
  bool appended_ = false;  // the current record was appended and is not in the index yet
  std::optional<CdxPosition> pos_;
  mutable std::string record_;  // the current record once read
  mutable bool loaded_ = true;
  std::chrono::steady_clock::time_point identity_checked_ = std::chrono::steady_clock::now();
  bool reopen_failed_ = false;
};

}  // namespace

Result<std::unique_ptr<WorkArea>> WorkArea::Open(const std::filesystem::path& path,
                                                 std::string alias, const OpenOptions& options) {
  auto found = FindFileIgnoringCase(path);
  if (!found) return Status::NotFound(path.string() + ": no such file");
  KT_ASSIGN_OR_RETURN(std::unique_ptr<DbfTable> table, DbfTable::Open(*found, !options.read_only,
                                                                        /*exclusive=*/!options.shared));
  auto area = std::make_unique<TableWorkArea>(std::move(alias), *found, options, std::move(table));
  if (options.open_index) KT_RETURN_IF_ERROR(area->OpenIndex(*found));
  KT_RETURN_IF_ERROR(area->Start());
  return std::unique_ptr<WorkArea>(std::move(area));
}

Status WorkArea::Create(const std::filesystem::path& path, const std::vector<FieldSpec>& fields) {
  std::vector<DbfField> dbf;
  for (const FieldSpec& f : fields) {
    DbfField d;
    d.name = text::UpperAscii(f.name);
    d.type = static_cast<char>(f.type >= 'a' && f.type <= 'z' ? f.type - 'a' + 'A' : f.type);
    d.width = f.width;
    d.decimals = f.decimals;
    dbf.push_back(std::move(d));
  }
  return DbfTable::Create(path, dbf);
}

}  // namespace kt::data
