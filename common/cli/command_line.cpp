#include "common/cli/command_line.h"

#include <sstream>

#include "common/platform/sockets/socket_system.h"
#include "common/version.h"

namespace kt::cli {
namespace {

// Lists every subcommand with its own options under the program's options, so the top-level
// help (and the man page made from it) names everything the program accepts.
class Formatter : public CLI::Formatter {
 public:
  Formatter() {
    label("Usage", "usage");
    label("SUBCOMMAND", "COMMAND");
    label("SUBCOMMANDS", "COMMANDS");
    label("Subcommands", "Commands");
  }

  // A program with commands: "usage: PROGRAM COMMAND [ARGS] [OPTIONS]".
  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (app->get_parent() == nullptr && !app->get_subcommands([](const CLI::App*) { return true; }).empty()) {
      return "usage: " + name + " COMMAND [ARGS] [OPTIONS]\n";
    }
    return CLI::Formatter::make_usage(app, std::move(name));
  }

  // The usage line first, then what the program does.
  std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
    if (mode == CLI::AppFormatMode::Sub) return make_expanded(app);
    std::ostringstream out;
    out << make_usage(app, name) << '\n' << make_description(app) << make_positionals(app)
        << make_groups(app, mode) << make_subcommands(app, mode) << '\n' << make_footer(app);
    return out.str();
  }

  // "--port N (env KT_VISTRAND_PORT)": the value's name, without the checks' texts.
  std::string make_option_opts(const CLI::Option* opt) const override {
    std::string out;
    if (opt->get_positional()) {  // its name is the placeholder
      return opt->get_expected_max() == CLI::detail::expected_max_vector_size ? " ..." : "";
    }
    if (opt->get_type_size() != 0) {
      std::string type = opt->get_type_name();
      // get_type_name() appends ":" and each check's text; a ':' inside [...] is the name's own.
      int depth = 0;
      for (std::size_t i = 0; i < type.size(); ++i) {
        if (type[i] == '[') ++depth;
        if (type[i] == ']') --depth;
        if (type[i] == ':' && depth == 0) {
          type.resize(i);
          break;
        }
      }
      if (!type.empty()) out += " " + type;
      if (opt->get_expected_max() == CLI::detail::expected_max_vector_size) out += " ...";
    }
    if (!opt->get_envname().empty()) out += " (env " + opt->get_envname() + ")";
    return out;
  }
};

}  // namespace

const CLI::Validator kIpv4(
    [](std::string& text) -> std::string {
      in_addr a{};
      if (inet_pton(AF_INET, text.c_str(), &a) != 1) return "'" + text + "' is not a dotted IPv4 address";
      return {};
    },
    "IPv4", "IPv4");

CommandLine::CommandLine(std::string program, std::string description)
    : program_(std::move(program)), app_(std::move(description), program_) {
  app_.formatter(std::make_shared<Formatter>());
  app_.get_formatter()->column_width(34);
  app_.set_version_flag("--version", program_ + " " + kVersion, "print the program's name and version and exit");
  app_.set_help_flag("-h,--help", "print this help and exit");
  // One style for the subcommands too: each takes --help for its own part of the usage.
  app_.option_defaults()->always_capture_default(false);
  // Options of the program are taken before or after its command.
  app_.fallthrough();
  // The same style on Windows: "/x" is a path there too, never an option.
  app_.allow_windows_style_options(false);
}

std::string CommandLine::Help() const { return app_.help("", CLI::AppFormatMode::All); }

std::optional<int> CommandLine::Parse(const std::vector<std::string>& args, std::ostream& out,
                                      std::ostream& err) {
  for (CLI::App* sub : app_.get_subcommands([](CLI::App*) { return true; })) {
    if (sub->get_group() == "Subcommands") sub->group("Commands");
  }
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
  try {
    app_.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    // From the top: everything; after a subcommand: that subcommand's part.
    out << (app_.get_subcommands().empty() ? Help() : app_.help());
    out.flush();
    return kExitSuccess;
  } catch (const CLI::CallForAllHelp&) {
    out << Help();
    return kExitSuccess;
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << "\n";
    out.flush();
    return kExitSuccess;
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return kExitSuccess;
    // A word where a command was expected reads better as what it is.
    const std::vector<std::string> extras = app_.remaining();
    const bool has_commands = !app_.get_subcommands([](CLI::App*) { return true; }).empty();
    if (has_commands && app_.get_subcommands().empty()) {
      if (!extras.empty() && extras.front().rfind("-", 0) != 0) {
        return UsageError(err, "unknown command \"" + extras.front() + "\" (" + program_ +
                                   " --help lists the commands)");
      }
      if (extras.empty() && dynamic_cast<const CLI::RequiredError*>(&e) != nullptr) {
        return UsageError(err, "no command given (" + program_ + " --help lists the commands)");
      }
    }
    return UsageError(err, e.what());
  }
  return std::nullopt;
}

std::optional<int> CommandLine::Parse(int argc, const char* const* argv, std::ostream& out,
                                      std::ostream& err) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return Parse(args, out, err);
}

std::optional<int> CommandLine::Parse(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  std::ostringstream o, e;
  auto done = Parse(argc, argv, o, e);
  std::fputs(o.str().c_str(), out);
  std::fputs(e.str().c_str(), err);
  std::fflush(out);
  return done;
}

int CommandLine::Fail(std::ostream& err, std::string_view message, int code) const {
  err << program_ << ": " << message << "\n";
  err.flush();
  return code;
}

int CommandLine::Fail(std::FILE* err, std::string_view message, int code) const {
  std::ostringstream e;
  Fail(e, message, code);
  std::fputs(e.str().c_str(), err);
  return code;
}

}  // namespace kt::cli
