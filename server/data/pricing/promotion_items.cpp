#include "server/data/pricing/promotion_items.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace kt::data::pricing {
namespace {

using ItemList = std::shared_ptr<const std::vector<double>>;

// The STOCK_ID of every record in the order `tag`, sorted; null when the table cannot tell (see
// MayHave).
ItemList ReadItems(WorkArea& area, std::string_view tag) {
  const int pos = area.FieldPos("STOCK_ID");
  if (pos == 0) return nullptr;
  const Result<uint32_t> count = area.RecCount();
  if (!count.ok() || *count > PromotionItems::kMaxRecords) return nullptr;
  if (!area.SetOrder(tag).ok() || !area.GoTop().ok()) return nullptr;
  auto items = std::make_shared<std::vector<double>>();
  items->reserve(*count);
  while (!area.Eof()) {
    const Result<double> id = area.NumberAt(pos);
    if (!id.ok()) return nullptr;
    items->push_back(std::isfinite(*id) ? *id : 0.0);
    if (!area.Skip(1).ok()) return nullptr;
  }
  std::sort(items->begin(), items->end());
  items->erase(std::unique(items->begin(), items->end()), items->end());
  return items;
}

// The lists of the latest index generations, shared by the sessions. The first session that meets
// a generation reads its lists; the others wait for it rather than read the table again.
ItemList SharedItems(WorkArea& area, std::string_view tag, uint64_t generation) {
  static std::mutex* mutex = new std::mutex();
  static auto* lists = new std::map<std::pair<uint64_t, std::string>, ItemList>();  // guarded by *mutex
  constexpr std::size_t kKept = 16;  // a few generations of a few orders
  std::scoped_lock lock(*mutex);
  std::pair<uint64_t, std::string> key(generation, tag);
  if (auto it = lists->find(key); it != lists->end()) return it->second;
  ItemList items = ReadItems(area, tag);
  if (lists->size() >= kKept) lists->erase(lists->begin());  // the oldest generation
  lists->emplace(std::move(key), items);
  return items;
}

}  // namespace

bool PromotionItems::MayHave(WorkArea& area, std::string_view tag, int64_t item_id) {
  const Result<uint64_t> generation = area.IndexGeneration();
  if (!generation.ok() || *generation == 0) return true;
  auto known = std::find_if(known_.begin(), known_.end(), [&](const Known& k) { return k.tag == tag; });
  if (known == known_.end()) known = known_.insert(known_.end(), Known{std::string(tag), 0, nullptr});
  if (known->generation != *generation) {
    known->items = SharedItems(area, tag, *generation);
    known->generation = *generation;
  }
  const auto& items = known->items;
  return items == nullptr || std::binary_search(items->begin(), items->end(), static_cast<double>(item_id));
}

}  // namespace kt::data::pricing
