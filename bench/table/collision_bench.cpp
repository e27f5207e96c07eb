// Readers against a writer of the index: how often seeks collide with the writer and read
// again, and that none of them answers wrongly.
//
// A table of N items (codes K0000001..) has two builds of its index: one made when the last 2%
// of the items were not there yet, and the full one. A writer rewrites the live .CDX from one
// build to the other, page by page in a random order, under the engines' exclusive index lock,
// bumping the change counter before it lets go (as the other engines do), R times a second.
// T reader threads, each with its own work area, seek codes that both builds hold for S seconds.
// Printed: seeks, misses and errors (both must be 0), retries, lock waits and give-ups per
// 100,000 seeks.
//
// usage: collision_bench [--dir DIR] [--items N] [--rewrites R] [--readers T] [--seconds S]
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/coding.h"
#include "server/data/driver/index_builder.h"
#include "server/data/driver/index_read_attempts.h"
#include "server/data/driver/range_lock.h"
#include "server/data/driver/work_area.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace kt::data;

std::string Code(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "K%07d", i);
  return buf;
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WriteTable(const fs::path& path, int items) {
  fs::remove(path);
  if (!WorkArea::Create(path, {{"KODE", 'C', 10, 0}, {"NAMA", 'C', 30, 0}}).ok()) return false;
  OpenOptions rw;
  rw.read_only = false;
  auto area = WorkArea::Open(path, "W", rw);
  if (!area.ok()) return false;
  for (int i = 1; i <= items; ++i) {
    if (!(*area)->AppendBlank().ok() || !(*area)->PutString("KODE", Code(i)).ok() ||
        !(*area)->PutString("NAMA", "ITEM " + Code(i)).ok()) {
      return false;
    }
  }
  return (*area)->Commit().ok();
}

void SetIndexLock(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(kCdxLockOffset);
  lock.l_len = 1;
  while (::fcntl(fd, F_OFD_SETLKW, &lock) != 0) {
  }
}

void Rewrite(int fd, const std::string& target, std::mt19937& rng) {
  SetIndexLock(fd, F_WRLCK);
  std::byte raw[4];
  if (::pread(fd, raw, 4, 8) != 4) std::abort();
  const uint32_t counter = kt::DecodeFixedBE32(raw);
  std::vector<std::size_t> pages(target.size() / 512);
  std::iota(pages.begin(), pages.end(), 0);
  std::shuffle(pages.begin(), pages.end(), rng);
  for (std::size_t page : pages) {
    std::string bytes = target.substr(page * 512, 512);
    if (page == 0) kt::EncodeFixedBE32(bytes.data() + 8, counter);
    if (::pwrite(fd, bytes.data(), 512, static_cast<off_t>(page * 512)) != 512) std::abort();
  }
  if (::ftruncate(fd, static_cast<off_t>(target.size())) != 0) std::abort();
  kt::EncodeFixedBE32(raw, counter + 1);
  if (::pwrite(fd, raw, 4, 8) != 4) std::abort();
  SetIndexLock(fd, F_UNLCK);
}

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = "/tmp/kt_collision_bench";
  int items = 20000, rewrites = 50, readers = 4;
  double seconds = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--dir") dir = argv[i + 1];
    else if (opt == "--items") items = std::max(100, std::atoi(argv[i + 1]));
    else if (opt == "--rewrites") rewrites = std::max(1, std::atoi(argv[i + 1]));
    else if (opt == "--readers") readers = std::max(1, std::atoi(argv[i + 1]));
    else if (opt == "--seconds") seconds = std::strtod(argv[i + 1], nullptr);
  }
  const int older_items = items - items / 50;
  fs::create_directories(dir / "older");
  const std::vector<TagSpec> tags = {{"KODE", "KODE", "", false, false},
                                     {"NAMA", "UPPER(NAMA)", "", false, false}};
  if (!WriteTable(dir / "older" / "ITEMS.DBF", older_items) ||
      !BuildCompoundIndex(dir / "older" / "ITEMS.DBF", tags).ok() ||
      !WriteTable(dir / "ITEMS.DBF", items) || !BuildCompoundIndex(dir / "ITEMS.DBF", tags).ok()) {
    std::fprintf(stderr, "cannot write the tables in %s\n", dir.c_str());
    return 1;
  }
  const std::string older = ReadAll(dir / "older" / "ITEMS.CDX");
  const std::string newer = ReadAll(dir / "ITEMS.CDX");

  std::atomic<bool> done{false};
  std::atomic<uint64_t> seeks{0}, misses{0}, errors{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < readers; ++t) {
    threads.emplace_back([&, t] {
      auto area = WorkArea::Open(dir / "ITEMS.DBF", "R" + std::to_string(t));
      if (!area.ok() || !(*area)->SetOrder("KODE").ok()) {
        ++errors;
        return;
      }
      std::mt19937 rng(t + 1);
      while (!done.load(std::memory_order_relaxed)) {
        auto found = (*area)->Seek(Code(1 + static_cast<int>(rng() % older_items)));
        seeks.fetch_add(1, std::memory_order_relaxed);
        if (!found.ok()) {
          if (errors.fetch_add(1) == 0) std::fprintf(stderr, "first error: %s\n", found.status().ToString().c_str());
        }
        else if (!*found) ++misses;
      }
    });
  }
  const CollisionCounters before = ReadCollisionCounters();
  const int fd = ::open((dir / "ITEMS.CDX").c_str(), O_RDWR | O_CLOEXEC);
  std::mt19937 rng(7);
  const auto start = Clock::now();
  const auto period = std::chrono::duration<double>(1.0 / rewrites);
  int done_rewrites = 0;
  while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
    Rewrite(fd, done_rewrites % 2 ? newer : older, rng);
    ++done_rewrites;
    std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(period * done_rewrites));
  }
  done = true;
  for (auto& t : threads) t.join();
  ::close(fd);
  const CollisionCounters after = ReadCollisionCounters();
  const double n = static_cast<double>(seeks.load());
  const auto per100k = [&](uint64_t v) { return n > 0 ? v * 100000.0 / n : 0.0; };
  std::printf("items %d, index %zu KiB, %d readers, %d rewrites in %.1f s\n", items, newer.size() / 1024,
              readers, done_rewrites, seconds);
  std::printf("seeks\t%llu\tmisses\t%llu\terrors\t%llu\n", static_cast<unsigned long long>(seeks.load()),
              static_cast<unsigned long long>(misses.load()), static_cast<unsigned long long>(errors.load()));
  std::printf("per 100,000 seeks: retries %.1f, lock waits %.1f, give-ups %.1f, damage %.1f\n",
              per100k(after.retries - before.retries), per100k(after.lock_waits - before.lock_waits),
              per100k(after.gave_up - before.gave_up), per100k(after.damage - before.damage));
  fs::remove_all(dir);
  return misses.load() == 0 && errors.load() == 0 ? 0 : 1;
}
