// The server under a busy back office, as deployed: the headless server process on the demo data
// enlarged to 50,000 items, the back-office simulator process writing 50 appends and 200 price
// changes (and 10 code changes) a second for 20 s, and four terminals scanning existing, new and
// changed codes all the while. Every reply is judged afterwards against the simulator's log
// (each change with the times before its lock and after its unlock):
//   - no read errors (every reply is an item or "Kode tidak ketemu");
//   - no false "not found": a code valid for the whole scan is found;
//   - nothing found that was not valid at some moment of the scan;
//   - every price shown was the item's price at some moment of the scan;
//   - every new and every changed code is found within 1 s of its commit;
// and the index passes the full structural check at the end.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/display/emulator.h"
#include "common/testing/files.h"
#include "server/data/demo/demo_data.h"
#include "server/data/driver/index_check.h"
#include "server/data/driver/work_area.h"
#include "sim/tcp/tcp_terminal.h"

namespace kt::bench {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kItems = 50000;
constexpr int kSeconds = 20;
constexpr double kAppends = 50, kPrices = 200, kCodes = 10;
constexpr int kTerminals = 4;
// Records whose prices change (all scanned once before the load for their starting price), and
// records whose codes change. Record n holds item n for the showcase, generated items follow.
constexpr uint32_t kPriceFirst = 200, kPriceLast = 1699;
constexpr uint32_t kCodeFirst = 20001, kCodeLast = 40000;
constexpr int64_t kGrace = 1'000'000'000;  // a new code must be found within 1 s of its commit
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// One line of the simulator's log.
struct Change {
  std::string kind;
  int64_t lock = 0, unlock = 0;
  uint32_t recno = 0;
  std::string code_before, code_after;
  double price_before = 0, price_after = 0;
};

std::optional<Change> ParseChange(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> cells;
  std::string cell;
  while (std::getline(in, cell, '\t')) cells.push_back(cell);
  if (cells.size() != 8) return std::nullopt;
  Change c;
  c.kind = cells[0];
  c.lock = std::stoll(cells[1]);
  c.unlock = std::stoll(cells[2]);
  c.recno = static_cast<uint32_t>(std::stoul(cells[3]));
  c.code_before = cells[4];
  c.code_after = cells[5];
  c.price_before = std::stod(cells[6]);
  c.price_after = std::stod(cells[7]);
  return c;
}

// What a terminal saw.
struct Reply {
  // kRefused: the item exists but the lookup refuses it (switched off, not for the counter).
  enum Kind { kFound, kRefused, kNotFound, kError } kind = kError;
  double price = 0;
  std::string text;  // the rows shown, joined
};

Reply Judge(const std::string& bytes) {
  display::DisplayEmulator d;
  d.Feed(bytes);
  const std::vector<std::string> rows = d.TrimmedRows();
  Reply r;
  for (const std::string& row : rows) r.text += (r.text.empty() ? "" : " ") + row;
  if (r.text.find("Kode tidak ketemu") != std::string::npos) {
    r.kind = Reply::kNotFound;
    return r;
  }
  if (r.text.find("Item ini tidak diperbolehkan") != std::string::npos ||
      r.text.find("tidak aktif") != std::string::npos) {
    r.kind = Reply::kRefused;
    return r;
  }
  if (rows.size() == 8) {
    std::string price = rows[7];
    const auto slash = price.find(" / ");
    if (slash != std::string::npos) {
      price = price.substr(0, slash);
      std::string digits;
      for (char c : price) {
        if (c >= '0' && c <= '9') digits.push_back(c);
        else if (c == ',') break;  // decimals: whole thousands have none
      }
      if (!digits.empty()) {
        r.kind = Reply::kFound;
        r.price = std::stod(digits);
      }
    }
  }
  return r;
}

struct Scan {
  std::string code;
  int64_t sent = 0, received = 0;
  Reply reply;
};

// Where a code led to a record: from `from_lock`/`from_unlock` (the change that gave it, or
// always) to `to_lock`/`to_unlock` (the change that took it away, or never).
struct Validity {
  uint32_t recno = 0;
  bool initial = false;
  int64_t from_lock = std::numeric_limits<int64_t>::min(), from_unlock = std::numeric_limits<int64_t>::min();
  int64_t to_lock = kNever, to_unlock = kNever;
};

struct ServerProcess {
  pid_t pid = -1;
  uint16_t port = 0;
};

ServerProcess StartServer(const fs::path& workdir, const fs::path& data, const fs::path& log) {
  ServerProcess p;
  p.pid = fork();
  if (p.pid == 0) {
    FILE* out = std::freopen(log.c_str(), "w", stdout);
    (void)out;
    execl(KT_SERVER_BINARY, KT_SERVER_BINARY, "--headless", "--workdir", workdir.c_str(), "--port", "0",
          "--data", data.c_str(), "--bind", "127.0.0.1", "--no-restart", static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto deadline = Clock::now() + 60s;
  while (Clock::now() < deadline) {
    std::ifstream in(log);
    std::string line;
    bool passed = false;
    while (std::getline(in, line)) {
      auto at = line.find("Port: ");
      if (at != std::string::npos && line.find("(headless)") != std::string::npos) {
        p.port = static_cast<uint16_t>(std::atoi(line.c_str() + at + 6));
      }
      if (line.find("Self-test passed") != std::string::npos) passed = true;
    }
    if (p.port != 0 && passed) return p;
    std::this_thread::sleep_for(20ms);  // polling a log file for a condition, bounded above
  }
  p.port = 0;
  return p;
}

pid_t StartBackOffice(const fs::path& data, const fs::path& log, const fs::path& summary) {
  const pid_t pid = fork();
  if (pid == 0) {
    FILE* err = std::freopen(summary.c_str(), "w", stderr);
    (void)err;
    const std::string seconds = std::to_string(kSeconds), appends = std::to_string(kAppends),
                      prices = std::to_string(kPrices), codes = std::to_string(kCodes),
                      price_records = std::to_string(kPriceFirst) + "-" + std::to_string(kPriceLast),
                      code_records = std::to_string(kCodeFirst) + "-" + std::to_string(kCodeLast),
                      seed = std::to_string(::getpid());
    execl(KT_BACKOFFICE_BINARY, KT_BACKOFFICE_BINARY, data.c_str(), "--seconds", seconds.c_str(),
          "--appends", appends.c_str(), "--prices", prices.c_str(), "--codes", codes.c_str(),
          "--price-records", price_records.c_str(), "--code-records", code_records.c_str(), "--seed",
          seed.c_str(), "--log", log.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

class ProcessTest : public testing::Test {
 protected:
  void TearDown() override {
    if (server_.pid > 0) {
      kill(server_.pid, SIGTERM);
      waitpid(server_.pid, nullptr, 0);
    }
    if (office_ > 0) {
      kill(office_, SIGKILL);
      waitpid(office_, nullptr, 0);
    }
  }

  kt::test_support::ScratchFolder scratch_{"kt_backoffice", "process_"};
  ServerProcess server_;
  pid_t office_ = -1;
};

TEST_F(ProcessTest, TerminalsGetRightAnswersWhileTheBackOfficeWrites) {
  const fs::path dir = scratch_.path();
  const fs::path data = dir / "data";
  const fs::path work = dir / "work";
  fs::create_directories(work);
  ASSERT_TRUE(data::demo::WriteDemoDataSet(data, {kItems}).ok());
  const fs::path stock = data / "ST_DB" / "S_STOCK.G8A";

  // The codes at the start, of the records that change.
  std::map<uint32_t, std::string> initial_codes;
  {
    auto area = data::WorkArea::Open(stock, "READ");
    ASSERT_TRUE(area.ok()) << area.status().ToString();
    for (auto [first, last] : {std::pair{kPriceFirst, kPriceLast}, std::pair{kCodeFirst, kCodeLast}}) {
      for (uint32_t r = first; r <= last; ++r) {
        ASSERT_TRUE((*area)->GoTo(r).ok());
        std::string code = (*area)->GetString("KODE_C").value();
        while (!code.empty() && code.back() == ' ') code.pop_back();
        initial_codes[r] = code;
      }
    }
  }

  server_ = StartServer(work, data, dir / "server.log");
  ASSERT_NE(server_.port, 0) << kt::test_support::ReadFileBytes(dir / "server.log");
  auto terminal_options = [&](int n) {
    sim::TerminalOptions o;
    o.port = server_.port;
    o.source_ip = "127.0.0." + std::to_string(11 + n);  // one session per terminal address
    o.reply_timeout = sim::Millis(20000);
    return o;
  };

  // Starting prices of the items whose prices change; items the lookup refuses (switched off,
  // not for the counter) are not scanned.
  std::map<uint32_t, double> start_price;
  std::vector<uint32_t> price_items;
  {
    sim::TcpTerminal t(terminal_options(0));
    ASSERT_TRUE(t.Connect().ok());
    for (uint32_t r = kPriceFirst; r <= kPriceLast; ++r) {
      auto reply = t.Scan(initial_codes[r]);
      ASSERT_TRUE(reply.ok()) << reply.status().ToString();
      const Reply judged = Judge(*reply);
      if (judged.kind == Reply::kFound) {
        start_price[r] = judged.price;
        price_items.push_back(r);
      }
    }
  }
  ASSERT_GT(price_items.size(), (kPriceLast - kPriceFirst) * 9 / 10);

  const fs::path log = dir / "backoffice.log";
  office_ = StartBackOffice(data, log, dir / "backoffice.out");
  ASSERT_GT(office_, 0);

  // New codes (appended, or given to an item) as the log shows them, for the terminals to scan
  // at once and again later; codes taken away, to scan now and then.
  std::mutex mutex;
  std::deque<std::string> fresh;        // not scanned yet
  std::vector<std::string> new_codes;   // scanned at least once
  std::vector<std::string> gone_codes;
  std::atomic<bool> done{false};
  std::thread follower([&] {
    std::ifstream in;
    std::string partial;
    while (!done.load()) {
      if (!in.is_open()) in.open(log);
      std::string line;
      bool any = false;
      while (in.is_open() && std::getline(in, line)) {
        if (in.eof()) {  // a line still being written: keep it for the next round
          partial += line;
          break;
        }
        line = partial + line;
        partial.clear();
        any = true;
        auto c = ParseChange(line);
        if (!c || c->kind == "price") continue;
        std::scoped_lock lock(mutex);
        fresh.push_back(c->code_after);
        if (c->kind == "code") gone_codes.push_back(c->code_before);
      }
      in.clear();
      if (!any) std::this_thread::sleep_for(5ms);  // polling the log for new lines
    }
  });

  std::vector<std::vector<Scan>> scans(kTerminals);
  std::vector<std::string> terminal_errors(kTerminals);
  std::vector<std::thread> terminals;
  for (int n = 0; n < kTerminals; ++n) {
    terminals.emplace_back([&, n] {
      std::mt19937 rng(static_cast<uint32_t>(n * 7919 + ::getpid()));
      sim::TcpTerminal t(terminal_options(n));
      if (Status s = t.Connect(); !s.ok()) {
        terminal_errors[n] = s.ToString();
        return;
      }
      while (!done.load()) {
        std::string code;
        {
          std::scoped_lock lock(mutex);
          const int pick = static_cast<int>(rng() % 20);
          if (!fresh.empty()) {
            code = fresh.front();
            fresh.pop_front();
            new_codes.push_back(code);
          } else if (pick < 3 && !new_codes.empty()) {
            code = new_codes[rng() % new_codes.size()];
          } else if (pick < 4 && !gone_codes.empty()) {
            code = gone_codes[rng() % gone_codes.size()];
          } else if (pick < 6) {
            code = initial_codes[kCodeFirst + rng() % (kCodeLast - kCodeFirst + 1)];
          } else {
            code = initial_codes[price_items[rng() % price_items.size()]];
          }
        }
        Scan s;
        s.code = code;
        s.sent = Now();
        auto reply = t.Scan(code);
        s.received = Now();
        if (!reply.ok()) {
          terminal_errors[n] = reply.status().ToString();
          return;
        }
        s.reply = Judge(*reply);
        scans[n].push_back(std::move(s));
      }
    });
  }

  int office_status = 0;
  ASSERT_EQ(waitpid(office_, &office_status, 0), office_);
  office_ = -1;
  done = true;
  for (std::thread& t : terminals) t.join();
  follower.join();
  kill(server_.pid, SIGTERM);
  waitpid(server_.pid, nullptr, 0);
  server_.pid = -1;

  const std::string summary = kt::test_support::ReadFileBytes(dir / "backoffice.out");
  ASSERT_TRUE(WIFEXITED(office_status) && WEXITSTATUS(office_status) == 0) << summary;
  for (int n = 0; n < kTerminals; ++n) EXPECT_EQ(terminal_errors[n], "") << "terminal " << n;

  // ---- What was valid when ----
  std::vector<Change> changes;
  {
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
      auto c = ParseChange(line);
      ASSERT_TRUE(c) << "bad log line: " << line;
      changes.push_back(*c);
    }
  }
  uint64_t appends = 0, prices = 0, codes = 0;
  std::map<std::string, std::vector<Validity>> valid;  // code -> where it led, when
  std::map<uint32_t, std::string> current;             // record -> its code now
  for (const auto& [recno, code] : initial_codes) {
    Validity v;
    v.recno = recno;
    v.initial = true;
    valid[code].push_back(v);
    current[recno] = code;
  }
  std::map<uint32_t, std::vector<const Change*>> price_changes;
  std::map<uint32_t, double> fixed_price;  // appended items: their one price
  for (const Change& c : changes) {
    if (c.kind == "price") {
      ++prices;
      price_changes[c.recno].push_back(&c);
      continue;
    }
    if (c.kind == "code") {
      ++codes;
      for (Validity& v : valid[current[c.recno]]) {
        if (v.recno == c.recno && v.to_lock == kNever) {
          v.to_lock = c.lock;
          v.to_unlock = c.unlock;
        }
      }
    } else {
      ++appends;
      fixed_price[c.recno] = c.price_after;
    }
    Validity v;
    v.recno = c.recno;
    v.from_lock = c.lock;
    v.from_unlock = c.unlock;
    valid[c.code_after].push_back(v);
    current[c.recno] = c.code_after;
  }
  EXPECT_GE(appends, kAppends * kSeconds * 9 / 10) << summary;
  EXPECT_GE(prices, kPrices * kSeconds * 9 / 10) << summary;
  EXPECT_GE(codes, kCodes * kSeconds * 9 / 10) << summary;

  // Prices a record showed at some moment of [from, to].
  auto prices_between = [&](uint32_t recno, int64_t from, int64_t to) {
    std::set<double> out;
    if (auto it = fixed_price.find(recno); it != fixed_price.end()) return std::set<double>{it->second};
    auto start = start_price.find(recno);
    double before = start == start_price.end() ? -1 : start->second;
    for (const Change* c : price_changes[recno]) {
      if (c->unlock < from) before = c->price_after;
      else if (c->lock <= to) out.insert(c->price_after);
    }
    out.insert(before);
    return out;
  };

  // ---- Every reply judged ----
  uint64_t total = 0, found = 0, not_found = 0, read_errors = 0, false_not_found = 0,
           stale_found = 0, wrong_price = 0, late = 0;
  std::vector<std::string> examples;
  auto example = [&](const std::string& what, const Scan& s) {
    if (examples.size() < 12) examples.push_back(what + " [" + s.code + "]: " + s.reply.text);
  };
  std::map<std::string, int64_t> first_found;    // new code -> first request that found it
  std::map<uint32_t, std::set<double>> shown;    // changed-code records: prices shown
  for (const auto& terminal : scans) {
    for (const Scan& s : terminal) {
      ++total;
      const auto it = valid.find(s.code);
      const std::vector<Validity> none;
      const std::vector<Validity>& ways = it == valid.end() ? none : it->second;
      switch (s.reply.kind) {
        case Reply::kError:
          ++read_errors;
          example("error", s);
          break;
        case Reply::kNotFound: {
          ++not_found;
          for (const Validity& v : ways) {
            const int64_t grace = v.initial ? 0 : kGrace;
            if (v.from_unlock <= s.sent && s.received <= v.to_lock) {
              if (v.from_unlock + grace <= s.sent) {
                ++false_not_found;
                example("false not found", s);
              } else {
                ++late;
              }
              break;
            }
          }
          break;
        }
        case Reply::kRefused:
        case Reply::kFound: {
          ++found;
          const Validity* match = nullptr;
          for (const Validity& v : ways) {
            if (v.from_lock <= s.received && s.sent <= v.to_unlock) match = &v;
          }
          if (!match) {
            ++stale_found;
            example("found but not valid", s);
            break;
          }
          if (!match->initial) {
            // When a request for the code was sent that found it: the code was there by then
            // (the reply itself may be slow on a loaded machine).
            auto& first = first_found[s.code];
            if (first == 0 || s.sent < first) first = s.sent;
          }
          if (s.reply.kind == Reply::kRefused) {
            if (match->recno >= kPriceFirst && match->recno <= kPriceLast) {
              ++wrong_price;  // these were all found before the load
              example("refused", s);
            }
          } else if (match->recno >= kCodeFirst && match->recno <= kCodeLast) {
            shown[match->recno].insert(s.reply.price);
          } else if (!prices_between(match->recno, s.sent, s.received).count(s.reply.price)) {
            ++wrong_price;
            example("price " + std::to_string(s.reply.price) + " not valid", s);
          }
          break;
        }
      }
    }
  }
  // Records whose codes change keep their price: every code of one shows the same.
  uint64_t mixed_prices = 0;
  for (const auto& [recno, seen] : shown) mixed_prices += seen.size() > 1 ? 1 : 0;

  // New and changed codes found within 1 s of their commit: a request sent within 1 s found them
  // (counted for those that lived that long and were asked for in time).
  uint64_t new_codes_checked = 0, new_codes_slow = 0;
  int64_t slowest = 0;
  for (const auto& [code, ways] : valid) {
    for (const Validity& v : ways) {
      if (v.initial || v.to_lock - v.from_unlock < 2 * kGrace) continue;
      bool asked = false;
      for (const auto& terminal : scans) {
        for (const Scan& s : terminal) asked = asked || (s.code == code && s.sent >= v.from_unlock &&
                                                          s.sent < v.from_unlock + kGrace / 2);
      }
      if (!asked) continue;
      ++new_codes_checked;
      const auto f = first_found.find(code);
      const int64_t took = f == first_found.end() ? kNever : f->second - v.from_unlock;
      slowest = std::max(slowest, took);
      if (took > kGrace) ++new_codes_slow;
    }
  }

  const std::string server_log = kt::test_support::ReadFileBytes(dir / "server.log");
  std::printf("back office: %s", summary.c_str());
  std::printf("scans: %llu (%llu found, %llu not found: %llu within 1 s of a new code's commit), "
              "%llu read errors, %llu false not found, %llu found but not valid, %llu wrong prices, "
              "%llu records showing two prices\n",
              (unsigned long long)total, (unsigned long long)found, (unsigned long long)not_found,
              (unsigned long long)late, (unsigned long long)read_errors,
              (unsigned long long)false_not_found, (unsigned long long)stale_found,
              (unsigned long long)wrong_price, (unsigned long long)mixed_prices);
  std::printf("new and changed codes: %llu asked for within 0.5 s of their commit, %llu found "
              "later than 1 s; slowest first find %.1f ms\n",
              (unsigned long long)new_codes_checked, (unsigned long long)new_codes_slow,
              slowest == kNever ? -1.0 : slowest / 1e6);
  for (const std::string& e : examples) std::printf("  %s\n", e.c_str());
  // The server's own count of index reads that met the writer (logged when it stops).
  if (const auto at = server_log.rfind("Index reads: "); at != std::string::npos) {
    const std::string line = server_log.substr(at, server_log.find('\n', at) - at);
    unsigned long long operations = 0, retries = 0, waits = 0;
    if (std::sscanf(line.c_str(), "Index reads: %llu operations, %llu retries, %llu waits",
                    &operations, &retries, &waits) == 3 && total > 0) {
      std::printf("server: %s\n  = %.1f retries and %.1f lock waits per 100,000 scans\n",
                  line.c_str(), retries * 1e5 / static_cast<double>(total),
                  waits * 1e5 / static_cast<double>(total));
    }
  }

  EXPECT_GT(total, 4000u);
  EXPECT_EQ(read_errors, 0u);
  EXPECT_EQ(false_not_found, 0u);
  EXPECT_EQ(stale_found, 0u);
  EXPECT_EQ(wrong_price, 0u);
  EXPECT_EQ(mixed_prices, 0u);
  EXPECT_GT(new_codes_checked, (appends + codes) / 2);
  EXPECT_EQ(new_codes_slow, 0u);
  const Status check = data::CheckCompoundIndex(stock);
  EXPECT_TRUE(check.ok()) << check.ToString();
  if (HasFailure()) std::printf("server log (tail):\n%s\n", server_log.substr(server_log.size() > 4000 ? server_log.size() - 4000 : 0).c_str());
}

}  // namespace
}  // namespace kt::bench
