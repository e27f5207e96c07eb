// Test program: a window-mode application whose timer slot throws. The crash handler reports
// it and starts the program again; the successor writes "successor.txt" and ends.
//
//   server_ui_crash_probe DIR
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/errlog/crash_handler.h"
#include "server/errlog/instance_lock.h"
#include "server/errlog/restart_guard.h"
#include "server/ui/server_application.h"

namespace {

[[gnu::noinline]] void RefreshSomething() { throw std::out_of_range("probe: list index 7 out of range"); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string dir = argv[1];
  const std::vector<std::string> args(argv, argv + argc);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  kt::ui::ServerApplication app(argc, argv);
  const auto chain = kt::errlog::RestartChainFromEnvironment();
  auto lock = kt::errlog::InstanceLock::Acquire(dir, std::chrono::milliseconds(chain ? 5000 : 0));
  if (!lock.ok()) return 3;
  kt::errlog::InstallCrashHandler({dir, args, true});
  if (chain) {
    std::ofstream(dir + "/successor.txt") << *chain << "\n";
    return 0;
  }
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [] { RefreshSomething(); });
  timer.start(0);
  return app.exec();
}
