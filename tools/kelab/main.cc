// kelab: a command-line host for the kelabexperiment library. It loads the
// library as a desktop host does, drives it through the real host layers,
// and shows a user's experiment state and features.

#include <iostream>

#include "commands.h"
#include "kelabexperiment/errors.h"
#include "kelabexperiment/version.h"

int main(int argc, char** argv) {
  CLI::App app{"kelab: host the kelabexperiment library and inspect users' experiment state"};
  app.require_subcommand(1);
  app.name("kelab");
  app.set_version_flag("--version", "kelab " KELABEXPERIMENT_VERSION_STRING,
                       "Print the kelabexperiment release kelab was built from and exit");
  app.footer("Run 'kelab COMMAND --help' for a command's options and examples.\n");
  kelab::AddRunCommand(app);
  kelab::AddShowCommand(app);
  kelab::AddCheckCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    std::cerr << "kelab: " << e.what() << " (run 'kelab --help' for usage)\n";
    return 2;
  } catch (const kelab::CommandFailed& failed) {
    return failed.status;
  } catch (const kelabexperiment::StateFileError& e) {
    // what() is the generic text callers have always caught; this says where.
    std::cerr << "kelab: error: " << e.Message() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "kelab: error: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
