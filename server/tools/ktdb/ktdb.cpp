#include "server/tools/ktdb/ktdb.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "server/data/demo/demo_data.h"
#include "server/data/driver/index_check.h"
#include "server/data/driver/work_area.h"

namespace kt::tools {

namespace {

using data::Date;
using data::TagInfo;
using data::WorkArea;

constexpr const char* kUsage =
    "usage: ktdb COMMAND ARGS...\n"
    "Inspects dBASE tables (.G8A) and their compound indexes (.CDX) in a data folder.\n"
    "File names are found without regard to letter case.\n"
    "\n"
    "commands:\n"
    "  structure TABLE                 one line per field: NAME TYPE WIDTH DECIMALS,\n"
    "                                  then: records N\n"
    "  tags TABLE                      one line per tag: TAG KEY FOR ascending|descending\n"
    "                                  unique|duplicates\n"
    "  seek TABLE TAG KEY [--soft] [--type char|num|date|logical]\n"
    "                                  prints: found eof recno (found/eof as 0/1; at end of\n"
    "                                  table recno is the record count + 1)\n"
    "  seek TABLE TAG --keys FILE [--soft] [--type T] [--stats]\n"
    "                                  the same for every line of FILE; with --stats only:\n"
    "                                  keys found seconds (time spent in the seeks alone)\n"
    "  walk TABLE TAG [--bottom] [--count N]\n"
    "                                  record numbers in index order from the top (or\n"
    "                                  backwards from the bottom), deleted records included\n"
    "  get TABLE RECNO FIELD...        field values of that record as stored, one per line\n"
    "  check TABLE                     checks the compound index against the table (every tree,\n"
    "                                  sibling link, free page and every record's keys): prints\n"
    "                                  ok, or the problems found (exit 1)\n"
    "  create-demo DIR [--items N] [--force]\n"
    "                                  writes the demo data set DIR/ST_DB/ (every table with\n"
    "                                  its index; N items, 300 by default); refuses a folder\n"
    "                                  that holds tables unless --force, which replaces the\n"
    "                                  demo's tables and leaves every other file alone\n"
    "\n"
    "Keys: char keys are taken byte for byte (a shorter key matches as a prefix); dates as\n"
    "YYYYMMDD (empty for the blank date); logicals as T or F. --type defaults to the tag's\n"
    "key type. Output cells are separated by TAB. Errors go to stderr with a non-zero exit.\n";

// A failure to report: one line, and the exit status.
struct Failure {
  std::string message;
  int code = 1;
};

using Outcome = std::optional<Failure>;  // nullopt: success

Outcome Fail(const std::string& message, int code = 1) { return Failure{message, code}; }
Outcome Fail(const Status& status) { return Failure{status.message(), 1}; }

Result<std::unique_ptr<WorkArea>> OpenTable(const std::string& path) {
  return WorkArea::Open(path, "KTDB");
}

Outcome Structure(const std::vector<std::string>& a, std::ostream& out) {
  if (a.size() != 1) return Fail("structure needs TABLE", 2);
  auto area = OpenTable(a[0]);
  if (!area.ok()) return Fail(area.status());
  for (const data::FieldSpec& f : (*area)->fields()) {
    out << f.name << '\t' << f.type << '\t' << f.width << '\t' << int{f.decimals} << '\n';
  }
  auto count = (*area)->RecCount();
  if (!count.ok()) return Fail(count.status());
  out << "records\t" << *count << '\n';
  return std::nullopt;
}

Outcome Tags(const std::vector<std::string>& a, std::ostream& out) {
  if (a.size() != 1) return Fail("tags needs TABLE", 2);
  auto area = OpenTable(a[0]);
  if (!area.ok()) return Fail(area.status());
  for (const TagInfo& t : (*area)->Tags()) {
    out << t.name << '\t' << t.key_expression << '\t' << t.for_expression << '\t'
        << (t.descending ? "descending" : "ascending") << '\t'
        << (t.unique ? "unique" : "duplicates") << '\n';
  }
  return std::nullopt;
}

// Options after the positional arguments.
struct Options {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;  // --type, --keys, --count
  std::map<std::string, bool> flags;          // --soft, --stats, --bottom
};

Result<Options> ParseOptions(const std::vector<std::string>& a,
                             const std::vector<std::string>& with_value,
                             const std::vector<std::string>& flags) {
  Options o;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::string& s = a[i];
    if (s.size() > 2 && s.rfind("--", 0) == 0) {
      if (std::find(flags.begin(), flags.end(), s) != flags.end()) {
        o.flags[s] = true;
      } else if (std::find(with_value.begin(), with_value.end(), s) != with_value.end()) {
        if (i + 1 >= a.size()) return Status::InvalidArgument(s + " needs a value");
        o.values[s] = a[++i];
      } else {
        return Status::InvalidArgument("unknown option " + s);
      }
    } else {
      o.positional.push_back(s);
    }
  }
  return o;
}

// Converts a key text to the form the seek needs; InvalidArgument when it is not one.
struct ParsedKey {
  std::string text;
  double number = 0;
  Date date;
  bool logical = false;
};

Result<ParsedKey> ParseKey(char type, const std::string& text) {
  ParsedKey k;
  k.text = text;
  switch (type) {
    case 'N': {
      char* end = nullptr;
      k.number = std::strtod(text.c_str(), &end);
      if (text.empty() || end != text.c_str() + text.size()) {
        return Status::InvalidArgument("\"" + text + "\" is not a number");
      }
      break;
    }
    case 'D': {
      auto d = text.empty() ? std::optional<Date>(Date{}) : Date::FromDtos(text);
      if (!d) return Status::InvalidArgument("\"" + text + "\" is not a date YYYYMMDD");
      k.date = *d;
      break;
    }
    case 'L':
      if (text == "T" || text == "t") k.logical = true;
      else if (text == "F" || text == "f") k.logical = false;
      else return Status::InvalidArgument("\"" + text + "\" is not a logical T or F");
      break;
    default:
      break;
  }
  return k;
}

Result<bool> SeekParsed(WorkArea& w, char type, const ParsedKey& k, bool soft) {
  switch (type) {
    case 'N': return w.SeekNumber(k.number, soft);
    case 'D': return w.SeekDate(k.date, soft);
    case 'L': return w.SeekLogical(k.logical, soft);
    default: return w.Seek(k.text, soft);
  }
}

Result<char> KeyType(const Options& o, const TagInfo& tag) {
  auto it = o.values.find("--type");
  if (it == o.values.end()) return tag.key_type;
  static const std::map<std::string, char> kTypes = {
      {"char", 'C'}, {"num", 'N'}, {"date", 'D'}, {"logical", 'L'}};
  auto t = kTypes.find(it->second);
  if (t == kTypes.end()) {
    return Status::InvalidArgument("--type must be char, num, date or logical");
  }
  if (t->second != tag.key_type) {
    return Status::InvalidArgument("tag " + tag.name + " has " +
                                   std::string(1, tag.key_type) + " keys, not " + it->second);
  }
  return t->second;
}

Result<TagInfo> SelectTag(WorkArea& area, const std::string& name) {
  KT_RETURN_IF_ERROR(area.SetOrder(name));
  for (const TagInfo& t : area.Tags()) {
    if (t.name == area.order()) return t;
  }
  return Status::NotFound("no tag " + name);
}

Outcome Seek(const std::vector<std::string>& a, std::ostream& out) {
  auto parsed = ParseOptions(a, {"--type", "--keys"}, {"--soft", "--stats"});
  if (!parsed.ok()) return Fail(parsed.status().message(), 2);
  const Options& o = *parsed;
  const bool batch = o.values.count("--keys") > 0;
  if (o.positional.size() != (batch ? 2u : 3u)) {
    return Fail(batch ? "seek needs TABLE TAG --keys FILE" : "seek needs TABLE TAG KEY", 2);
  }
  if (o.flags.count("--stats") && !batch) return Fail("--stats needs --keys FILE", 2);
  const bool soft = o.flags.count("--soft") > 0;
  auto area = OpenTable(o.positional[0]);
  if (!area.ok()) return Fail(area.status());
  WorkArea& w = **area;
  auto tag = SelectTag(w, o.positional[1]);
  if (!tag.ok()) return Fail(tag.status());
  auto type = KeyType(o, *tag);
  if (!type.ok()) return Fail(type.status().message(), 2);

  auto report = [&](std::ostream& os) {
    os << (w.Found() ? 1 : 0) << '\t' << (w.Eof() ? 1 : 0) << '\t' << w.RecNo() << '\n';
  };
  if (!batch) {
    auto key = ParseKey(*type, o.positional[2]);
    if (!key.ok()) return Fail(key.status().message(), 2);
    auto r = SeekParsed(w, *type, *key, soft);
    if (!r.ok()) return Fail(r.status());
    report(out);
    return std::nullopt;
  }

  std::ifstream in(o.values.at("--keys"), std::ios::binary);
  if (!in) return Fail(o.values.at("--keys") + ": cannot read the key file");
  std::vector<ParsedKey> keys;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // key files written on Windows
    auto key = ParseKey(*type, line);
    if (!key.ok()) return Fail("line " + std::to_string(n) + ": " + key.status().message());
    keys.push_back(std::move(key).value());
  }
  const bool stats = o.flags.count("--stats") > 0;
  uint64_t found = 0;
  std::chrono::steady_clock::duration spent{};
  for (const ParsedKey& key : keys) {
    const auto start = std::chrono::steady_clock::now();
    auto r = SeekParsed(w, *type, key, soft);
    spent += std::chrono::steady_clock::now() - start;
    if (!r.ok()) return Fail(r.status());
    found += *r ? 1 : 0;
    if (!stats) report(out);
  }
  if (stats) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.6f", std::chrono::duration<double>(spent).count());
    out << keys.size() << '\t' << found << '\t' << seconds << '\n';
  }
  return std::nullopt;
}

