// Table driver speed on a generated table of 1,000,000 records with a 20-byte character tag:
//   - opening a work area (time and memory: opening must not read the table),
//   - exact seeks per second, one thread, warm node cache,
//   - the same with two threads (each its own work area on the same files),
//   - soft seek followed by a 20-record walk, per second.
//
// usage: table_bench [--dir DIR] [--records N] [--seconds S]
// The table is generated once into DIR (default /tmp/kt_table_bench) and reused while its
// size matches.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "server/data/driver/dbf_header.h"
#include "server/data/driver/index_builder.h"
#include "server/data/driver/work_area.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using kt::data::WorkArea;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU time of the calling thread: on a busy machine, rates per CPU second show what one
// dedicated core does, while rates per wall second show what this run got.
double ThreadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// Key of record i: reproducible, about half sharing the prefix "PRD", a few duplicates.
std::string KeyOf(uint32_t i) {
  std::mt19937 rng(i % 50 == 49 ? i - 1 : i);  // every 50th record repeats its neighbour's key
  static const char kAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string key = (rng() % 2) ? "PRD" : "";
  const int len = 8 + static_cast<int>(rng() % 10);
  while (static_cast<int>(key.size()) < len) key.push_back(kAlnum[rng() % 36]);
  key.resize(20, ' ');
  return key;
}

