#include "server/ui/window_main.h"

#include <QApplication>

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

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

int RunWindowMode(const app::ServerOptions& server_options, int argc, char** argv) {
  // Kept whole for the restart; Qt takes its own options out of argv below.
  const std::vector<std::string> args(argv, argv + argc);
  ServerApplication app(argc, argv);
  // Hidden in the tray is the normal state: closing a message box must not end the program.
  app.setQuitOnLastWindowClosed(false);
  app.setApplicationName(QStringLiteral("KT-Vistrand TCP Server"));
  app::ServerOptions cl = server_options;
  if (cl.core.workdir == ".") cl.core.workdir = std::filesystem::current_path();
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
  // A box never holds up its caller: one raised during the start (a data folder not there yet)
  // is shown once the event loop runs, while the server already listens and retries the
  // database, so an unattended start serves as soon as the folder appears.
  sink.SetErrorBox([&prompts](const std::string& text) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&prompts, text] { prompts.error(nullptr, Latin1(text)); },
        Qt::QueuedConnection);
  });
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
