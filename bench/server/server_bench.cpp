// Price-check server on loopback, measured with simulated terminals against the demo data:
//   1. a bare TCP echo round trip (the floor any request/reply can reach on this machine);
//   2. one terminal scanning back to back (latency p50/p99, ratio to the echo round trip);
//   3. many terminals at once, each from its own address (scans per second, p99, and the
//      server's memory, threads and open descriptors while they are all connected).
// The server runs as its own process (kt-vistrand-server --headless), exactly as deployed.
//
//   server_bench [--terminals N] [--scans-one N] [--scans-many N] [--interval MS] [--paced-scans N]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/net/tcp_socket.h"
#include "server/data/demo/demo_data.h"
#include "sim/tcp/tcp_terminal.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Found items of several kinds, a barcode, an alternative code, and two failures.
const std::vector<std::string> kCodes = {"AQ600",   "KOPI200", "MGS2L",         "SCP750",  "GULA1KG",
                                         "SUSU1L",  "MIE5BOX", "8991002100012", "KECAPALT", "CKLT100",
                                         "SAMPO01", "KRP01",   "NOPE404",       "LAMA01"};

struct ServerProcess {
  pid_t pid = -1;
  uint16_t port = 0;
};

// Starts the headless server with its log in `log`; waits for its port and the self-test.
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
  const auto deadline = Clock::now() + 20s;
  while (Clock::now() < deadline) {
    std::ifstream in(log);
    std::string line;
    bool passed = false;
    while (std::getline(in, line)) {
      auto at = line.find("Port: ");
      if (at != std::string::npos && line.find("(headless)") != std::string::npos)
        p.port = static_cast<uint16_t>(std::atoi(line.c_str() + at + 6));
      if (line.find("Self-test passed") != std::string::npos) passed = true;
    }
    if (p.port != 0 && passed) return p;
    std::this_thread::sleep_for(20ms);
  }
  p.port = 0;
  return p;
}

struct ProcStats {
  long rss_kib = 0, threads = 0, fds = 0;
};

ProcStats Sample(pid_t pid) {
  ProcStats s;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") status >> s.rss_kib;
    else if (key == "Threads:") status >> s.threads;
  }
  std::error_code ec;
  for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
       !ec && it != fs::directory_iterator(); ++it)
    ++s.fds;
  return s;
}

// Round trips of a 14-byte line through a trivial echo server on another thread.
std::vector<double> EchoRoundTrips(int count) {
  auto listener = kt::net::TcpListen("127.0.0.1", 0, 5);
  const uint16_t port = *kt::net::LocalPort(*listener);
  std::thread echo([&] {
    auto c = kt::net::TcpAccept(*listener, 5000ms);
    if (!c.ok()) return;
    kt::net::SetNoDelay(*c);
    std::array<char, 256> buf;
    for (;;) {
      auto n = kt::net::RecvSome(*c, buf, 5000ms);
      if (!n.ok()) return;
      if (!kt::net::SendAll(*c, std::string_view(buf.data(), *n), 5000ms).ok()) return;
    }
  });
  std::vector<double> us;
  auto c = kt::net::TcpConnect("127.0.0.1", port, 2000ms);
  kt::net::SetNoDelay(*c);
  const std::string line = "F8991002100012";
  std::array<char, 256> buf;
  for (int i = 0; i < count; ++i) {
    const auto t0 = Clock::now();
    if (!kt::net::SendAll(*c, line, 2000ms).ok()) break;
    std::size_t got = 0;
    while (got < line.size()) {
      auto n = kt::net::RecvSome(*c, buf, 2000ms);
      if (!n.ok()) break;
      got += *n;
    }
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  c->Close();
  echo.join();
  std::sort(us.begin(), us.end());
  return us;
}

double Pct(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  return sorted[static_cast<std::size_t>(p / 100.0 * static_cast<double>(sorted.size() - 1) + 0.5)];
}

void PrintLoad(const char* title, const kt::sim::LoadResult& r) {
  std::printf("%s: terminals %d, scans %ld, replies %ld, errors %ld, mismatches %ld\n", title,
              r.terminals_connected, r.scans, r.replies, r.errors, r.mismatches);
  std::printf("  %.0f scans/s over %.3f s; latency us p50 %.0f  p90 %.0f  p99 %.0f  max %.0f\n",
              r.ScansPerSecond(), r.seconds, r.Percentile(50), r.Percentile(90), r.Percentile(99),
              r.Percentile(100));
}

}  // namespace

