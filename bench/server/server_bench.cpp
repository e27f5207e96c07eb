// Price-check server on loopback, measured with simulated terminals against the demo data:
//   1. a bare TCP echo round trip: through a thread of this process, and through another process
//      with the same simulated terminal as the scans (the floor a server process can reach);
//   2. one terminal scanning back to back (latency p50/p99, ratio to the echo round trip);
//   3. many terminals at once, each from its own address (scans per second, p99, and the
//      server's memory, threads and open descriptors while they are all connected).
// The server runs as its own process (kt-vistrand-server --headless), exactly as deployed.
// The echo process and the one terminal take turns in short batches, so that a change in the
// machine's load during a round falls on both. Run as root, the bench keeps the processors out of
// their idle halt while it measures (/dev/cpu_dma_latency 0, as latency benchmarks do): on a
// virtual machine, waking a halted processor takes tens of microseconds, more than a round trip;
// --let-idle measures with the processors left to halt.
//
// With --baseline BINARY (another build's kt-vistrand-server, e.g. the previous version built in
// its own folder) the measurements run for both servers in turn, --rounds times, and the medians
// of each are printed side by side with their ratio: on a shared machine the load then falls on
// both alike.
//
//   server_bench [--terminals N] [--scans-one N] [--scans-many N] [--interval MS] [--paced-scans N]
//                [--baseline BINARY] [--rounds N] [--let-idle]
#include <fcntl.h>
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
#include <optional>
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

