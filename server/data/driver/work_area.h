// A work area: one open instance of a dBASE table (with its compound .CDX index) under a name.
//
// Each work area has its own current record, index order and found flag. Many work areas may be
// open on the same files at once, in different threads; they share one OS file handle per file
// (positioned reads) through a process-wide registry, so thousands of sessions do not exhaust
// file descriptors. A single WorkArea object is used by one thread at a time.
//
// Reads see the files as stored at that moment: the record count follows a writer that appends
// while the table is open, and index pages cached from an older state of the .CDX are dropped
// when the file changes (a rebuilt index is followed to its new tag headers). Index reads that
// collide with a writer are read again (index_read_attempts.h); a found entry must agree with
// its record. A table or index replaced by another file (renamed over it) is noticed within
// a quarter of a second by the next seek or go-to and opened anew, keeping the order.
// Positioning fixes the record number; the record itself is read in one piece when a field or
// the deleted flag is first asked for after that (a seek reads it to check the entry).
//
// Navigation follows xBase: after a failed exact seek, or skipping past the last record, the area
// is at end of table: Eof() is true, RecNo() is RecCount() + 1 and every field reads empty (the
// "phantom" record). Deleted records are visible and flagged by Deleted().
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "server/data/driver/date.h"

namespace kt::data {

// Type letters as stored in the field descriptor.
struct FieldSpec {
  std::string name;   // up to 10 characters, upper case
  char type = 'C';    // C, N, F, L, D, I; M, Y, T, B and others are carried but not read
  uint16_t width = 0;  // C may exceed 255 (high byte kept in the decimals byte on disk)
  uint8_t decimals = 0;
  uint32_t offset = 0;  // in the record, whose byte 0 is the deletion flag (ignored by Create)
};

struct TagInfo {
  std::string name;            // upper case
  std::string key_expression;  // as stored, e.g. "UPPER(KODE_C)"
  std::string for_expression;  // empty when the tag has no FOR condition
  bool descending = false;
  bool unique = false;
  char key_type = 'C';         // C, N, D or L
  int key_length = 0;          // bytes in the index (8 for N and D)
};

// One exact seek of SeekInOrders: `key` in the order named `order`.
struct OrderSeek {
  std::string_view order;
  std::string_view key;
};

struct OrderSeekResult {
  std::optional<std::size_t> found;  // the seek that found its key, if any
  uint32_t missing = 0;              // bit i: the index has no order seeks[i].order (when reached)
};

struct OpenOptions {
  bool shared = true;      // false: exclusive
  bool read_only = true;
  bool open_index = true;  // open the .CDX of the same name when it exists
};

class WorkArea {
 public:
  // Opens the table at `path` under `alias`. The index file is found beside it by base name
  // without regard to letter case (S_STOCK.G8A finds s_stock.cdx). Fails with NotFound when the
  // table file does not exist, Corruption when its header or index is unreadable.
  static Result<std::unique_ptr<WorkArea>> Open(const std::filesystem::path& path, std::string alias,
                                                const OpenOptions& options = {});

  // Creates a new table file (no index) with these fields; fails if a field is invalid.
  // The file is readable by other xBase engines (version 0x03, Clipper-style long C widths).
  static Status Create(const std::filesystem::path& path, const std::vector<FieldSpec>& fields);

  virtual ~WorkArea() = default;

  virtual const std::string& alias() const = 0;
  virtual const std::filesystem::path& path() const = 0;

  // ---- Structure ----
  virtual const std::vector<FieldSpec>& fields() const = 0;
  // 1-based position of the field (case-insensitive name), 0 when the table has none.
  virtual int FieldPos(std::string_view name) const = 0;
  // Width of the field, 0 when the table has none.
  virtual int FieldWidth(std::string_view name) const = 0;

  // ---- Index ----
  virtual std::vector<TagInfo> Tags() const = 0;
  // Selects the order by tag name (case-insensitive); "" selects natural (record) order.
  // NotFound for an unknown tag; the order is then unchanged.
  virtual Status SetOrder(std::string_view tag) = 0;
  virtual std::string order() const = 0;  // current tag name, "" for natural order

