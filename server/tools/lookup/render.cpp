#include "server/tools/lookup/render.h"

#include <system_error>

#include "common/display/drawing.h"
#include "server/data/settings_table.h"
#include "server/reply/default_templates.h"
#include "server/reply/scan_reply.h"

namespace kt::data {

ReplyTemplates DefaultReplyTemplates() { return {reply::DefaultComOk(), reply::DefaultComFail()}; }

Result<ReplyTemplates> LoadReplyTemplates(const std::filesystem::path& workdir) {
  std::error_code ec;
  const std::filesystem::path file = workdir / std::string(kSettingsFileName);
  if (!std::filesystem::is_regular_file(file, ec)) {
    return Status::NotFound("no " + std::string(kSettingsFileName) + " in " + workdir.string());
  }
  KT_ASSIGN_OR_RETURN(auto config, KTCONFIG::Open(workdir));
  GLOBALVARIABLE settings;
  if (Status read = config->CONFIGREAD(settings); !read.ok()) return read;
  return ReplyTemplates{settings.CCONFIGCOMOK(), settings.CCONFIGCOMFAIL()};
}

std::string ReplyBytes(const ITEMPENJUAECERAN& lookup, const ReplyTemplates& templates) {
  return reply::ScanReply(lookup, templates.com_ok, templates.com_fail);
}

std::string DrawReply(std::string_view code, std::string_view reply) {
  return display::DrawStream("scan " + std::string(code), reply);
}

}  // namespace kt::data
