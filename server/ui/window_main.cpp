#include "server/ui/window_main.h"

#include <QApplication>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "server/app/server_core.h"
#include "server/errlog/crash_handler.h"
#include "server/errlog/instance_lock.h"
#include "server/errlog/restart_guard.h"
#include "server/errlog/startup_checks.h"
#include "server/ui/core_control.h"
#include "server/ui/line_log.h"
#include "server/ui/prompts.h"
#include "server/ui/server_application.h"
#include "server/ui/window_sink.h"
#include "server/ui/winstarting.h"

namespace kt::ui {
namespace {

struct CommandLine {
  app::CoreOptions core;
  bool restart = true;
  bool ok = true;
};

CommandLine Parse(const std::vector<std::string>& args) {
  CommandLine c;
  c.core.workdir = std::filesystem::current_path();
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--workdir" && has_value) {
      c.core.workdir = args[++i];
    } else if (a == "--port" && has_value) {
      char* end = nullptr;
      errno = 0;
      const long v = std::strtol(args[++i].c_str(), &end, 10);
      if (errno != 0 || end == args[i].c_str() || *end != '\0' || v < 0 || v > 65535) {
        c.ok = false;
      } else {
        c.core.port = static_cast<uint16_t>(v);
      }
    } else if (a == "--data" && has_value) {
      c.core.data_location = args[++i];
    } else if (a == "--no-restart") {
      c.restart = false;
    } else {
      c.ok = false;
    }
  }
  return c;
}

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

int RunWindowMode(int argc, char** argv) {
  // Kept whole for the restart; Qt takes its own options out of argv below.
  const std::vector<std::string> args(argv, argv + argc);
  ServerApplication app(argc, argv);
  // Hidden in the tray is the normal state: closing a message box must not end the program.
  app.setQuitOnLastWindowClosed(false);
  app.setApplicationName(QStringLiteral("KT-Vistrand TCP Server"));
  const CommandLine cl = Parse(std::vector<std::string>(argv, argv + argc));
  if (!cl.ok) {
    std::fprintf(stderr,
                 "usage: kt-vistrand-server [--workdir DIR] [--port N] [--data LOCATION] [--no-restart]\n"
                 "       kt-vistrand-server --headless ...\n");
    return 2;
  }
  const Prompts prompts = MessageBoxPrompts();

  // 1. Our own code formats numbers with "," and "."; keep the C library neutral as well.
  std::setlocale(LC_NUMERIC, "C");
  if (!errlog::NumberFormatAcceptable()) {
    prompts.error(nullptr, Latin1(errlog::kNumberFormatMessage));
    return 1;
  }

  // 2.
  const bool restarted = errlog::RestartChainFromEnvironment().has_value();
  auto lock = errlog::InstanceLock::Acquire(cl.core.workdir, std::chrono::milliseconds(restarted ? 10000 : 0));
  if (!lock.ok()) {
    if (!lock.status().IsUnavailable()) std::fprintf(stderr, "kt-vistrand-server: %s\n", lock.status().ToString().c_str());
    return lock.status().IsUnavailable() ? 0 : 1;  // another instance serves this folder: silently
  }

  // 3.
  errlog::InstallCrashHandler({cl.core.workdir, args, cl.restart});

  // 4.
  LineLog log(cl.core.workdir / std::string(kActivityLogName));
  WindowSink sink(&log);
  sink.SetErrorBox([&prompts](const std::string& text) { prompts.error(nullptr, Latin1(text)); });
  app::ServerCore core(cl.core, sink);
  if (Status started = core.Start(); !started.ok()) {
    prompts.error(nullptr, QString::fromStdString(started.ToString()));
    return 1;
  }
  // The port served (the bound one after --port 0), for whoever reads the activity log.
  log.Add("I", "KT-Vistrand TCP Server Port: " + std::to_string(core.Port()));

  // 5.
  CoreControl control(core);
  int code = 0;
  {
    WINSTARTING::Options options;
    options.workdir = cl.core.workdir;
    options.prompts = prompts;
    options.open_database = false;  // the core opened it
    WINSTARTING window(control, core.globals(), sink, options);
    window.PostInit();
    // Without a tray the window is the only way to reach the server: show it at once.
    if (!window.trayAvailable()) window.show();
    code = app.exec();
    core.Stop();
  }
  return code;
}

}  // namespace kt::ui
