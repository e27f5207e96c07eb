// kt-vistrand-server: the price-check server. The command line is read first, so --help and
// --version work without a display; then --headless runs without a window (server/app/headless.h)
// and otherwise the window mode starts when it is built in (server/ui links itself into this
// program and defines KT_SERVER_HAS_WINDOW).
#include <iostream>

#include "server/app/headless.h"
#include "server/app/server_options.h"
#include "server/app/service_command.h"

#ifdef KT_SERVER_HAS_WINDOW
#include "server/ui/window_main.h"
#endif

int main(int argc, char** argv) {
  kt::app::ServerOptions options;
  if (auto done = kt::app::ParseServerOptions(argc, argv, options, std::cout, std::cerr)) return *done;
  if (!options.service.empty()) return kt::app::RunServiceCommand(options, argc, argv);
  if (options.headless) return kt::app::RunHeadless(options, argc, argv);
#ifdef KT_SERVER_HAS_WINDOW
  return kt::ui::RunWindowMode(options, argc, argv);
#else
  std::cerr << "kt-vistrand-server: the window mode is not built in; use --headless\n";
  return 2;
#endif
}
