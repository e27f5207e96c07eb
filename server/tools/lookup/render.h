// ktvistrand-lookup --render: the reply the server would send for a looked-up code, drawn as the
// terminal shows it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "common/status.h"
#include "server/data/item_lookup.h"

namespace kt::data {

struct ReplyTemplates {
  std::string com_ok;
  std::string com_fail;
};

ReplyTemplates DefaultReplyTemplates();
// COM_OK and COM_FAIL of the settings table in `workdir`. Never creates the table: a folder
// without one is an error.
Result<ReplyTemplates> LoadReplyTemplates(const std::filesystem::path& workdir);

// The answer to the code `lookup` has just looked up, as a terminal session builds it: COM_OK
// with the item's names and price text when found, otherwise COM_FAIL with the error text.
std::string ReplyBytes(const ITEMPENJUAECERAN& lookup, const ReplyTemplates& templates);

// "scan CODE" and the display framed as kx25sim draws it.
std::string DrawReply(std::string_view code, std::string_view reply);

}  // namespace kt::data
