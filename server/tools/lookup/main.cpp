// ktvistrand-lookup: looks scanned codes up in an accounting data folder the way a terminal
// session does, and prints one line per code.
//
//   ktvistrand-lookup --data LOCATION [--level 0-5] [--at "YYYY-MM-DD HH:MM"]
//                     [--render [--workdir DIR]] CODE...
//
// Output: "OK<TAB>name<TAB>price text" or "FAIL<TAB>error text" per code. With --render, instead
// the reply the server would send for each code, drawn as the terminal shows it (the drawing
// kx25sim uses); the templates come from DIR's KTVISTRD.DAT, else the default ones.
// A database that does not open prints its message with the file and the cause on standard error
// and exits with 1; a usage error exits with 2.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "common/cli/command_line.h"
#include "common/event_sink.h"
#include "common/text/text.h"
#include "server/data/clock.h"
#include "server/data/database.h"
#include "server/data/global_variable.h"
#include "server/data/item_lookup.h"
#include "server/data/messages.h"
#include "server/data/pricing/lookup_pricing.h"
#include "server/tools/lookup/render.h"

namespace {

using namespace kt::data;

constexpr int kExitDatabase = 1;

// Error boxes of a headless run: the first one is kept for the exit message, all are logged.
class CommandSink : public kt::EventSink {
 public:
  void ErrorBox(std::string_view text) override {
    if (first_box.empty()) first_box = std::string(text);
    boxes.emplace_back(text);
  }
  void ScanInfo(std::string_view text) override { scans.emplace_back(text); }

  std::string first_box;
  std::vector<std::string> boxes, scans;
};

// The failure of a database or session open: the operator text, and the failed file with its
// cause when the data layer reported one ("### Gagal buke file NAME ! (cause)" in the scan list).
int OpenFailure(const CommandSink& sink) {
  std::string text = sink.first_box;
  for (const std::string& scan : sink.scans) {
    if (scan.rfind(msg::kSessionOpenFailedPrefix, 0) == 0) text = scan.substr(4);  // without "### "
  }
  if (text.empty()) text = std::string(msg::kOpenFailedPrefix) + "?";
  std::cerr << "ktvistrand-lookup: " << text << std::endl;
  return kExitDatabase;
}

}  // namespace

int main(int argc, char** argv) {
  kt::cli::CommandLine cl("ktvistrand-lookup",
                          "Looks scanned codes up in an accounting data folder the way a terminal session "
                          "does and prints one line per code: OK<TAB>name<TAB>price text, or "
                          "FAIL<TAB>error text.");
  CLI::App& app = cl.app();
  std::string location;
  int level = 0;
  std::string at_text;
  std::vector<std::string> codes;
  app.add_option("--data", location, "the accounting data: the folder holding ST_DB, or ST_DB itself")
      ->type_name("LOCATION")
      ->required();
  app.add_option("--level", level, "price level 0 to 5 (default 0)")->check(CLI::Range(0, 5));
  app.add_option("--at", at_text, "price at this time instead of now")->type_name("\"YYYY-MM-DD HH:MM\"");
  bool render = false;
  std::string workdir;
  CLI::Option* render_option = app.add_flag(
      "--render", render,
      "print the reply the server would send for each code, drawn as the terminal shows it");
  app.add_option("--workdir", workdir,
                 "with --render: the templates of DIR's KTVISTRD.DAT instead of the default ones")
      ->type_name("DIR")
      ->needs(render_option);
  app.add_option("CODE", codes, "the scanned codes")->required();
  if (auto done = cl.Parse(argc, argv, std::cout, std::cerr)) return *done;
  std::optional<LookupTime> at;
  if (!at_text.empty() && !(at = ParseLookupTime(at_text))) {
    return cl.UsageError(std::cerr, "--at takes \"YYYY-MM-DD HH:MM\"");
  }
  std::optional<ReplyTemplates> templates;
  if (render) {
    auto loaded = !workdir.empty() ? LoadReplyTemplates(workdir)
                                   : kt::Result<ReplyTemplates>(DefaultReplyTemplates());
    if (!loaded.ok()) return cl.UsageError(std::cerr, loaded.status().message());
    templates = std::move(*loaded);
  }

  GLOBALVARIABLE globals;
  ConfigValues config;
  config.location = location;
  config.WCONFIGHARGAJUAL = static_cast<uint16_t>(level);
  globals.SetConfig(config);

  CommandSink sink;
  if (!DBMAINOPEN(globals, sink)) return OpenFailure(sink);
  for (const std::string& box : sink.boxes) std::cerr << box << "\n";

  const std::optional<FixedClock> fixed = at ? std::optional<FixedClock>(*at) : std::nullopt;
  const Clock& clock = fixed ? static_cast<const Clock&>(*fixed) : DefaultClock();
  ITEMPENJUAECERAN lookup(globals, sink, clock);
  lookup.SetConnectionNumber(1);
  if (!lookup.DBSUBOPEN()) return OpenFailure(sink);
  for (const std::string& code : codes) {
    // A session answers an empty code with "###" and never looks it up.
    if (kt::text::Trim(code).empty()) {
      std::cout << (templates ? DrawReply(code, "###") : std::string("FAIL\t###\n"));
      continue;
    }
    lookup.SEEKKODE(code);
    if (templates) {
      std::cout << DrawReply(code, ReplyBytes(lookup, *templates));
    } else if (lookup.SEEKFOUND()) {
      std::cout << "OK\t" << lookup.ORECITEM.CNAMAALL << "\t" << pricing::LookupPriceText(lookup) << "\n";
    } else {
      std::cout << "FAIL\t" << lookup.CERRORMESS << "\n";
    }
  }
  std::cout.flush();
  return 0;
}