int main(int argc, char** argv) {
  int terminals = 200, scans_one = 3000, scans_many = 100, interval_ms = 50, paced_scans = 40;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--terminals") terminals = std::atoi(argv[i + 1]);
    else if (a == "--scans-one") scans_one = std::atoi(argv[i + 1]);
    else if (a == "--scans-many") scans_many = std::atoi(argv[i + 1]);
    else if (a == "--interval") interval_ms = std::atoi(argv[i + 1]);
    else if (a == "--paced-scans") paced_scans = std::atoi(argv[i + 1]);
  }
  const fs::path dir = fs::temp_directory_path() / ("kt_server_bench_" + std::to_string(getpid()));
  fs::create_directories(dir / "work");
  if (auto st = kt::data::demo::WriteDemoDataSet(dir / "data"); !st.ok()) {
    std::fprintf(stderr, "demo data: %s\n", st.ToString().c_str());
    return 1;
  }
  const ServerProcess server = StartServer(dir / "work", dir / "data", dir / "server.log");
  if (server.port == 0) {
    std::fprintf(stderr, "server did not start; log in %s\n", (dir / "server.log").c_str());
    if (server.pid > 0) kill(server.pid, SIGKILL);
    return 1;
  }
  const ProcStats idle = Sample(server.pid);

  const auto echo = EchoRoundTrips(scans_one);
  std::printf("echo round trip (%zu): us p50 %.1f  p99 %.1f\n", echo.size(), Pct(echo, 50), Pct(echo, 99));

  kt::sim::LoadOptions one;
  one.terminal.port = server.port;
  one.terminal.reply_timeout = 5000ms;
  one.scans = scans_one;
  one.codes = kCodes;
  const auto r1 = kt::sim::RunLoad(one);
  PrintLoad("one terminal, back to back", r1);
  std::printf("  ratio scan/echo at p50: %.2f\n", Pct(echo, 50) > 0 ? r1.Percentile(50) / Pct(echo, 50) : 0);

  kt::sim::LoadOptions many = one;
  many.terminals = terminals;
  many.scans = scans_many;
  many.spread_addresses = true;
  ProcStats busy;
  many.on_finished = [&] { busy = Sample(server.pid); };
  const auto rn = kt::sim::RunLoad(many);
  PrintLoad("many terminals at once, back to back (saturation)", rn);

  // The same crowd at a steady pace: every terminal scans every `interval_ms`.
  kt::sim::LoadOptions paced = many;
  paced.interval = std::chrono::milliseconds(interval_ms);
  paced.scans = paced_scans;
  paced.on_finished = nullptr;
  const auto rp = kt::sim::RunLoad(paced);
  char title[96];
  std::snprintf(title, sizeof title, "many terminals at once, one scan each every %d ms", interval_ms);
  PrintLoad(title, rp);
  std::printf("server idle:      RSS %ld KiB, threads %ld, fds %ld\n", idle.rss_kib, idle.threads, idle.fds);
  std::printf("server connected: RSS %ld KiB, threads %ld, fds %ld (with %d terminals)\n", busy.rss_kib,
              busy.threads, busy.fds, rn.terminals_connected);
  std::this_thread::sleep_for(1s);  // sessions notice the closed connections
  const ProcStats after = Sample(server.pid);
  std::printf("server after:     RSS %ld KiB, threads %ld, fds %ld\n", after.rss_kib, after.threads, after.fds);

  kill(server.pid, SIGTERM);
  int status = 0;
  waitpid(server.pid, &status, 0);
  std::printf("server stopped: %s\n", WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "cleanly" : "with an error");
  fs::remove_all(dir);
  const bool ok = r1.errors == 0 && r1.mismatches == 0 && rn.errors == 0 && rn.mismatches == 0 &&
                  rp.errors == 0 && rp.mismatches == 0;
  return ok ? 0 : 1;
}