bool Generate(const fs::path& table, uint32_t records) {
  kt::data::DbfHeader h;
  h.version = 0x03;
  h.year = 126;
  h.record_count = records;
  h.fields = {{"KEY20", 'C', 20, 0, 0, 1}, {"SEQ", 'N', 8, 0, 0, 21}, {"AMOUNT", 'N', 10, 2, 0, 29}};
  h.record_length = 39;
  h.header_length = kt::data::DbfHeader::NewHeaderLength(h.fields.size());
  std::vector<std::byte> bytes;
  h.EncodeTo(bytes);
  std::ofstream out(table, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  std::string record;
  for (uint32_t i = 1; i <= records; ++i) {
    char num[32];
    std::snprintf(num, sizeof num, "%8u%10.2f", i, (i % 100000) / 7.0);
    record = " " + KeyOf(i) + num;
    out.write(record.data(), static_cast<std::streamsize>(record.size()));
  }
  out.put('\x1A');
  out.close();
  const kt::Status s = kt::data::BuildCompoundIndex(table, {{"KEY20", "KEY20", "", false, false}});
  if (!s.ok()) {
    std::fprintf(stderr, "index build failed: %s\n", s.ToString().c_str());
    return false;
  }
  return true;
}

// Exact seeks of `keys` (cycling) for about `seconds`; returns seeks done and misses.
struct SeekRun {
  uint64_t seeks = 0;
  uint64_t misses = 0;
  double seconds = 0;
  double cpu_seconds = 0;
};

SeekRun RunSeeks(WorkArea& area, const std::vector<std::string>& keys, double seconds) {
  SeekRun run;
  const double cpu_start = ThreadCpuSeconds();
  const auto start = Clock::now();
  const auto until = start + std::chrono::duration<double>(seconds);
  std::size_t i = 0;
  while (true) {
    for (int batch = 0; batch < 1000; ++batch) {
      auto found = area.Seek(keys[i]);
      if (!found.ok() || !*found) ++run.misses;
      if (++i == keys.size()) i = 0;
    }
    run.seeks += 1000;
    if (Clock::now() >= until) break;
  }
  run.seconds = Seconds(Clock::now() - start);
  run.cpu_seconds = ThreadCpuSeconds() - cpu_start;
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = "/tmp/kt_table_bench";
  uint32_t records = 1000000;
  double seconds = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--dir") dir = argv[i + 1];
    else if (opt == "--records") records = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
    else if (opt == "--seconds") seconds = std::strtod(argv[i + 1], nullptr);
  }
  fs::create_directories(dir);
  const fs::path table = dir / "BENCH.G8A";
  const auto expected_size = 32 + 3 * 32 + 2 + uint64_t{records} * 39 + 1;
  std::error_code ec;
  if (fs::file_size(table, ec) != expected_size || !fs::exists(dir / "BENCH.CDX")) {
    std::printf("generating %u records in %s ...\n", records, dir.c_str());
    const auto start = Clock::now();
    if (!Generate(table, records)) return 1;
    std::printf("generate + index build\t%.2f s\tindex %.1f MiB\n", Seconds(Clock::now() - start),
                fs::file_size(dir / "BENCH.CDX") / 1048576.0);
  }

  // Opening reads the headers and the tag list, not the table.
  const long rss_before = ResidentKiB();
  auto start = Clock::now();
  auto opened = WorkArea::Open(table, "BENCH");
  if (!opened.ok()) {
    std::fprintf(stderr, "open failed: %s\n", opened.status().ToString().c_str());
    return 1;
  }
  std::unique_ptr<WorkArea> area = std::move(opened).value();
  std::printf("open work area\t%.3f ms\tresident memory +%ld KiB (table file %.1f MiB)\n",
              Seconds(Clock::now() - start) * 1000, ResidentKiB() - rss_before,
              fs::file_size(table) / 1048576.0);
  if (!area->SetOrder("KEY20").ok()) return 1;

  // Keys of random records, so every seek is a hit.
  std::mt19937 rng(1);
  std::vector<std::string> keys;
  for (int i = 0; i < 200000; ++i) keys.push_back(KeyOf(1 + rng() % records));

  // Warm the node cache with one pass.
  start = Clock::now();
  for (const std::string& k : keys) (void)area->Seek(k);
  std::printf("cold pass\t%zu seeks\t%.0f seeks/s\n", keys.size(), keys.size() / Seconds(Clock::now() - start));

  const SeekRun one = RunSeeks(*area, keys, seconds);
  std::printf("exact seeks, 1 thread\t%.0f seeks/s\t%.0f seeks per CPU second\t(%llu seeks, %llu misses)\n",
              one.seeks / one.seconds, one.seeks / one.cpu_seconds,
              static_cast<unsigned long long>(one.seeks), static_cast<unsigned long long>(one.misses));

  std::vector<SeekRun> runs(2);
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      auto mine = WorkArea::Open(table, "BENCH" + std::to_string(t)).value();
      if (!mine->SetOrder("KEY20").ok()) return;
      runs[t] = RunSeeks(*mine, keys, seconds);
    });
  }
  for (auto& th : threads) th.join();
  const double total = runs[0].seeks / runs[0].seconds + runs[1].seeks / runs[1].seconds;
  const double total_cpu = runs[0].seeks / runs[0].cpu_seconds + runs[1].seeks / runs[1].cpu_seconds;
  std::printf("exact seeks, 2 threads\t%.0f seeks/s total\t%.0f seeks per CPU second summed\t(%.0f + %.0f)\n",
              total, total_cpu, runs[0].seeks / runs[0].seconds, runs[1].seeks / runs[1].seconds);

  // Soft seek on a short prefix, then read 20 records in index order.
  std::vector<std::string> prefixes;
  for (const std::string& k : keys) prefixes.push_back(k.substr(0, 4));
  uint64_t walks = 0, rows = 0;
  const double walk_cpu_start = ThreadCpuSeconds();
  start = Clock::now();
  const auto until = start + std::chrono::duration<double>(seconds);
  for (std::size_t i = 0; Clock::now() < until; i = (i + 1) % prefixes.size()) {
    for (int batch = 0; batch < 100; ++batch, i = (i + 1) % prefixes.size()) {
      (void)area->Seek(prefixes[i], /*soft=*/true);
      for (int n = 0; n < 20 && !area->Eof(); ++n) {
        rows += area->GetString("KEY20").ok() ? 1 : 0;
        (void)area->Skip(1);
      }
      ++walks;
    }
  }
  const double walk_seconds = Seconds(Clock::now() - start);
  const double walk_cpu = ThreadCpuSeconds() - walk_cpu_start;
  std::printf("soft seek + 20-record walk\t%.0f walks/s\t%.0f records/s\t%.0f walks per CPU second\n",
              walks / walk_seconds, rows / walk_seconds, walks / walk_cpu);
  return 0;
}