Outcome Walk(const std::vector<std::string>& a, std::ostream& out) {
  auto parsed = ParseOptions(a, {"--count"}, {"--bottom"});
  if (!parsed.ok()) return Fail(parsed.status().message(), 2);
  const Options& o = *parsed;
  if (o.positional.size() != 2) return Fail("walk needs TABLE TAG", 2);
  int64_t limit = -1;
  if (auto it = o.values.find("--count"); it != o.values.end()) {
    char* end = nullptr;
    limit = std::strtoll(it->second.c_str(), &end, 10);
    if (it->second.empty() || *end != '\0' || limit < 0) return Fail("--count needs a number >= 0", 2);
  }
  auto area = OpenTable(o.positional[0]);
  if (!area.ok()) return Fail(area.status());
  WorkArea& w = **area;
  auto tag = SelectTag(w, o.positional[1]);
  if (!tag.ok()) return Fail(tag.status());
  const bool bottom = o.flags.count("--bottom") > 0;
  Status s = bottom ? w.GoBottom() : w.GoTop();
  for (int64_t n = 0; s.ok() && !w.Eof() && (limit < 0 || n < limit); ++n) {
    out << w.RecNo() << '\n';
    s = w.Skip(bottom ? -1 : 1);
    if (bottom && w.Bof()) break;
  }
  if (!s.ok()) return Fail(s);
  return std::nullopt;
}

