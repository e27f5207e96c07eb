// Writes whole tables of the accounting layout: a table file from a field list, its rows one at a
// time, then its compound index. Used by the demo data set and by tests that build small tables.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "common/status.h"
#include "server/data/driver/date.h"
#include "server/data/driver/index_builder.h"
#include "server/data/driver/work_area.h"

namespace kt::data::demo {

using FieldValue = std::variant<std::string, double, bool, Date>;

// One record: only the fields named here are filled, the rest stay blank.
struct Row {
  std::vector<std::pair<std::string, FieldValue>> values;
  bool deleted = false;

  // One overload per kind, so that no literal silently converts into another kind.
  Row& Set(std::string field, std::string text) { return Put(std::move(field), std::move(text)); }
  Row& Set(std::string field, const char* text) { return Put(std::move(field), std::string(text)); }
  Row& Set(std::string field, double number) { return Put(std::move(field), number); }
  Row& Set(std::string field, int number) { return Put(std::move(field), static_cast<double>(number)); }
  Row& Set(std::string field, bool logical) { return Put(std::move(field), logical); }
  Row& Set(std::string field, const Date& date) { return Put(std::move(field), date); }

 private:
  Row& Put(std::string field, FieldValue value) {
    values.emplace_back(std::move(field), std::move(value));
    return *this;
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
