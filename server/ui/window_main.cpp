#include "server/ui/window_main.h"

#include <QApplication>
#include <QMessageBox>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "server/data/global_variable.h"
#include "server/data/settings_table.h"
#include "server/errlog/crash_handler.h"
#include "server/errlog/instance_lock.h"
#include "server/errlog/restart_guard.h"
#include "server/errlog/startup_checks.h"
#include "server/net/random_text.h"
#include "server/net/server_flags.h"
#include "server/ui/line_log.h"
#include "server/ui/listener_control.h"
#include "server/ui/prompts.h"
#include "server/ui/status_texts.h"
#include "server/ui/window_sink.h"
#include "server/ui/winstarting.h"

namespace kt::ui {
namespace {

// Exceptions must not travel through Qt's event loop: one thrown by a slot or an event handler
// goes to the error report (with the stack as far as it is left) and the restart.
class ServerApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (...) {
      errlog::ReportCurrentException();
    }
  }
};

std::filesystem::path WorkdirFrom(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--workdir") return argv[i + 1];
  }
  return std::filesystem::current_path();
}

}  // namespace

int RunWindowMode(int argc, char** argv, HandlerFactoryMaker make_handlers) {
  const std::vector<std::string> args(argv, argv + argc);
  ServerApplication app(argc, argv);
  // Hidden in the tray is the normal state: closing a message box must not end the program.
  app.setQuitOnLastWindowClosed(false);
  app.setApplicationName(QStringLiteral("KT-Vistrand TCP Server"));
  // 1. Numbers are formatted by our own code with "," and "."; keep the C library neutral too.
  std::setlocale(LC_NUMERIC, "C");
  const std::filesystem::path workdir = WorkdirFrom(argc, argv);
  const Prompts prompts = MessageBoxPrompts();

  // 2.
  data::GLOBALVARIABLE globals;
  net::ServerFlags flags;
  globals.SetRandomTestFirewall(net::MakeRandomText(18, 'A', 'Z'));

  if (!errlog::NumberFormatAcceptable()) {
    prompts.error(nullptr, QString::fromLatin1(errlog::kNumberFormatMessage.data(),
                                               static_cast<qsizetype>(errlog::kNumberFormatMessage.size())));
    return 1;
  }

  // 3.
  const bool restarted = errlog::RestartChainFromEnvironment().has_value();
  auto lock = errlog::InstanceLock::Acquire(workdir, std::chrono::milliseconds(restarted ? 10000 : 0));
  if (!lock.ok()) {
    if (!lock.status().IsUnavailable()) std::fprintf(stderr, "%s\n", lock.status().ToString().c_str());
    return 0;  // another instance serves this folder
  }

  // 4.
  if (Status loaded = data::LoadSettings(workdir, globals); !loaded.ok()) {
    prompts.error(nullptr, QString::fromStdString(loaded.ToString()));
    return 1;
  }

  // 5.
  errlog::InstallCrashHandler({workdir, args, true});

  // 6.
  LineLog log(workdir / std::string(kActivityLogName));
  WindowSink sink(&log);
  sink.SetErrorBox([&prompts](const std::string& text) {
    prompts.error(nullptr, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  });
  ListenerControl server(globals, flags, sink, make_handlers(globals, sink));
  int code = 0;
  {
    WINSTARTING window(server, globals, sink, {workdir, prompts, std::nullopt, true, {}});
    window.PostInit();
    // Without a tray the window is the only way to reach the server: show it at once.
    if (!window.trayAvailable()) window.show();
    code = app.exec();
    server.Stop();
  }
  return code;
}

}  // namespace kt::ui
