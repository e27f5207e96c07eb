// Which items have records in each order of the promotion table at all.
//
// Most items of a shop never have a promotion, yet each priced scan would search the promotion
// table three times (one order per kind) to learn so. The list of the items that have entries in
// an order is read once per change of the table's index and answers "surely none" without a
// search.
//
// A list holds the STOCK_ID of every record the order holds, deleted ones too, so it never lacks
// an item that has a valid promotion of that kind: a new record, a record given to another item
// or another kind, changes the index, and the next generation of the index reads the list again.
// A list is read once per index generation and order for the whole process and shared by every
// session.
//
// Thread safety: an object belongs to one session's thread, like the work area it is given; the
// shared lists are guarded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/data/driver/work_area.h"

namespace kt::data::pricing {

class PromotionItems {
 public:
  // A table with more records than this is searched for every item, as without the lists: reading
  // it would hold up the scan that meets a change for too long.
  static constexpr uint32_t kMaxRecords = 100000;

  // False only when the order `tag` of the promotion table `area` surely holds no record of the
  // item. Any doubt (no index, no such order, an unreadable record, a table too large) answers
  // true, so that the search decides. May move the area and change its order.
  bool MayHave(WorkArea& area, std::string_view tag, int64_t item_id);

 private:
  struct Known {
    std::string tag;
    uint64_t generation = 0;                             // of the list below
    std::shared_ptr<const std::vector<double>> items;  // sorted; null: unknown
  };
  std::vector<Known> known_;  // one per order asked about
};

}  // namespace kt::data::pricing
