// Writes whole tables of the accounting layout: a table file from a field list, its rows one at a
// time, then its compound index. Used by the demo data set and by tests that build small tables.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/status.h"
#include "server/data/driver/date.h"
#include "server/data/driver/index_builder.h"
#include "server/data/driver/work_area.h"

namespace kt::data::demo {

// One value to store; `kind` says which member holds it.
struct FieldValue {
  enum class Kind { kText, kNumber, kLogical, kDate };
  Kind kind = Kind::kText;
  std::string text;
  double number = 0;
  bool logical = false;
  Date date;
};

// One record: only the fields named here are filled, the rest stay blank.
struct Row {
  std::vector<std::pair<std::string, FieldValue>> values;
  bool deleted = false;

  // One overload per kind, so that no literal silently converts into another kind.
  Row& Set(std::string field, std::string text) {
    FieldValue& v = Add(std::move(field), FieldValue::Kind::kText);
    v.text = std::move(text);
    return *this;
  }
  Row& Set(std::string field, const char* text) { return Set(std::move(field), std::string(text)); }
  Row& Set(std::string field, double number) {
    Add(std::move(field), FieldValue::Kind::kNumber).number = number;
    return *this;
  }
  Row& Set(std::string field, int number) { return Set(std::move(field), static_cast<double>(number)); }
  Row& Set(std::string field, bool logical) {
    Add(std::move(field), FieldValue::Kind::kLogical).logical = logical;
    return *this;
  }
  Row& Set(std::string field, const Date& date) {
    Add(std::move(field), FieldValue::Kind::kDate).date = date;
    return *this;
  }

 private:
  FieldValue& Add(std::string field, FieldValue::Kind kind) {
    values.emplace_back(std::move(field), FieldValue{});
    values.back().second.kind = kind;
    return values.back().second;
  }
};

// A table's structure and index tags.
struct TableDef {
  std::string name;  // e.g. "S_STOCK"; the file is NAME.G8A
  std::vector<FieldSpec> fields;
  std::vector<TagSpec> tags;  // empty: no index file
};

// Appends rows to a newly created table, then builds its index.
class TableWriter {
 public:
  // Creates `folder`/NAME.G8A (replacing an existing file).
  static Result<std::unique_ptr<TableWriter>> Create(const std::filesystem::path& folder, const TableDef& def);
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  // InvalidArgument when a field is unknown or a value does not fit.
  Status Append(const Row& row);
  // Closes the table and writes NAME.CDX with the tags (when there are any).
  Status Finish();

 private:
  TableWriter(std::filesystem::path path, std::vector<TagSpec> tags, std::unique_ptr<WorkArea> area)
      : path_(std::move(path)), tags_(std::move(tags)), area_(std::move(area)) {}

  std::filesystem::path path_;
  std::vector<TagSpec> tags_;
  std::unique_ptr<WorkArea> area_;
};

// Create, append every row, finish.
Status WriteTable(const std::filesystem::path& folder, const TableDef& def, const std::vector<Row>& rows);

}  // namespace kt::data::demo
