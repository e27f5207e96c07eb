// One command-line style for every program of the product, on top of CLI11:
//   --help      usage on standard output (from the top: every subcommand with its options), exit 0
//   --version   "PROGRAM VERSION" on standard output, exit 0
//   bad usage   "PROGRAM: message" on standard error, exit 2
//   a failure   "PROGRAM: message" on standard error, exit 1 (Fail)
// Options and subcommands are declared on app(); their help texts are the usage text, so a
// declared option is always listed.
//
//   kt::cli::CommandLine cl("ktdb", "Inspects dBASE tables ...");
//   cl.app().add_option("--items", items, "how many items")->check(CLI::Range(1, 1000));
//   if (auto done = cl.Parse(argc, argv, std::cout, std::cerr)) return *done;
#pragma once

#include <CLI/CLI.hpp>

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kt::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

class CommandLine {
 public:
  CommandLine(std::string program, std::string description);
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  CLI::App& app() { return app_; }
  const std::string& program() const { return program_; }

  // Parses the arguments after the program name. Returns the exit code when the program must
  // end now (help or version printed, usage error reported); nullopt when it goes on.
  std::optional<int> Parse(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
  std::optional<int> Parse(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
  std::optional<int> Parse(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

  // Writes the one line "PROGRAM: message" on `err` and returns `code`.
  int Fail(std::ostream& err, std::string_view message, int code = kExitFailure) const;
  int Fail(std::FILE* err, std::string_view message, int code = kExitFailure) const;
  int UsageError(std::ostream& err, std::string_view message) const {
    return Fail(err, message, kExitUsage);
  }
  int UsageError(std::FILE* err, std::string_view message) const {
    return Fail(err, message, kExitUsage);
  }

  // The whole usage text, as --help prints it.
  std::string Help() const;

 private:
  std::string program_;
  CLI::App app_;
};

// Checks for option values that CLI11 has no ready validator for.
// A dotted IPv4 address ("192.168.1.10").
extern const CLI::Validator kIpv4;

}  // namespace kt::cli
