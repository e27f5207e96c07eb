#include "server/tools/ktdb/ktdb.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "common/cli/command_line.h"
#include "common/text/text.h"
#include "server/data/demo/demo_data.h"
#include "server/data/driver/index_check.h"
#include "server/data/driver/work_area.h"

namespace kt::tools {

namespace {

using data::Date;
using data::TagInfo;
using data::WorkArea;

constexpr const char* kDescription =
    "Inspects dBASE tables (.G8A) and their compound indexes (.CDX) in a data folder. File names "
    "are found without regard to letter case.";
constexpr const char* kFooter =
    "Keys: char keys are taken byte for byte (a shorter key matches as a prefix); dates as\n"
    "YYYYMMDD (empty for the blank date); logicals as T or F. --type defaults to the tag's\n"
    "key type. Output cells are separated by TAB. Errors go to stderr with a non-zero exit.";

// Every command's arguments, as the command line gave them.
struct Args {
  std::string table, tag, key, keys_file, type, folder, recno;
  std::vector<std::string> fields;
  bool has_key = false;  // KEY given (it may be empty: the blank date)
  bool soft = false, stats = false, bottom = false, force = false;
  int64_t count = -1;  // walk: -1 for all
  int items = 300;
};

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

Outcome Structure(const Args& a, std::ostream& out) {
  auto area = OpenTable(a.table);
  if (!area.ok()) return Fail(area.status());
  for (const data::FieldSpec& f : (*area)->fields()) {
    out << f.name << '\t' << f.type << '\t' << f.width << '\t' << int{f.decimals} << '\n';
  }
  auto count = (*area)->RecCount();
  if (!count.ok()) return Fail(count.status());
  out << "records\t" << *count << '\n';
  return std::nullopt;
}

Outcome Tags(const Args& a, std::ostream& out) {
  auto area = OpenTable(a.table);
  if (!area.ok()) return Fail(area.status());
  for (const TagInfo& t : (*area)->Tags()) {
    out << t.name << '\t' << t.key_expression << '\t' << t.for_expression << '\t'
        << (t.descending ? "descending" : "ascending") << '\t'
        << (t.unique ? "unique" : "duplicates") << '\n';
  }
  return std::nullopt;
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

Result<char> KeyType(const Args& a, const TagInfo& tag) {
  if (a.type.empty()) return tag.key_type;
  static const std::map<std::string, char> kTypes = {
      {"char", 'C'}, {"num", 'N'}, {"date", 'D'}, {"logical", 'L'}};
  auto t = kTypes.find(a.type);
  if (t == kTypes.end()) {
    return Status::InvalidArgument("--type must be char, num, date or logical");
  }
  if (t->second != tag.key_type) {
    return Status::InvalidArgument("tag " + tag.name + " has " +
                                   std::string(1, tag.key_type) + " keys, not " + a.type);
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

Outcome Seek(const Args& a, std::ostream& out) {
  const bool batch = !a.keys_file.empty();
  if (batch == a.has_key) {
    return Fail(batch ? "seek needs TABLE TAG --keys FILE" : "seek needs TABLE TAG KEY", 2);
  }
  if (a.stats && !batch) return Fail("--stats needs --keys FILE", 2);
  const bool soft = a.soft;
  auto area = OpenTable(a.table);
  if (!area.ok()) return Fail(area.status());
  WorkArea& w = **area;
  auto tag = SelectTag(w, a.tag);
  if (!tag.ok()) return Fail(tag.status());
  auto type = KeyType(a, *tag);
  if (!type.ok()) return Fail(type.status().message(), 2);

  auto report = [&](std::ostream& os) {
    os << (w.Found() ? 1 : 0) << '\t' << (w.Eof() ? 1 : 0) << '\t' << w.RecNo() << '\n';
  };
  if (!batch) {
    auto key = ParseKey(*type, a.key);
    if (!key.ok()) return Fail(key.status().message(), 2);
    auto r = SeekParsed(w, *type, *key, soft);
    if (!r.ok()) return Fail(r.status());
    report(out);
    return std::nullopt;
  }

  std::ifstream in(a.keys_file, std::ios::binary);
  if (!in) return Fail(a.keys_file + ": cannot read the key file");
  std::vector<ParsedKey> keys;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // key files written on Windows
    auto key = ParseKey(*type, line);
    if (!key.ok()) return Fail("line " + std::to_string(n) + ": " + key.status().message());
    keys.push_back(std::move(key).value());
  }
  const bool stats = a.stats;
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

Outcome Walk(const Args& a, std::ostream& out) {
  const int64_t limit = a.count;
  auto area = OpenTable(a.table);
  if (!area.ok()) return Fail(area.status());
  WorkArea& w = **area;
  auto tag = SelectTag(w, a.tag);
  if (!tag.ok()) return Fail(tag.status());
  const bool bottom = a.bottom;
  Status s = bottom ? w.GoBottom() : w.GoTop();
  for (int64_t n = 0; s.ok() && !w.Eof() && (limit < 0 || n < limit); ++n) {
    out << w.RecNo() << '\n';
    s = w.Skip(bottom ? -1 : 1);
    if (bottom && w.Bof()) break;
  }
  if (!s.ok()) return Fail(s);
  return std::nullopt;
}

Outcome Get(const Args& args, std::ostream& out) {
  std::vector<std::string> a = {args.table, args.recno};  // TABLE RECNO FIELD...
  a.insert(a.end(), args.fields.begin(), args.fields.end());
  const std::optional<long long> recno = text::ParseIntegerLenient(a[1], 1, 0xFFFFFFFF);
  if (!recno) return Fail("RECNO must be a record number from 1", 2);
  auto area = OpenTable(a[0]);
  if (!area.ok()) return Fail(area.status());
  WorkArea& w = **area;
  Status s = w.GoTo(static_cast<uint32_t>(*recno));
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

Outcome Check(const Args& a, std::ostream& out) {
  const Status checked = data::CheckCompoundIndex(a.table);
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
    if (text::UpperAscii(it->path().extension().string()) == ".G8A") ++tables;
  }
  return tables;
}

Outcome CreateDemo(const Args& a, std::ostream& out) {
  data::demo::DemoOptions options;
  options.item_count = a.items;
  // A real data set must never be replaced by accident.
  const std::filesystem::path folder = std::filesystem::path(a.folder) / "ST_DB";
  if (const int tables = TablesIn(folder); tables > 0 && !a.force) {
    return Fail("create-demo: " + folder.string() + " already holds " + std::to_string(tables) +
                " table(s); nothing written (--force replaces the demo's tables there)");
  }
  const Status written = data::demo::WriteDemoDataSet(a.folder, options);
  if (!written.ok()) return Fail(written);
  out << (std::filesystem::path(a.folder) / "ST_DB").string() << '\n';
  return std::nullopt;
}

}  // namespace

int RunKtdb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  cli::CommandLine cl("ktdb", kDescription);
  CLI::App& app = cl.app();
  app.footer(kFooter);
  app.require_subcommand(1);
  Args a;
  auto table = [&](CLI::App* command) {
    command->add_option("TABLE", a.table, "the table file (.G8A)")->required();
  };

  CLI::App* structure =
      app.add_subcommand("structure", "one line per field: NAME TYPE WIDTH DECIMALS, then: records N");
  table(structure);
  CLI::App* tags = app.add_subcommand(
      "tags", "one line per tag: TAG KEY FOR ascending|descending unique|duplicates");
  table(tags);

  CLI::App* seek = app.add_subcommand(
      "seek",
      "prints: found eof recno (found/eof as 0/1; at end of table recno is the record count + 1); "
      "with --keys FILE the same for every line of FILE");
  table(seek);
  seek->add_option("TAG", a.tag, "the index tag")->required();
  seek->add_option("KEY", a.key, "the key to seek (or --keys FILE)")
      ->each([&a](const std::string&) { a.has_key = true; });
  seek->add_option("--keys", a.keys_file, "seek every line of FILE")->type_name("FILE");
  seek->add_flag("--soft", a.soft, "soft seek: stop at the next key when not found");
  seek->add_option("--type", a.type, "key type: char, num, date or logical (default: the tag's)");
  seek->add_flag("--stats", a.stats, "with --keys only: keys found seconds (time spent in the seeks alone)");

  CLI::App* walk = app.add_subcommand(
      "walk", "record numbers in index order from the top (or backwards from the bottom), deleted "
              "records included");
  table(walk);
  walk->add_option("TAG", a.tag, "the index tag")->required();
  walk->add_flag("--bottom", a.bottom, "walk backwards from the bottom");
  walk->add_option("--count", a.count, "at most N records")->type_name("N")->check(CLI::NonNegativeNumber);

  CLI::App* get = app.add_subcommand("get", "field values of that record as stored, one per line");
  table(get);
  get->add_option("RECNO", a.recno, "record number, from 1")->required();
  get->add_option("FIELD", a.fields, "field names")->required();

  CLI::App* check = app.add_subcommand(
      "check", "checks the compound index against the table (every tree, sibling link, free page "
               "and every record's keys): prints ok, or the problems found (exit 1)");
  table(check);

  CLI::App* create_demo = app.add_subcommand(
      "create-demo", "writes the demo data set DIR/ST_DB/ (every table with its index); refuses a "
                     "folder that holds tables unless --force");
  create_demo->add_option("DIR", a.folder, "the folder to write ST_DB into")->required();
  create_demo->add_option("--items", a.items, "number of items (default 300)")
      ->type_name("N")
      ->check(CLI::Range(1, 10000000));
  create_demo->add_flag("--force", a.force,
                        "replace the demo's tables in a folder that holds tables; every other file "
                        "is left alone");

  if (auto done = cl.Parse(args, out, err)) return *done;
  Outcome outcome;
  if (structure->parsed()) outcome = Structure(a, out);
  else if (tags->parsed()) outcome = Tags(a, out);
  else if (seek->parsed()) outcome = Seek(a, out);
  else if (walk->parsed()) outcome = Walk(a, out);
  else if (get->parsed()) outcome = Get(a, out);
  else if (check->parsed()) outcome = Check(a, out);
  else if (create_demo->parsed()) outcome = CreateDemo(a, out);
  if (!outcome) return cli::kExitSuccess;
  return cl.Fail(err, outcome->message, outcome->code);
}

}  // namespace kt::tools