// Holds the processors out of their idle states while it lives, where the system lets us.
class ProcessorsAwake {
 public:
  ProcessorsAwake() : fd_(::open("/dev/cpu_dma_latency", O_WRONLY | O_CLOEXEC)) {
    const int32_t none = 0;
    if (fd_ >= 0 && ::write(fd_, &none, sizeof none) != sizeof none) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~ProcessorsAwake() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

struct ServerProcess {
  pid_t pid = -1;
  uint16_t port = 0;
};

// Starts the headless server with its log in `log`; waits for its port and the self-test.
ServerProcess StartServer(const char* binary, const fs::path& workdir, const fs::path& data, const fs::path& log) {
  ServerProcess p;
  std::error_code ec;
  fs::remove(log, ec);  // a previous round's log must not be read as this server's
  std::fflush(stdout);  // the child's freopen would write our unwritten lines a second time
  p.pid = fork();
  if (p.pid == 0) {
    FILE* out = std::freopen(log.c_str(), "w", stdout);
    (void)out;
    execl(binary, binary, "--headless", "--workdir", workdir.c_str(), "--port", "0",
          "--data", data.c_str(), "--bind", "127.0.0.1", "--no-restart", static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto deadline = Clock::now() + 20s;
  while (Clock::now() < deadline) {
    std::ifstream in(log);
    if (!in) {
      std::this_thread::sleep_for(20ms);
      continue;
    }
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

// Round trips through the least a server process can do: a child process that sends "###" as
// its greeting and answers every line with "###" (poll, receive, send), measured with the same
// simulated terminal as the scans. This is the floor for a server that runs as its own process:
// on a virtual machine a wake-up that crosses processes costs several times one within a
// process, so the in-process echo above is no floor for it.
std::vector<double> ProcessEchoRoundTrips(int count) {
  auto listener = kt::net::TcpListen("127.0.0.1", 0, 5);
  if (!listener.ok()) return {};
  const uint16_t port = *kt::net::LocalPort(*listener);
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    auto c = kt::net::TcpAccept(*listener, 5000ms);
    if (!c.ok()) _exit(1);
    kt::net::SetNoDelay(*c);
    if (!kt::net::SendAll(*c, "###", 5000ms).ok()) _exit(1);
    std::array<char, 4096> buf;
    for (;;) {
      auto n = kt::net::RecvSome(*c, buf, 5000ms);
      if (!n.ok()) _exit(0);  // the terminal closed
      for (std::size_t i = 0; i < *n; ++i) {
        if (buf[i] == '\r' && !kt::net::SendAll(*c, "###", 5000ms).ok()) _exit(1);
      }
    }
  }
  listener->Close();
  kt::sim::LoadOptions o;
  o.terminal.port = port;
  o.terminal.reply_timeout = 5000ms;
  o.scans = count;
  o.codes = {"ECHO"};
  auto r = kt::sim::RunLoad(o);
  int status = 0;
  if (child > 0) waitpid(child, &status, 0);
  return r.latencies_us;  // sorted
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

// The figures of one round against one server binary.
struct Figures {
  bool ok = false;
  double echo_p50 = 0;          // the echo thread in this process
  double process_echo_p50 = 0;  // the echo process: the floor the scan is compared with
  double one_p50 = 0, many_scans_per_s = 0;
  long busy_rss_kib = 0;
};

struct Settings {
  int terminals = 200, scans_one = 3000, scans_many = 100, interval_ms = 50, paced_scans = 40;
  bool verbose = true;
};

Figures RunRound(const char* binary, const fs::path& dir, const Settings& set) {
  Figures f;
  fs::remove_all(dir / "work");
  fs::create_directories(dir / "work");
  const ServerProcess server = StartServer(binary, dir / "work", dir / "data", dir / "server.log");
  if (server.port == 0) {
    std::fprintf(stderr, "server %s did not start; log in %s\n", binary, (dir / "server.log").c_str());
    if (server.pid > 0) kill(server.pid, SIGKILL);
    return f;
  }
  const ProcStats idle = Sample(server.pid);

  const auto echo = EchoRoundTrips(set.scans_one);
  f.echo_p50 = Pct(echo, 50);
  if (set.verbose) std::printf("echo round trip, thread of this process (%zu): us p50 %.1f  p99 %.1f\n", echo.size(), Pct(echo, 50), Pct(echo, 99));

  // The echo process and the terminal scanning take turns, a batch each.
  constexpr int kBatches = 6;
  kt::sim::LoadOptions one;
  one.terminal.port = server.port;
  one.terminal.reply_timeout = 5000ms;
  one.scans = std::max(1, set.scans_one / kBatches);
  one.codes = kCodes;
  std::vector<double> process_echo;
  kt::sim::LoadResult r1;
  for (int b = 0; b < kBatches; ++b) {
    const auto e = ProcessEchoRoundTrips(one.scans);
    process_echo.insert(process_echo.end(), e.begin(), e.end());
    const auto r = kt::sim::RunLoad(one);
    r1.terminals_connected = std::max(r1.terminals_connected, r.terminals_connected);
    r1.scans += r.scans;
    r1.replies += r.replies;
    r1.errors += r.errors;
    r1.mismatches += r.mismatches;
    r1.seconds += r.seconds;
    r1.latencies_us.insert(r1.latencies_us.end(), r.latencies_us.begin(), r.latencies_us.end());
  }
  std::sort(process_echo.begin(), process_echo.end());
  std::sort(r1.latencies_us.begin(), r1.latencies_us.end());
  f.process_echo_p50 = Pct(process_echo, 50);
  if (set.verbose) {
    std::printf("echo round trip, another process, simulated terminal (%zu): us p50 %.1f  p99 %.1f\n",
                process_echo.size(), Pct(process_echo, 50), Pct(process_echo, 99));
  }
  f.one_p50 = r1.Percentile(50);
  if (set.verbose) {
    PrintLoad("one terminal, back to back", r1);
    std::printf("  ratio scan/echo at p50: %.2f against the echo process (%.2f against the echo thread)\n",
                f.process_echo_p50 > 0 ? f.one_p50 / f.process_echo_p50 : 0, f.echo_p50 > 0 ? f.one_p50 / f.echo_p50 : 0);
  }

  kt::sim::LoadOptions many = one;
  many.terminals = set.terminals;
  many.scans = set.scans_many;
  many.spread_addresses = true;
  ProcStats busy;
  many.on_finished = [&] { busy = Sample(server.pid); };
  const auto rn = kt::sim::RunLoad(many);
  f.many_scans_per_s = rn.ScansPerSecond();
  f.busy_rss_kib = busy.rss_kib;
  if (set.verbose) PrintLoad("many terminals at once, back to back (saturation)", rn);

  bool paced_ok = true;
  if (set.verbose) {
    // The same crowd at a steady pace: every terminal scans every `interval_ms`.
    kt::sim::LoadOptions paced = many;
    paced.interval = std::chrono::milliseconds(set.interval_ms);
    paced.scans = set.paced_scans;
    paced.on_finished = nullptr;
    const auto rp = kt::sim::RunLoad(paced);
    char title[96];
    std::snprintf(title, sizeof title, "many terminals at once, one scan each every %d ms", set.interval_ms);
    PrintLoad(title, rp);
    paced_ok = rp.errors == 0 && rp.mismatches == 0;
    std::printf("server idle:      RSS %ld KiB, threads %ld, fds %ld\n", idle.rss_kib, idle.threads, idle.fds);
    std::printf("server connected: RSS %ld KiB, threads %ld, fds %ld (with %d terminals)\n", busy.rss_kib,
                busy.threads, busy.fds, rn.terminals_connected);
    std::this_thread::sleep_for(1s);  // sessions notice the closed connections
    const ProcStats after = Sample(server.pid);
    std::printf("server after:     RSS %ld KiB, threads %ld, fds %ld\n", after.rss_kib, after.threads, after.fds);
  }

  kill(server.pid, SIGTERM);
  int status = 0;
  waitpid(server.pid, &status, 0);
  if (set.verbose) {
    std::printf("server stopped: %s\n", WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "cleanly" : "with an error");
  }
  f.ok = r1.errors == 0 && r1.mismatches == 0 && rn.errors == 0 && rn.mismatches == 0 && paced_ok;
  return f;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  Settings set;
  const char* baseline = nullptr;
  int rounds = 3;
  bool let_idle = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--let-idle") {  // the one option without a value
      let_idle = true;
      continue;
    }
    if (i + 1 >= argc) break;
    const char* value = argv[++i];
    if (a == "--terminals") set.terminals = std::atoi(value);
    else if (a == "--scans-one") set.scans_one = std::atoi(value);
    else if (a == "--scans-many") set.scans_many = std::atoi(value);
    else if (a == "--interval") set.interval_ms = std::atoi(value);
    else if (a == "--paced-scans") set.paced_scans = std::atoi(value);
    else if (a == "--baseline") baseline = value;
    else if (a == "--rounds") rounds = std::max(1, std::atoi(value));
  }
  std::optional<ProcessorsAwake> awake;
  if (!let_idle) awake.emplace();
  std::printf("processors %s\n", awake && awake->held() ? "kept out of their idle halt while measuring"
                                                       : "left to halt when idle");
  const fs::path dir = fs::temp_directory_path() / ("kt_server_bench_" + std::to_string(getpid()));
  fs::create_directories(dir);
  if (auto st = kt::data::demo::WriteDemoDataSet(dir / "data"); !st.ok()) {
    std::fprintf(stderr, "demo data: %s\n", st.ToString().c_str());
    return 1;
  }
  if (baseline == nullptr) {
    const Figures f = RunRound(KT_SERVER_BINARY, dir, set);
    fs::remove_all(dir);
    return f.ok ? 0 : 1;
  }

  // Both servers in turn, so that the machine's load falls on both alike.
  set.verbose = false;
  struct Series {
    std::vector<double> echo, one, ratio, thread_ratio, many, rss;
  } now, base;
  bool ok = true;
  for (int r = 0; r < rounds; ++r) {
    for (int which = 0; which < 2; ++which) {
      const Figures f = RunRound(which == 0 ? baseline : KT_SERVER_BINARY, dir, set);
      ok = ok && f.ok;
      Series& s = which == 0 ? base : now;
      s.echo.push_back(f.process_echo_p50);
      s.one.push_back(f.one_p50);
      s.ratio.push_back(f.process_echo_p50 > 0 ? f.one_p50 / f.process_echo_p50 : 0);
      s.thread_ratio.push_back(f.echo_p50 > 0 ? f.one_p50 / f.echo_p50 : 0);
      s.many.push_back(f.many_scans_per_s);
      s.rss.push_back(static_cast<double>(f.busy_rss_kib));
      std::printf("round %d %-8s echo p50 %5.1f us (thread %5.1f)  one terminal p50 %5.1f us (%.2f x echo)  %d terminals %6.0f scans/s  RSS %6ld KiB\n",
                  r + 1, which == 0 ? "baseline" : "this", f.process_echo_p50, f.echo_p50, f.one_p50, s.ratio.back(),
                  set.terminals, f.many_scans_per_s, f.busy_rss_kib);
      std::fflush(stdout);
    }
  }
  std::printf("\nmedians of %d rounds        baseline      this   this/baseline\n", rounds);
  std::printf("one terminal p50 / echo p50  %8.2f  %8.2f   %6.2f   (echo process, same simulated terminal)\n",
              Median(base.ratio), Median(now.ratio), Median(now.ratio) / Median(base.ratio));
  std::printf("  against the echo thread     %8.2f  %8.2f   %6.2f\n", Median(base.thread_ratio),
              Median(now.thread_ratio), Median(now.thread_ratio) / Median(base.thread_ratio));
  std::printf("one terminal p50 (us)        %8.1f  %8.1f   %6.2f\n", Median(base.one), Median(now.one),
              Median(now.one) / Median(base.one));
  std::printf("%d terminals scans/s        %8.0f  %8.0f   %6.2f\n", set.terminals, Median(base.many), Median(now.many),
              Median(now.many) / Median(base.many));
  std::printf("RSS with %d terminals (KiB) %8.0f  %8.0f   %6.2f\n", set.terminals, Median(base.rss), Median(now.rss),
              Median(now.rss) / Median(base.rss));
  fs::remove_all(dir);
  return ok ? 0 : 1;
}
