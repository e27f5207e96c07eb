// Record I/O on one table file through a shared handle.
//
// The header is decoded once at open; the record count is re-read from the file whenever the
// caller asks (ReadRecordCount), so appends by another program become visible. Every record is
// read with one positioned read of the whole record, so a concurrent single-write update is seen
// either entirely before or entirely after.
//
// Thread safety: const methods may be called from several threads at once; the writing methods
// need external serialisation per table (the settings table has one writer).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/status.h"
#include "server/data/driver/dbf_header.h"
#include "server/data/driver/shared_file.h"

namespace kt::data {

class DbfTable {
 public:
  // Opens and validates the header. NotFound when the file is missing; Corruption for a bad
  // header or a record count the file cannot hold; Unavailable when an exclusive opening
  // conflicts with another (see shared_file.h).
  static Result<std::unique_ptr<DbfTable>> Open(const std::filesystem::path& path, bool writable,
                                                bool exclusive = false);

  // Writes a new empty table. InvalidArgument for bad fields or when the file exists.
  static Status Create(const std::filesystem::path& path, const std::vector<DbfField>& fields);

  const DbfHeader& header() const { return header_; }
  const std::vector<DbfField>& fields() const { return header_.fields; }
  uint16_t record_length() const { return header_.record_length; }
  const SharedFile& file() const { return *file_; }

  // The record count as stored now, limited to the complete records the file holds.
  Result<uint32_t> ReadRecordCount() const;
  // The record count the header states now, whether or not the file holds that many.
  Result<uint32_t> ReadStatedRecordCount() const;

  // Reads record `recno` (1-based) into `out` (record_length bytes).
  Status ReadRecord(uint32_t recno, std::string& out) const;

  // REQUIRES: writable. `record` has record_length bytes.
  Status WriteRecord(uint32_t recno, const std::string& record) const;
  // Appends `record` after the last record, writes the end-of-file mark and the new count.
  Result<uint32_t> AppendRecord(const std::string& record) const;
  // Stamps today's date into the header and flushes the file.
  Status Commit() const;

 private:
  DbfTable(std::shared_ptr<SharedFile> file, DbfHeader header)
      : file_(std::move(file)), header_(std::move(header)) {}

  uint64_t RecordOffset(uint32_t recno) const {
    return header_.header_length + uint64_t{recno - 1} * header_.record_length;
  }
  Result<uint32_t> CountFromHeader(bool strict) const;

  const std::shared_ptr<SharedFile> file_;
  const DbfHeader header_;
};

}  // namespace kt::data
