#include "server/data/driver/dbf_table.h"


#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>

#include "common/coding.h"
#include "common/platform/files/native_file.h"

namespace kt::data {

namespace {

std::span<std::byte> AsWritable(std::string& s) {
  return {reinterpret_cast<std::byte*>(s.data()), s.size()};
}

void TodayInto(uint8_t* ymd) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  ymd[0] = static_cast<uint8_t>(tm.tm_year);  // years since 1900, as version 0x03 writers store
  ymd[1] = static_cast<uint8_t>(tm.tm_mon + 1);
  ymd[2] = static_cast<uint8_t>(tm.tm_mday);
}

bool ValidFieldName(const std::string& name) {
  if (name.empty() || name.size() > 10) return false;
  if (!(name[0] >= 'A' && name[0] <= 'Z')) return false;
  for (char c : name) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

Status CheckNewField(const DbfField& f) {
  if (!ValidFieldName(f.name)) {
    return Status::InvalidArgument("field name \"" + f.name +
                                   "\" must be 1-10 upper-case letters, digits or _");
  }
  const std::string where = "field " + f.name + ": ";
  switch (f.type) {
    case 'C':
      if (f.width < 1 || f.decimals != 0) {
        return Status::InvalidArgument(where + "C width must be 1-65535 without decimals");
      }
      return Status::Ok();
    case 'N':
    case 'F':
      if (f.width < 1 || f.width > 20 || (f.decimals > 0 && f.decimals + 2 > f.width)) {
        return Status::InvalidArgument(where + "N width must be 1-20 with decimals <= width - 2");
      }
      return Status::Ok();
    case 'L':
      if (f.width != 1 || f.decimals != 0) return Status::InvalidArgument(where + "L width must be 1");
      return Status::Ok();
    case 'D':
      if (f.width != 8 || f.decimals != 0) return Status::InvalidArgument(where + "D width must be 8");
      return Status::Ok();
    default:
      return Status::InvalidArgument(where + "type must be C, N, F, L or D");
  }
}

}  // namespace

Result<std::unique_ptr<DbfTable>> DbfTable::Open(const std::filesystem::path& path,
                                                 bool writable, bool exclusive) {
  KT_ASSIGN_OR_RETURN(std::shared_ptr<SharedFile> file, exclusive ? OpenExclusiveFile(path, writable)
                                                                  : OpenSharedFile(path, writable));
  std::vector<std::byte> prefix(DbfHeader::kPrefixLength);
  KT_ASSIGN_OR_RETURN(std::size_t got, file->ReadAt(0, prefix));
  prefix.resize(got);
  auto header_length = DbfHeader::DecodeHeaderLength(prefix);
  if (!header_length.ok()) {
    return Status::Corruption(path.filename().string() + ": " + header_length.status().message());
  }
  std::vector<std::byte> bytes(std::max<std::size_t>(*header_length, DbfHeader::kPrefixLength));
  KT_ASSIGN_OR_RETURN(got, file->ReadAt(0, bytes));
  bytes.resize(got);
  auto header = DbfHeader::Decode(bytes);
  if (!header.ok()) {
    return Status::Corruption(path.filename().string() + ": " + header.status().message());
  }
  std::unique_ptr<DbfTable> table(new DbfTable(std::move(file), std::move(header).value()));
  KT_RETURN_IF_ERROR(table->CountFromHeader(/*strict=*/true).status());
  return table;
}

Result<uint32_t> DbfTable::CountFromHeader(bool strict) const {
  std::byte raw[4];
  KT_RETURN_IF_ERROR(file_->ReadExact(DbfHeader::kRecordCountOffset, raw, "record count"));
  const uint32_t stored = DecodeFixedLE32(raw);
  KT_ASSIGN_OR_RETURN(FileStamp stamp, file_->Stamp());
  const uint64_t data = stamp.size > header_.header_length ? stamp.size - header_.header_length : 0;
  const uint64_t complete = data / header_.record_length;
  if (stored <= complete) return stored;
  if (strict) {
    return Status::Corruption(file_->path().filename().string() + ": record count " +
                              std::to_string(stored) + " larger than the file holds (" +
                              std::to_string(complete) + ")");
  }
  // The file shrank under us (or a writer is mid-way): only complete records exist.
  return static_cast<uint32_t>(complete);
}

Result<uint32_t> DbfTable::ReadRecordCount() const { return CountFromHeader(/*strict=*/false); }

Result<uint32_t> DbfTable::ReadStatedRecordCount() const {
  std::byte raw[4];
  KT_RETURN_IF_ERROR(file_->ReadExact(DbfHeader::kRecordCountOffset, raw, "record count"));
  return DecodeFixedLE32(raw);
}

Status DbfTable::ReadRecord(uint32_t recno, std::string& out) const {
  out.resize(header_.record_length);
  if (recno == 0) return Status::InvalidArgument("record number 0");
  return file_->ReadExact(RecordOffset(recno), AsWritable(out), "record");
}

Status DbfTable::WriteRecord(uint32_t recno, const std::string& record) const {
  if (record.size() != header_.record_length || recno == 0) {
    return Status::InvalidArgument("bad record for writing");
  }
  return file_->WriteAt(RecordOffset(recno), AsBytes(record));
}

Result<uint32_t> DbfTable::AppendRecord(const std::string& record) const {
  KT_ASSIGN_OR_RETURN(uint32_t count, ReadRecordCount());
  const uint32_t recno = count + 1;
  std::string bytes = record;
  bytes.push_back(static_cast<char>(DbfHeader::kEndOfFile));
  if (record.size() != header_.record_length) return Status::InvalidArgument("bad record size");
  KT_RETURN_IF_ERROR(file_->WriteAt(RecordOffset(recno), AsBytes(bytes)));
  std::byte raw[4];
  EncodeFixedLE32(raw, recno);
  KT_RETURN_IF_ERROR(file_->WriteAt(DbfHeader::kRecordCountOffset, raw));
  return recno;
}

Status DbfTable::Commit() const {
  uint8_t ymd[3];
  TodayInto(ymd);
  KT_RETURN_IF_ERROR(file_->WriteAt(DbfHeader::kDateOffset,
                                    std::span(reinterpret_cast<const std::byte*>(ymd), 3)));
  return file_->Sync();
}

Status DbfTable::Create(const std::filesystem::path& path, const std::vector<DbfField>& fields) {
  if (fields.empty()) return Status::InvalidArgument("a table needs at least one field");
  if (fields.size() > DbfHeader::kMaxFields) return Status::InvalidArgument("too many fields");
  DbfHeader h;
  h.version = 0x03;
  TodayInto(&h.year);
  h.code_page = 0x03;  // Windows-1252
  uint32_t offset = 1;
  std::set<std::string> names;
  for (DbfField f : fields) {
    KT_RETURN_IF_ERROR(CheckNewField(f));
    if (!names.insert(f.name).second) {
      return Status::InvalidArgument("field " + f.name + " appears twice");
    }
    f.offset = offset;
    f.flags = 0;
    offset += f.width;
    if (offset > 65535) return Status::InvalidArgument("record longer than 65535 bytes");
    h.fields.push_back(std::move(f));
  }
  h.record_length = static_cast<uint16_t>(offset);
  h.header_length = DbfHeader::NewHeaderLength(h.fields.size());
  std::vector<std::byte> bytes;
  h.EncodeTo(bytes);
  bytes.push_back(std::byte{DbfHeader::kEndOfFile});

  return platform::CreateNewFile(path, bytes);
}

}  // namespace kt::data
