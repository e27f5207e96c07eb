#include "server/data/demo/table_writer.h"

#include <system_error>

namespace kt::data::demo {

Result<std::unique_ptr<TableWriter>> TableWriter::Create(const std::filesystem::path& folder,
                                                         const TableDef& def) {
  const std::filesystem::path path = folder / (def.name + ".G8A");
  std::error_code ec;
  std::filesystem::remove(path, ec);
  std::filesystem::remove(folder / (def.name + ".CDX"), ec);
  KT_RETURN_IF_ERROR(WorkArea::Create(path, def.fields));
  OpenOptions options;
  options.shared = false;
  options.read_only = false;
  options.open_index = false;
  KT_ASSIGN_OR_RETURN(std::unique_ptr<WorkArea> area, WorkArea::Open(path, def.name, options));
  return std::unique_ptr<TableWriter>(new TableWriter(path, def.tags, std::move(area)));
}

Status TableWriter::Append(const Row& row) {
  if (area_ == nullptr) return Status::InvalidArgument("table writer already finished");
  KT_RETURN_IF_ERROR(area_->AppendBlank());
  for (const auto& [field, value] : row.values) {
    Status put;
    switch (value.kind) {
      case FieldValue::Kind::kText: put = area_->PutString(field, value.text); break;
      case FieldValue::Kind::kNumber: put = area_->PutNumber(field, value.number); break;
      case FieldValue::Kind::kLogical: put = area_->PutLogical(field, value.logical); break;
      case FieldValue::Kind::kDate: put = area_->PutDate(field, value.date); break;
    }
    if (!put.ok()) {
      return Status::InvalidArgument(path_.filename().string() + " field " + field + ": " + put.message());
    }
  }
  if (row.deleted) KT_RETURN_IF_ERROR(area_->SetDeleted(true));
  // The next append writes this record; one commit (a sync) at the end is enough.
  return Status::Ok();
}

Status TableWriter::Finish() {
  if (area_ == nullptr) return Status::Ok();
  KT_RETURN_IF_ERROR(area_->Commit());
  area_.reset();
  if (tags_.empty()) return Status::Ok();
  return BuildCompoundIndex(path_, tags_);
}

Status WriteTable(const std::filesystem::path& folder, const TableDef& def, const std::vector<Row>& rows) {
  KT_ASSIGN_OR_RETURN(std::unique_ptr<TableWriter> writer, TableWriter::Create(folder, def));
  for (const Row& row : rows) KT_RETURN_IF_ERROR(writer->Append(row));
  return writer->Finish();
}

}  // namespace kt::data::demo
