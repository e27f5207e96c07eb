// kt-vistrand-server: the price-check server. With --headless it runs without a window (see
// server/app/headless.h); otherwise it starts the window mode when that is built in
// (server/ui links itself into this program and defines KT_SERVER_HAS_WINDOW).
#include <cstdio>
#include <cstring>

#include "server/app/headless.h"
#include "server/app/lookup_scan_handler.h"

#ifdef KT_SERVER_HAS_WINDOW
#include "server/ui/window_main.h"
#endif

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--headless") == 0) return kt::app::RunHeadless(argc, argv);
#ifdef KT_SERVER_HAS_WINDOW
  return kt::ui::RunWindowMode(argc, argv, kt::app::MakeLookupHandlerFactory);
#else
  std::fprintf(stderr, "kt-vistrand-server: the window mode is not built in; use --headless\n");
  return 2;
#endif
}
