// A full structural check of a table's compound index against the table: for every tag (and the
// tag directory) every node decodes, keys ascend through the whole tree, each interior entry
// names the last entry of its child, all leaves lie at one depth, the sibling links of every level
// run left to right and back with both ends open, no page is used twice, the free list runs
// through pages no tree uses; and every record is keyed exactly once per tag as its key and FOR
// expressions say.
//
// Unique tags: every entry must be its record's key and no key may appear twice, but a key may be
// missing: the engines keep a unique key with the record that first had it and drop it when that
// record changes, even if other records still have the key.
//
// For tests and for technicians; it reads the whole table.
#pragma once

#include <filesystem>

#include "common/status.h"

namespace kt::data {

// Ok, or Corruption listing the first problems found (one per line).
Status CheckCompoundIndex(const std::filesystem::path& table_path);

}  // namespace kt::data
