// Bulk-builds a compound .CDX index for a table from tag definitions.
//
// Key and FOR expressions use the xBase subset our data needs: field names, UPPER(), STRZERO(),
// STR(), DTOS(), DELETED(), "+" concatenation, comparisons (=, ==, <>, #, !=, <, <=, >, >=),
// .AND., .OR., .NOT./!, and literals. The result replaces any index file of that name and marks
// the table's header as having a structural index. The written file is readable by other
// CDX-compatible engines.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/status.h"

namespace kt::data {

struct TagSpec {
  std::string name;            // at most 10 characters
  std::string key_expression;
  std::string for_expression;  // empty: every record
  bool descending = false;
  bool unique = false;
};

// Writes <table base name>.CDX beside `table_path` (or replaces it). The table must not be open
// for writing elsewhere. InvalidArgument for a bad expression or tag name.
Status BuildCompoundIndex(const std::filesystem::path& table_path, const std::vector<TagSpec>& tags);

}  // namespace kt::data
