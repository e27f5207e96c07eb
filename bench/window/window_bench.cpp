// window_bench [THREADS] [LINES_PER_THREAD]: session-like threads send scan lines to the main
// window (offscreen) while the window thread runs its event loop. Prints what one call costs the
// calling thread (p50/p99/max), how many lines reached the list, and that the activity log got
// every line.
#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "server/data/global_variable.h"
#include "server/ui/activity_list.h"
#include "server/ui/line_log.h"
#include "server/ui/server_control.h"
#include "server/ui/window_sink.h"
#include "server/ui/winstarting.h"

namespace {

using Clock = std::chrono::steady_clock;

class IdleServer : public kt::ui::ServerControl {
 public:
  void StartServer() override {}
  bool Listening() const override { return true; }
  bool ProbeSent() const override { return true; }
  bool SelfTestPassed() const override { return true; }
  uint16_t Port() const override { return 9101; }
  bool RetryDatabase() override { return false; }
  bool DatabaseOpen() const override { return true; }
};

double Percentile(std::vector<double>& v, double p) {
  if (v.empty()) return 0;
  std::size_t k = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
  return v[k];
}

}  // namespace

int main(int argc, char** argv) {
  const int threads = argc > 1 ? std::atoi(argv[1]) : 8;
  const int lines = argc > 2 ? std::atoi(argv[2]) : 20000;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const auto dir = std::filesystem::temp_directory_path() / ("kt_window_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);

  kt::data::GLOBALVARIABLE globals;
  IdleServer server;
  std::vector<std::vector<double>> costs(static_cast<std::size_t>(threads));
  std::size_t logged = 0;
  std::size_t dropped = 0;
  int shown = 0;
  double seconds = 0;
  {
    kt::ui::LineLog log(dir / "KTVistrd.log");
    kt::ui::WindowSink sink(&log);
    kt::ui::WINSTARTING::Options options;
    options.workdir = dir;
    options.tray_available = false;
      options.prompts.confirm = [](QWidget*, const QString&) { return false; };
    options.prompts.error = [](QWidget*, const QString&) {};
    options.prompts.info = [](QWidget*, const QString&, const QString&) {};
    kt::ui::WINSTARTING window(server, globals, sink, options);
    window.PostInit();
    window.TIMERSTOP();
    window.show();

    std::atomic<int> running{threads};
    std::vector<std::thread> workers;
    const auto start = Clock::now();
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&, t] {
        auto& mine = costs[static_cast<std::size_t>(t)];
        mine.reserve(static_cast<std::size_t>(lines));
        for (int i = 0; i < lines; ++i) {
          const std::string line = "192.168.1." + std::to_string(10 + t) + " Received Data: F899100210" + std::to_string(i);
          const auto t0 = Clock::now();
          sink.ScanInfo(line);
          mine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        --running;
      });
    }
    // The window thread keeps serving events until every sender is done.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (running == 0) QCoreApplication::exit(0);  // quit() would first ask the windows, which refuse
    });
    poll.start(20);
    app.exec();
    for (auto& w : workers) w.join();
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    QCoreApplication::processEvents();
    shown = static_cast<int>(window.scanList()->Lines().size());
    log.Flush();
    // The current file and the one rotated away; a writer that fell far behind notes drops.
    auto rotated = log.file();
    rotated += ".1";
    for (const auto& file : {rotated, log.file()}) {
      std::ifstream in(file);
      for (std::string l; std::getline(in, l);) {
        const auto note = l.find(" lines dropped");
        if (note == std::string::npos) {
          ++logged;
        } else {
          dropped += std::stoul(l.substr(l.rfind(' ', note - 1) + 1));
        }
      }
    }
  }
  std::vector<double> all;
  for (auto& c : costs) all.insert(all.end(), c.begin(), c.end());
  const double total = static_cast<double>(all.size());
  std::printf("threads %d, lines %d each, %.2f s, %.0f calls/s\n", threads, lines, seconds, total / seconds);
  std::printf("cost per call to the caller: p50 %.2f us, p99 %.2f us, max %.1f us\n", Percentile(all, 0.50),
              Percentile(all, 0.99), *std::max_element(all.begin(), all.end()));
  std::printf("scan list holds %d lines (limit 101); activity log (with its rotated file) has %zu of %.0f lines,"
              " %zu noted as dropped\n", shown, logged, total, dropped);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
