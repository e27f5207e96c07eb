// The reply to one scanned code: COM_OK filled with the looked-up item's names and price text, or
// COM_FAIL with the lookup's error text. One place for the terminal sessions and the tools that
// show what a session would answer.
#pragma once

#include <string>
#include <string_view>

#include "server/data/item_lookup.h"

namespace kt::reply {

// `lookup` has just run SEEKKODE; the price text is built only when COM_OK asks for it.
std::string ScanReply(const data::ITEMPENJUAECERAN& lookup, std::string_view com_ok, std::string_view com_fail);

}  // namespace kt::reply