Outcome Get(const std::vector<std::string>& a, std::ostream& out) {
  if (a.size() < 3) return Fail("get needs TABLE RECNO FIELD...", 2);
  char* end = nullptr;
  const unsigned long long recno = std::strtoull(a[1].c_str(), &end, 10);
  if (a[1].empty() || *end != '\0' || recno == 0 || recno > 0xFFFFFFFFull) {
    return Fail("RECNO must be a record number from 1", 2);
  }
  auto area = OpenTable(a[0]);
  if (!area.ok()) return Fail(area.status());
  WorkArea& w = **area;
  Status s = w.GoTo(static_cast<uint32_t>(recno));
  if (!s.ok()) return Fail(s);
  if (w.Eof()) {
    return Fail("record " + a[1] + " does not exist (the table has " +
                std::to_string(w.RecNo() - 1) + " records)");
  }
  std::string values;
  for (std::size_t i = 2; i < a.size(); ++i) {
    const int pos = w.FieldPos(a[i]);
    if (pos == 0) return Fail("no field " + a[i] + " in " + a[0]);
    const char type = w.fields()[pos - 1].type;
    Result<std::string> v = std::string();
    if (type == 'M') {
      v = w.GetMemo(a[i]);
    } else if (type == 'I' || type == 'Y' || type == 'B') {
      auto n = w.GetNumber(a[i]);
      if (!n.ok()) return Fail(n.status());
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*f", type == 'I' ? 0 : type == 'Y' ? 4 : 6, *n);
      v = std::string(buf);
    } else {
      v = w.GetRaw(a[i]);
    }
    if (!v.ok()) return Fail(v.status());
    values += *v + '\n';
  }
  out << values;
  return std::nullopt;
}

