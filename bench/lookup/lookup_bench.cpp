// Lookups per second of one lookup object (ITEMPENJUAECERAN::SEEKKODE) on the demo data set
// enlarged to 200,000 items, with the alternative-code and barcode searches switched on; then
// priced lookups with the price text, for plain items and for items whose price goes through the
// promotion and rate tables (special price, weekday percentage, morning value discount, a USD
// price at the day's rate, quantity breaks, rounding rules).
//
// The data set is written once into the build folder (a few minutes) and reused while its marker
// file is there. Pass --items=N before the benchmark flags to use another size.
//
// --fixed=N [--kind=0|1|2] runs N priced lookups of each kind (or of the one kind) outside the benchmark library and prints their
// rate: a fixed amount of work, so that `valgrind --tool=callgrind --toggle-collect='*FixedRun*'`
// gives instruction counts per lookup that do not depend on the machine's load (scripts/bench-lookup
// runs this for today's build and a baseline build and prints the ratios).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "server/data/database.h"
#include "server/data/demo/demo_data.h"
#include "server/data/item_lookup.h"
#include "server/data/pricing/lookup_pricing.h"

namespace {

using namespace kt::data;

int g_items = 200000;

std::filesystem::path DataRoot() {
  return std::filesystem::path(KT_BENCH_DATA_DIR) / ("items" + std::to_string(g_items));
}

// Writes the enlarged demo data set unless a complete one is already there.
bool EnsureDataSet() {
  const std::filesystem::path root = DataRoot();
  const std::filesystem::path marker = root / "complete";
  if (std::filesystem::exists(marker)) return true;
  std::fprintf(stderr, "writing the demo data set with %d items to %s ...\n", g_items, root.string().c_str());
  const auto start = std::chrono::steady_clock::now();
  const kt::Status written = demo::WriteDemoDataSet(root, demo::DemoOptions{g_items});
  if (!written.ok()) {
    std::fprintf(stderr, "demo data set: %s\n", written.ToString().c_str());
    return false;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "written in %.1f s\n", seconds);
  std::ofstream(marker) << g_items << "\n";
  return true;
}

// One opened database and one session's lookup object, shared by the benchmarks.
struct Session {
  GLOBALVARIABLE globals;
  FixedClock clock{LookupTime{Date{2026, 12, 10}, 9 * 60}};
  std::unique_ptr<ITEMPENJUAECERAN> lookup;

