// kelab: a command-line host for the kelabexperiment library. It loads the
// library as a desktop host does, drives it through the real host layers,
// shows a user's experiment state and features, and changes it through the
// library's own store code. Output, JSON schema and exit statuses:
// docs/kelab.md.

#include <algorithm>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "kelabexperiment/errors.h"
#include "kelabexperiment/version.h"
#include "kelcore/filesupport/file_error.h"
#include "missing.h"
#include "output.h"
#include "store/state_file.h"

namespace {

constexpr int kUsage = 2;
constexpr int kFailed = 1;
constexpr int kMissing = 3;

// What the arguments ask for, as far as errors need it: the command (empty
// when no known one) and whether its output is JSON.
struct Invocation {
  std::string command;
  bool json = false;
};

using kelab::ErrorJson;

int Fail(const Invocation& invocation, int status, const std::string& line,
         boost::json::object error) {
  if (invocation.json) kelab::PrintJsonFailure(invocation.command, status, std::move(error));
  kelab::PrintErrorLine(line);
  return status;
}

int Usage(const Invocation& invocation, const std::string& message) {
  const std::string text = kelab::Printable(message);
  return Fail(invocation, kUsage, "kelab: " + text + " (run 'kelab --help' for usage)",
              ErrorJson("usage", text));
}

int Failed(const Invocation& invocation, const char* kind, const std::string& message) {
  return Fail(invocation, kFailed, "kelab: error: " + kelab::Printable(message),
              ErrorJson(kind, kelab::Printable(message)));
}

// An option that takes a value followed by another of the command's options
// (`--user --json`): CLI11 would take the option's name as the value.
std::string ValueIsAnOption(const CLI::App& command, const std::vector<std::string>& args) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    const CLI::Option* option = command.get_option_no_throw(args[i]);
    if (option != nullptr && option->get_items_expected_min() > 0 &&
        command.get_option_no_throw(args[i + 1]) != nullptr) {
      return args[i] + " needs a value, and '" + args[i + 1] + "' is an option (for a value of " +
             "that text, write " + args[i] + "=" + args[i + 1] + ")";
    }
  }
  return "";
}

int Run(int argc, char** argv) {
  CLI::App app{
      "kelab: host the kelabexperiment library; inspect and repair users' experiment state"};
  app.name("kelab");
  app.set_version_flag("--version", "kelab " KELABEXPERIMENT_VERSION_STRING,
                       "Print the kelabexperiment release kelab was built from and exit");
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 done, 1 the state is bad or the work failed, 2 usage, 3 a folder or\n"
      "record that is not there (docs/kelab.md).\n"
      "Run 'kelab COMMAND --help' for a command's options and examples.\n");
  kelab::AddUsersCommand(app);
  kelab::AddShowCommand(app);
  kelab::AddCheckCommand(app);
  kelab::AddRunCommand(app);
  kelab::AddSetCommand(app);
  kelab::AddRemoveCommand(app);
  kelab::AddResetCommand(app);
  kelab::AddBackupsCommand(app);
  kelab::AddDiffCommand(app);
  kelab::AddRestoreCommand(app);

  Invocation invocation;
  std::vector<std::string> args;
  try {
    args = kelab::CommandLineArguments(argc, argv);
  } catch (const std::exception& e) {
    return Usage(invocation, e.what());
  }
  invocation.json = std::find(args.begin(), args.end(), "--json") != args.end();
  std::vector<std::string> known;
  std::string names;
  const CLI::App& commands = app;
  for (const CLI::App* command : commands.get_subcommands([](const CLI::App*) { return true; })) {
    known.push_back(command->get_name());
    names += (names.empty() ? "" : ", ") + command->get_name();
  }
  const auto first = std::find_if(args.begin(), args.end(),
                                  [](const std::string& arg) { return arg.rfind("-", 0) != 0; });
  if (first != args.end()) {
    if (std::find(known.begin(), known.end(), *first) == known.end()) {
      return Usage(invocation, "unknown command '" + *first + "'; the commands are " + names);
    }
    invocation.command = *first;
    const std::string problem = ValueIsAnOption(*app.get_subcommand(*first), args);
    if (!problem.empty()) return Usage(invocation, problem);
  } else if (invocation.json && std::find(args.begin(), args.end(), "--version") != args.end()) {
    kelab::PrintJsonResult("", {{"version", KELABEXPERIMENT_VERSION_STRING}});
    return 0;
  } else if (std::none_of(args.begin(), args.end(), [](const std::string& arg) {
               return arg == "--help" || arg == "-h" || arg == "--version";
             })) {
    return Usage(invocation, "a command is required: " + names);
  }

  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    return Usage(invocation, e.what());
  } catch (const kelabexperiment::StateFileError& e) {
    // what() is the generic text callers have always caught; this says where.
    const std::string message = kelab::LibraryMessage(e.Message());
    boost::json::object error = ErrorJson("state", message);
    error["path"] = e.Path();
    error["member"] =
        e.Member().empty() ? boost::json::value(nullptr) : boost::json::value(e.Member());
    error["offset"] = e.Offset();
    error["reason"] = e.Reason();
    return Fail(invocation, kFailed, "kelab: error: " + message, std::move(error));
  } catch (const kelab::ReportedFailure& e) {
    kelab::PrintErrorLine(std::string("kelab: error: ") + e.what());
    return kFailed;
  } catch (const kelab::MissingError& e) {
    return Fail(invocation, kMissing, std::string("kelab: error: ") + e.what(),
                ErrorJson("missing", e.what()));
  } catch (const kelabexperiment::StateFileLimitError& e) {
    return Failed(invocation, "state", e.what());
  } catch (const kelabexperiment::FileError& e) {
    return Failed(invocation, "file", e.what());
  } catch (const kelcore::filesupport::FileError& e) {  // the documents folder, from the host
    return Failed(invocation, "file", e.what());
  } catch (const std::exception& e) {
    return Failed(invocation, "failed", e.what());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  kelab::PrepareConsole();
  return kelab::FinishStandardOutput(Run(argc, argv));
}
