// The server's command line where it differs between systems: --service.
#include "server/app/server_options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/platform/service/system_service.h"

namespace kt::app {
namespace {

struct Parsed {
  std::optional<int> done;
  ServerOptions options;
  std::string out, err;
};

Parsed Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "kt-vistrand-server");
  Parsed p;
  std::ostringstream out, err;
  p.done = ParseServerOptions(static_cast<int>(args.size()), args.data(), p.options, out, err);
  p.out = out.str();
  p.err = err.str();
  return p;
}

TEST(ServerOptionsTest, ServiceActionsWhereTheSystemHasServices) {
  const bool services = platform::SystemServicesSupported();
  EXPECT_EQ(Parse({"--help"}).out.find("--service") != std::string::npos, services);
  for (const char* action : {"install", "uninstall", "run"}) {
    const Parsed p = Parse({"--service", action, "--port", "4000"});
    if (services) {
      EXPECT_FALSE(p.done.has_value()) << action << ": " << p.err;
      EXPECT_EQ(p.options.service, action);
    } else {
      ASSERT_EQ(p.done, 2) << action;
      EXPECT_NE(p.err.find("--service is for Windows only"), std::string::npos) << p.err;
    }
  }
  const Parsed bad = Parse({"--service", "start"});
  EXPECT_EQ(bad.done, 2);
  EXPECT_NE(bad.err.find("kt-vistrand-server: "), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace kt::app