  bool Open() {
    ConfigValues config;
    config.location = DataRoot().string();
    globals.SetConfig(config);
    if (!DBMAINOPEN(globals, kt::NullEventSink())) return false;
    lookup = std::make_unique<ITEMPENJUAECERAN>(globals, kt::NullEventSink(), clock);
    lookup->SetConnectionNumber(1);
    return lookup->DBSUBOPEN();
  }
};

Session& TheSession() {
  static Session* session = [] {
    auto* s = new Session();
    if (!EnsureDataSet() || !s->Open()) {
      std::fprintf(stderr, "cannot open the benchmark data set\n");
      std::exit(1);
    }
    return s;
  }();
  return *session;
}

// Generated items are 100 .. 99+N-20 (the showcase takes the first 20); some of them are
// switched off or not for the counter and would fail their checks.
bool Sellable(int id) { return id % 97 != 0 && id % 89 != 0 && id % 83 != 0; }

// 1000 sellable item ids spread over the whole range, each a multiple of `step`.
std::vector<int> SpreadIds(int step) {
  std::vector<int> ids;
  const int span = (g_items - 20) / step;
  for (long long i = 0; ids.size() < 1000 && i < 100000; ++i) {
    const int id = 100 + step * static_cast<int>((i * 7919) % span);
    if (Sellable(id)) ids.push_back(id);
  }
  return ids;
}

std::vector<std::string> FoundCodes() {
  std::vector<std::string> codes;
  for (int id : SpreadIds(1)) {
    char code[32];
    std::snprintf(code, sizeof code, "BRG%06d", id);
    codes.emplace_back(code);
  }
  return codes;
}

void RunLookups(benchmark::State& state, const std::vector<std::string>& codes, bool expect_found) {
  ITEMPENJUAECERAN& lookup = *TheSession().lookup;
  std::size_t i = 0, wrong = 0;
  for (auto _ : state) {
    lookup.SEEKKODE(codes[i++ % codes.size()]);
    if (lookup.SEEKFOUND() != expect_found) ++wrong;
  }
  if (wrong != 0) state.SkipWithError("unexpected lookup outcome");
  state.counters["lookups/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Found through the first order (KODE).
void BM_FoundByCode(benchmark::State& state) { RunLookups(state, FoundCodes(), true); }

// Found through KODE_2 (every fifth item has "ALT" + id) after a miss in KODE.
void BM_FoundByAltCode(benchmark::State& state) {
  std::vector<std::string> codes;
  for (int id : SpreadIds(5)) codes.push_back("ALT" + std::to_string(id));
  RunLookups(state, codes, true);
}

// Not found: KODE, KODE_2 .. KODE_5 and BARCODE all searched.
void BM_NotFound(benchmark::State& state) {
  std::vector<std::string> codes;
  for (int i = 0; i < 1000; ++i) codes.push_back("NX" + std::to_string(i * 7919));
  RunLookups(state, codes, false);
}

void RunPricedLookups(benchmark::State& state, const std::vector<std::string>& codes) {
  ITEMPENJUAECERAN& lookup = *TheSession().lookup;
  std::size_t i = 0, failed = 0, unpriced = 0;
  for (auto _ : state) {
    lookup.SEEKKODE(codes[i++ % codes.size()]);
    if (!lookup.SEEKFOUND()) {
      ++failed;
      continue;
    }
    std::string text = kt::data::pricing::LookupPriceText(lookup);
    if (text[0] == '-') ++unpriced;
    benchmark::DoNotOptimize(text);
  }
  if (failed != 0) state.SkipWithError("a code was not found");
  if (unpriced != 0) state.SkipWithError("an item came out without a price");
  state.counters["priced lookups/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Generated items spread over the whole table (every seventh has quantity breaks); none has a
// promotion, so each scan makes three promotion searches that find nothing.
std::vector<std::string> PlainCodes() {
  std::vector<std::string> codes;
  const int span = g_items - 20;
  for (long long i = 0; codes.size() < 1000 && i < 100000; ++i) {
    const int id = 100 + static_cast<int>((i * 7919) % span);
    if (id % 97 == 0 || id % 89 == 0 || id % 83 == 0) continue;  // switched off or not sellable
    char code[32];
    std::snprintf(code, sizeof code, "%s%06d", i % 3 == 0 ? "12*BRG" : "BRG", id);
    codes.emplace_back(code);
  }
  return codes;
}
void BM_PricedPlainItems(benchmark::State& state) { RunPricedLookups(state, PlainCodes()); }

// Items whose price is shaped by a promotion, a foreign currency or quantity breaks.
const std::vector<std::string> kPromotionCodes = {"GULA1KG", "SUSU1L", "3*ROTI01", "CKLT100",
                                                  "KRP01",   "12*AQ600", "2*CKLT100", "MIE5BOX"};
void BM_PricedPromotionsAndForeignCurrency(benchmark::State& state) { RunPricedLookups(state, kPromotionCodes); }

// Only the USD-priced item: promotion searches plus two rate searches per scan.
const std::vector<std::string> kForeignCodes = {"CKLT100", "4*CKLT100"};
void BM_PricedForeignCurrencyOnly(benchmark::State& state) { RunPricedLookups(state, kForeignCodes); }

// `count` priced lookups over `codes` after one pass that warms every cache; false when one
// failed or came out without a price. Keep the name: the callgrind toggle selects it.
__attribute__((noinline)) bool FixedRun(const std::vector<std::string>& codes, long count) {
  ITEMPENJUAECERAN& lookup = *TheSession().lookup;
  bool ok = true;
  for (long i = 0; i < count; ++i) {
    lookup.SEEKKODE(codes[static_cast<std::size_t>(i) % codes.size()]);
    if (!lookup.SEEKFOUND()) {
      ok = false;
      continue;
    }
    std::string text = kt::data::pricing::LookupPriceText(lookup);
    if (text[0] == '-') ok = false;
    benchmark::DoNotOptimize(text);
  }
  return ok;
}

// `only`: the index of the one kind to run, -1 for all.
int RunFixed(long count, int only) {
  const struct {
    const char* name;
    std::vector<std::string> codes;
  } kinds[] = {{"priced plain items", PlainCodes()},
               {"priced promotions and foreign currency", kPromotionCodes},
               {"priced foreign currency only", kForeignCodes}};
  bool ok = true;
  for (int k = 0; k < 3; ++k) {
    if (only >= 0 && k != only) continue;
    const auto& kind = kinds[k];
    // Warm-up outside the measured call: the first lookups resolve fields and build caches.
    for (const std::string& code : kind.codes) {
      TheSession().lookup->SEEKKODE(code);
    }
    const auto start = std::chrono::steady_clock::now();
    ok = FixedRun(kind.codes, count) && ok;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-40s %8ld lookups  %10.0f lookups/s\n", kind.name, count, static_cast<double>(count) / seconds);
  }
  if (!ok) std::fprintf(stderr, "a lookup failed or had no price\n");
  return ok ? 0 : 1;
}

BENCHMARK(BM_FoundByCode);
BENCHMARK(BM_FoundByAltCode);
BENCHMARK(BM_NotFound);
BENCHMARK(BM_PricedPlainItems);
BENCHMARK(BM_PricedPromotionsAndForeignCurrency);
BENCHMARK(BM_PricedForeignCurrencyOnly);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  long fixed = 0;
  int fixed_kind = -1;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--items=", 0) == 0) {
      g_items = std::max(100, std::atoi(arg.c_str() + 8));
    } else if (arg.rfind("--fixed=", 0) == 0) {
      fixed = std::max(1L, std::atol(arg.c_str() + 8));
    } else if (arg.rfind("--kind=", 0) == 0) {
      fixed_kind = std::atoi(arg.c_str() + 7);
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (fixed > 0) {
    TheSession();
    return RunFixed(fixed, fixed_kind);
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  TheSession();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
