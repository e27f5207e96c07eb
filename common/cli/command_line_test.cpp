#include "common/cli/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "common/version.h"

namespace kt::cli {
namespace {

// A program with one global option and two subcommands, one of them with options of its own.
struct Sample {
  CommandLine cl{"sample", "A sample program."};
  int port = 0;
  std::string address;
  std::string table;
  bool soft = false;
  CLI::App* seek = nullptr;

  Sample() {
    cl.app().add_option("--port", port, "local port")->check(CLI::Range(0, 65535));
    cl.app().add_option("--to", address, "destination")->check(kIpv4);
    seek = cl.app().add_subcommand("seek", "seeks a key");
    seek->add_option("table", table, "the table")->required();
    seek->add_flag("--soft", soft, "soft seek");
    cl.app().add_subcommand("walk", "walks a tag");
    cl.app().require_subcommand(1);
  }

  struct Run {
    std::optional<int> done;
    std::string out, err;
  };
  Run Parse(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    Run r;
    r.done = cl.Parse(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
  }
};

TEST(CommandLineTest, HelpFromTheTopListsEverySubcommandAndOptionOnStandardOutput) {
  Sample s;
  const auto r = s.Parse({"--help"});
  ASSERT_EQ(r.done, std::optional<int>(kExitSuccess));
  EXPECT_EQ(r.err, "");
  for (const char* name : {"--port", "--to", "--version", "--help", "seek", "walk", "--soft", "table"}) {
    EXPECT_NE(r.out.find(name), std::string::npos) << name << " missing from\n" << r.out;
  }
  // Help after a subcommand is that subcommand's part.
  const auto sub = s.Parse({"seek", "--help"});
  ASSERT_EQ(sub.done, std::optional<int>(kExitSuccess));
  EXPECT_NE(sub.out.find("--soft"), std::string::npos) << sub.out;
}

TEST(CommandLineTest, VersionIsTheProgramAndTheProjectVersion) {
  Sample s;
  const auto r = s.Parse({"--version"});
  EXPECT_EQ(r.done, std::optional<int>(kExitSuccess));
  EXPECT_EQ(r.out, std::string("sample ") + KT_VERSION_STRING + "\n");
  EXPECT_EQ(r.err, "");
}

TEST(CommandLineTest, UsageErrorsNameTheProgramAndExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"--nope", "walk"},          // unknown option
      {"--port", "70000", "walk"}, // out of range
      {"--port"},                  // value missing
      {"--to", "10.0.0", "walk"},  // not an address
      {"seek"},                    // required positional missing
      {},                          // no subcommand
      {"fly"},                     // unknown subcommand
  };
  for (const auto& args : cases) {
    Sample s;
    const auto r = s.Parse(args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(r.done, std::optional<int>(kExitUsage)) << shown;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_EQ(r.err.rfind("sample: ", 0), 0u) << shown << "-> " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  Sample none;
  EXPECT_EQ(none.Parse({}).err, "sample: no command given (sample --help lists the commands)\n");
  Sample unknown;
  EXPECT_EQ(unknown.Parse({"fly"}).err, "sample: unknown command \"fly\" (sample --help lists the commands)\n");
}

TEST(CommandLineTest, GoodArgumentsGoOnWithTheValuesSet) {
  Sample s;
  const auto r = s.Parse({"--port", "9101", "seek", "STOCK", "--soft", "--to", "127.0.0.1"});
  EXPECT_EQ(r.done, std::nullopt) << r.err;
  EXPECT_EQ(s.port, 9101);
  EXPECT_EQ(s.table, "STOCK");
  EXPECT_TRUE(s.soft);
  EXPECT_EQ(s.address, "127.0.0.1");
  EXPECT_TRUE(s.seek->parsed());
}

// Paths start with "/" on every system we build for (under Wine too): never taken as an option.
TEST(CommandLineTest, ALeadingSlashIsAValueNotAnOption) {
  Sample s;
  const auto r = s.Parse({"seek", "/data/STOCK"});
  EXPECT_EQ(r.done, std::nullopt) << r.err;
  EXPECT_EQ(s.table, "/data/STOCK");
}

TEST(CommandLineTest, FailuresNameTheProgram) {
  Sample s;
  std::ostringstream err;
  EXPECT_EQ(s.cl.Fail(err, "cannot open STOCK"), kExitFailure);
  EXPECT_EQ(err.str(), "sample: cannot open STOCK\n");
}

}  // namespace
}  // namespace kt::cli