  // Seeks in the current order. Character keys are taken byte for byte: a shorter key matches as
  // a prefix, a longer one is cut to the key length. Exact: a miss leaves the area at end of
  // table. Soft: a miss lands on the next key in the tag's order. Returns the found flag; an error
  // only for I/O or corruption. REQUIRES: an order is selected.
  virtual Result<bool> Seek(std::string_view key, bool soft = false) = 0;
  virtual Result<bool> SeekNumber(double key, bool soft = false) = 0;
  virtual Result<bool> SeekDate(const Date& key, bool soft = false) = 0;
  virtual Result<bool> SeekLogical(bool key, bool soft = false) = 0;
  virtual bool Found() const = 0;
  // Exact seeks in several orders, one after the other as SetOrder and Seek
  // would do them, up to the first that finds its key; that order stays selected and the area on
  // its record (none finding: the last order sought, at end of table). The misses before it are
  // answers of the index alone and are confirmed against its change stamp once for all, not once
  // each: a code looked up by code, alternative codes and barcode costs one check, not five. An
  // order the index lacks finds nothing; orders after the one that finds are not looked at. At
  // most 32 seeks, all of character keys (InvalidArgument otherwise).
  virtual Result<OrderSeekResult> SeekInOrders(std::span<const OrderSeek> seeks) = 0;
  // A number that changes whenever the index may have changed on disk, or the area took another
  // index file; unique in the process like layout_id(), so facts read from the index (which keys
  // exist) may be cached under it by any area. A change is seen as soon as an index operation
  // would see it (CdxFile::kRecheckInterval). 0 when the table has no index. Like a seek, it
  // follows a table replaced on disk, which leaves the area at end of table.
  virtual Result<uint64_t> IndexGeneration() = 0;

  // ---- Navigation (in the current order) ----
  virtual Status GoTop() = 0;
  virtual Status GoBottom() = 0;
  virtual Status Skip(int64_t count = 1) = 0;
  virtual Status GoTo(uint32_t recno) = 0;
  virtual bool Eof() const = 0;
  virtual bool Bof() const = 0;
  virtual uint32_t RecNo() const = 0;
  // Number of records as stored now (re-read from the file header).
  virtual Result<uint32_t> RecCount() = 0;
  virtual bool Deleted() const = 0;

  // ---- Fields of the current record (by case-insensitive name) ----
  // NotFound when the table has no such field (the caller turns that into its own message).
  virtual Result<std::string> GetString(std::string_view field) const = 0;  // C: as stored, trailing blanks kept
  virtual Result<double> GetNumber(std::string_view field) const = 0;      // N, F, I; blank = 0
  // The stored text of an N/F field, trimmed ("-25.00"); lets money code parse it exactly.
  virtual Result<std::string> GetNumberText(std::string_view field) const = 0;
  virtual Result<bool> GetLogical(std::string_view field) const = 0;      // blank = false
  virtual Result<Date> GetDate(std::string_view field) const = 0;         // blank date when empty
  // The raw bytes of any field of the current record, as stored.
  virtual Result<std::string> GetRaw(std::string_view field) const = 0;
  // ---- Fields of the current record by position (1-based, as FieldPos gives it) ----
  // The per-scan path resolves its field names once and reads by position: no name lookup, no
  // allocation. Positions hold while layout_id() stays the same; it changes whenever the area
  // takes a table file anew (a replaced table may have another structure) and is unique in the
  // process, so a cache keyed by it is never stale, whichever area it was filled from.
  virtual uint64_t layout_id() const = 0;
  // The stored bytes; the view lasts until the area moves or reads another record.
  virtual Result<std::string_view> RawAt(int pos) const = 0;
  // The whole current record as stored (deletion flag first; fields at FieldSpec::offset), read
  // if it is not yet; the view lasts like RawAt's.
  virtual Result<std::string_view> RecordBytes() const = 0;
  virtual Result<double> NumberAt(int pos) const = 0;  // N, F, I; blank = 0
  virtual Result<bool> LogicalAt(int pos) const = 0;   // blank = false
  virtual Result<Date> DateAt(int pos) const = 0;      // blank date when empty

  // The text of a memo field (M) of the current record, read from the table's memo file
  // (<base>.FPT beside the table, found ignoring case); "" when the record has no memo.
  // Corruption when the memo file is missing or damaged.
  virtual Result<std::string> GetMemo(std::string_view field) const = 0;

  // ---- Writing (REQUIRES: opened with read_only = false) ----
  // Changes collect in the current record and are written when the area moves, seeks or commits:
  // the record under its record lock, then, when a key of any tag changed (a key field, a FOR
  // condition, the deleted flag), the compound index under its lock (see cdx_updater.h).
  // AppendBlank takes the header lock. A table with a tag whose expression is not understood
  // cannot be written (InvalidArgument).
  virtual Status AppendBlank() = 0;  // appends and positions on the new record
  virtual Status PutString(std::string_view field, std::string_view value) = 0;  // cut/padded to width
  virtual Status PutNumber(std::string_view field, double value) = 0;  // InvalidArgument if it does not fit
  virtual Status PutLogical(std::string_view field, bool value) = 0;
  virtual Status PutDate(std::string_view field, const Date& value) = 0;
  virtual Status SetDeleted(bool deleted) = 0;
  virtual Status Commit() = 0;  // writes the current record and the header to the file
};

}  // namespace kt::data