Outcome Check(const std::vector<std::string>& a, std::ostream& out) {
  if (a.size() != 1) return Fail("check needs a table", 2);
  const Status checked = data::CheckCompoundIndex(a[0]);
  if (checked.ok()) {
    out << "ok\n";
    return std::nullopt;
  }
  if (!checked.IsCorruption()) return Fail(checked);
  // The first line says how many problems; the problems themselves are the output.
  const std::string& text = checked.message();
  const auto newline = text.find('\n');
  if (newline != std::string::npos) out << text.substr(newline + 1) << '\n';
  return Fail(text.substr(0, newline));
}

// Number of tables (".G8A" files, any case) in `folder`; 0 when it does not exist.
int TablesIn(const std::filesystem::path& folder) {
  std::error_code ec;
  int tables = 0;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string ext = it->path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".G8A") ++tables;
  }
  return tables;
}

Outcome CreateDemo(const std::vector<std::string>& a, std::ostream& out) {
  if (a.empty()) return Fail("create-demo needs a folder", 2);
  data::demo::DemoOptions options;
  bool force = false;
  for (std::size_t i = 1; i < a.size(); ++i) {
    if (a[i] == "--force") {
      force = true;
    } else if (a[i] == "--items" && i + 1 < a.size()) {
      char* end = nullptr;
      const long count = std::strtol(a[++i].c_str(), &end, 10);
      if (end == a[i].c_str() || *end != '\0' || count < 1 || count > 10000000) {
        return Fail("--items takes a number from 1 to 10000000", 2);
      }
      options.item_count = static_cast<int>(count);
    } else {
      return Fail("create-demo: unexpected argument \"" + a[i] + "\"", 2);
    }
  }
  // A real data set must never be replaced by accident.
  const std::filesystem::path folder = std::filesystem::path(a[0]) / "ST_DB";
  if (const int tables = TablesIn(folder); tables > 0 && !force) {
    return Fail("create-demo: " + folder.string() + " already holds " + std::to_string(tables) +
                " table(s); nothing written (--force replaces the demo's tables there)");
  }
  const Status written = data::demo::WriteDemoDataSet(a[0], options);
  if (!written.ok()) return Fail(written);
  out << (std::filesystem::path(a[0]) / "ST_DB").string() << '\n';
  return std::nullopt;
}

}  // namespace

int RunKtdb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return 2;
  }
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    out << kUsage;
    return 0;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  Outcome outcome;
  if (command == "structure") outcome = Structure(rest, out);
  else if (command == "tags") outcome = Tags(rest, out);
  else if (command == "seek") outcome = Seek(rest, out);
  else if (command == "walk") outcome = Walk(rest, out);
  else if (command == "get") outcome = Get(rest, out);
  else if (command == "check") outcome = Check(rest, out);
  else if (command == "create-demo") outcome = CreateDemo(rest, out);
  else outcome = Fail("unknown command \"" + command + "\" (ktdb --help lists the commands)", 2);
  if (!outcome) return 0;
  err << "ktdb: " << outcome->message << '\n';
  return outcome->code;
}

}  // namespace kt::tools
