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

#include "server/data/clock.h"
#include "server/data/code_key.h"
#include "server/data/database.h"
#include "server/data/event_sink.h"
#include "server/data/global_variable.h"
#include "server/data/item_lookup.h"
#include "server/data/messages.h"
#include "server/data/pricing/lookup_pricing.h"
#include "server/tools/lookup/render.h"

namespace {

using namespace kt::data;

constexpr int kExitDatabase = 1;
constexpr int kExitUsage = 2;

// Error boxes of a headless run: the first one is kept for the exit message, all are logged.
class CommandSink : public EventSink {
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

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "ktvistrand-lookup: " << problem << "\n";
  std::cerr << "usage: ktvistrand-lookup --data LOCATION [--level 0-5] [--at \"YYYY-MM-DD HH:MM\"]\n"
               "                         [--render [--workdir DIR]] CODE...\n";
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::string> location;
  uint16_t level = 0;
  std::optional<LookupTime> at;
  std::vector<std::string> codes;
  bool render = false;
  std::optional<std::string> workdir;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string(argv[++i]);
    };
    if (arg == "--data") {
      location = value();
      if (!location) return Usage("--data needs a location");
    } else if (arg == "--level") {
      const auto text = value();
      if (!text || text->size() != 1 || (*text)[0] < '0' || (*text)[0] > '5') {
        return Usage("--level takes 0 to 5");
      }
      level = static_cast<uint16_t>((*text)[0] - '0');
    } else if (arg == "--at") {
      const auto text = value();
      if (!text || !(at = ParseLookupTime(*text))) return Usage("--at takes \"YYYY-MM-DD HH:MM\"");
    } else if (arg == "--render") {
      render = true;
    } else if (arg == "--workdir") {
      workdir = value();
      if (!workdir) return Usage("--workdir needs a folder");
    } else if (arg == "--help" || arg == "-h") {
      return Usage("");
    } else if (arg == "--") {
      for (++i; i < argc; ++i) codes.emplace_back(argv[i]);
    } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
      return Usage("unknown option " + arg);
    } else {
      codes.push_back(arg);
    }
  }
  if (!location) return Usage("--data is required");
  if (codes.empty()) return Usage("no code given");
  if (workdir && !render) return Usage("--workdir goes with --render");
  std::optional<ReplyTemplates> templates;
  if (render) {
    auto loaded = workdir ? LoadReplyTemplates(*workdir) : kt::Result<ReplyTemplates>(DefaultReplyTemplates());
    if (!loaded.ok()) return Usage(std::string(loaded.status().message()));
    templates = std::move(*loaded);
  }

  GLOBALVARIABLE globals;
  ConfigValues config;
  config.location = *location;
  config.WCONFIGHARGAJUAL = level;
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
    if (TrimBlanks(code).empty()) {
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
