// minimal_host: a complete small host of kelabexperiment, built against the
// installed package (find_package(kelabexperiment 0.2), one target linked).
// It goes through what a desktop host does with the library, in order, and
// says what it does at each step (docs/integration.md explains each one):
//
//   1. sets the user's documents folder;
//   2. runs the start-up registry (the module registered itself as it loaded);
//   3. defines the script classes ("ABExperimentScript" among them);
//   4. registers its experiments;
//   5. signs a user in: script code calls initialize on an
//      "ABExperimentScript" object;
//   6. reads features, as application code does;
//   7. runs its UI loop, where the forced-control updates arrive;
//   8. switches to another user and back, then signs out;
//   9. shuts down.
//
// Usage: minimal_host [DOCUMENTS_FOLDER]
// (default: "kelab-minimal-host" in the system's temporary folder). It may run
// again on the same folder: the users' stored assignments then answer from
// the start. Exit status: 0 when every step behaved as the integration guide
// says, 1 when one did not or an error ended the run.

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <boost/make_shared.hpp>

#include "kelabexperiment/errors.h"
#include "kelabexperiment/kelabexperiment.h"
#include "kelabexperiment/version.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelcore/config/initializer_registrar.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/string/conversions.h"
#include "kelscripting/definition/script_definitions.h"
#include "kelscripting/engine/script_calls.h"
#include "kelscripting/factory/script_object_definition_registrar.h"
#include "kelscripting/script_exception.h"
#include "kelscripting/threads/ui_thread.h"

namespace {

using kelcore::UTF8String;
using kelcore::string::FromStd;
using kelcore::string::ToStd;
using kelcore::utility::ImmutableString;
namespace feature = kelappsupport::feature;
namespace ui = kelscripting::threads;

int gFailures = 0;

// Prints a step's outcome; a check that does not hold fails the run.
void Check(bool ok, const std::string& what) {
  if (!ok) {
    ++gFailures;
    std::cout << "  FAILED: " << what << "\n";
  }
}

// How many default-value handlers the library has registered for a feature:
// one for the process's life, however many users sign in (see the guide).
std::size_t Handlers(const char* featureName) {
  return feature::CountNotifications(FromStd(featureName));
}

// A read of an experiment's variation feature, as application code does it,
// with what it set going: whether the default was taken and how many UI tasks
// that queued.
struct VariationRead {
  int value;
  bool fromOverride;
  std::size_t queued;
};

VariationRead ReadVariation(const std::string& experiment) {
  const std::string name = experiment + "_variation";
  const std::size_t before = ui::PendingUITaskCount();
  const auto read = feature::ReadIntFeature(FromStd(name), 0);
  const std::size_t queued = ui::PendingUITaskCount() - before;
  std::cout << "  " << name << " = " << read.value
            << (read.fromOverride ? "  (override)" : "  (default taken)");
  if (queued > 0) {
    std::cout << " -> " << queued << " forced-control update" << (queued == 1 ? "" : "s")
              << " queued for the UI thread";
  }
  std::cout << "\n";
  return {read.value, read.fromOverride, queued};
}

std::string ReadText(const std::string& name) {
  const auto read = feature::ReadStringFeature(FromStd(name), UTF8String());
  std::cout << "  " << name << " = \"" << ToStd(read.value) << "\""
            << (read.fromOverride ? "  (override)" : "  (default taken)") << "\n";
  return ToStd(read.value);
}

// Step 5: what script code does when a user signs in: make an
// "ABExperimentScript" object and call its method initialize. The library runs
// Initialize on this thread and answers true; its errors reach this caller.
void SignIn(const std::string& user) {
  using kelscripting::ScriptValue;
  const auto object = kelscripting::engine::CreateScriptObject(
      *kelscripting::definition::ScriptDefinitions::GetInstance(), FromStd("ABExperimentScript"),
      new kelscripting::ScriptContext(0));
  kelscripting::ScriptArgumentList arguments{
      boost::make_shared<boost::any>(FromStd(user)),       // quillUserID
      boost::make_shared<boost::any>(FromStd("desktop")),  // deviceType (unused)
      boost::make_shared<boost::any>(FromStd("retail")),   // storeType (unused)
      boost::make_shared<boost::any>(false)};              // freeUser (unused)
  const auto call =
      kelscripting::engine::CallScriptMethod(*object, FromStd("initialize"), std::move(arguments));
  const ScriptValue result = kelscripting::GetScriptResult(call.values);
  const bool answered = result && result->type() == typeid(bool) && boost::any_cast<bool>(*result);
  std::cout << "initialize(\"" << user << "\", \"desktop\", \"retail\", false) answered "
            << (answered ? "true" : "something else") << "\n";
  Check(answered, "initialize answers true");
}

// Step 7: one turn of the host's UI loop: runs what is queued, on this
// thread. A forced-control update that cannot save the state file throws
// FileError here, to whoever runs the queue; the loop reports it and goes
// on (the next fallback of the feature tries again).
std::size_t RunUILoop() {
  std::size_t ran = 0;
  while (ui::PendingUITaskCount() > 0) {
    try {
      ran += ui::RunPendingUITasks();
    } catch (const kelabexperiment::FileError& e) {
      std::cout << "  a forced-control update could not be saved: " << e.what() << "\n";
      ++gFailures;
    }
  }
  std::cout << "UI loop ran " << ran << " task" << (ran == 1 ? "" : "s") << "\n";
  return ran;
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A stored assignment, as an earlier session would have left it in the user's
// state file, so that there is one to re-apply. A real host never writes the
// file: the library does, under its lock (see the guide's state-file format).
void SeedAssignment(const std::filesystem::path& docs) {
  const auto file = docs / "Users" / "alice" / "ABExperiment";
  if (std::filesystem::exists(file)) return;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary)
      << R"({"newOnboarding":"{\"campaignId\":\"4711\",\"challengerType\":\"copy\",)"
         R"(\"variation\":\"challenger\",\"variationId\":\"onboarding-b\"}"})";
  std::cout << "seeded " << file.u8string()
            << " with newOnboarding = challenger (as an earlier session left it)\n";
}

int Run(const std::filesystem::path& docs) {
  std::cout << "minimal_host, built against kelabexperiment " << KELABEXPERIMENT_VERSION_STRING
            << "\n\n";

  std::cout << "1. documents folder: " << docs.u8string() << "\n";
  std::filesystem::create_directories(docs);
  kelcore::filesupport::Dir::SetUserDocsDir(kelcore::string::UTF8to16(FromStd(docs.u8string())));
  SeedAssignment(docs);

  // The module registered "kelabexperiment" with the start-up registry and
  // the script class "ABExperimentScript" as it loaded (this program links
  // it, so it loaded before main).
  std::cout << "\n2. start-up registry:";
  bool registered = false;
  for (const auto& entry : kelcore::config::StartupRegistry::List()) {
    std::cout << " " << entry.name;
    registered = registered || entry.name == "kelabexperiment";
  }
  std::cout << "\n";
  Check(registered, "the module registered \"kelabexperiment\" with the start-up registry");
  const bool started = kelcore::config::StartupRegistry::RunAll();
  std::cout << "   RunAll: " << (started ? "every initializer succeeded" : "an initializer failed")
            << "\n";
  Check(started, "the start-up registry's initializers succeed");

  std::cout << "\n3. script definitions: ";
  const std::size_t definers = kelscripting::factory::RunRegisteredDefiners();
  const bool defined = static_cast<bool>(
      kelscripting::definition::ScriptDefinitions::GetInstance()->FindObjectDefinition(
          FromStd("ABExperimentScript")));
  std::cout << definers << " definer" << (definers == 1 ? "" : "s") << " ran; ABExperimentScript "
            << (defined ? "is defined" : "is missing") << "\n";
  Check(defined, "the script class ABExperimentScript is defined");

  // Register before initialize: Initialize watches only registered experiments.
  std::cout << "\n4. registering experiments:";
  kelabexperiment::RegisterExperimentIdentifier(ImmutableString::Create(FromStd("checkoutFlow")));
  kelabexperiment::RegisterExperimentIdentifier(ImmutableString::Create(FromStd("newOnboarding")));
  for (const ImmutableString& id : kelabexperiment::GetRegisteredExperimentIdentifiers()) {
    std::cout << " " << ToStd(id.Text());
  }
  std::cout << "\n";
  Check(kelabexperiment::GetRegisteredExperimentIdentifiers().size() == 2,
        "both experiments are registered (the switch ABExperiment.enable is on)");

  std::cout << "\n5. alice signs in: ";
  SignIn("alice");

  std::cout << "\n6. application code reads features:\n";
  const VariationRead onboarding = ReadVariation("newOnboarding");
  Check(onboarding.fromOverride && onboarding.value == 1,
        "the stored challenger assignment answers newOnboarding_variation = 1");
  Check(ReadText("newOnboarding_variationId") == "onboarding-b", "the stored variationId answers");
  Check(ReadText("newOnboarding_campaignId") == "4711", "the stored campaignId answers");
  const VariationRead checkout = ReadVariation("checkoutFlow");
  if (!checkout.fromOverride) {
    Check(checkout.queued == Handlers("checkoutFlow_variation"),
          "a fallback queues one update per registered handler");
  } else {
    Check(checkout.value == 3, "an earlier run forced checkoutFlow to control for alice");
  }

  std::cout << "\n7. the UI loop: ";
  RunUILoop();
  const VariationRead forced = ReadVariation("checkoutFlow");
  Check(forced.fromOverride && forced.value == 3,
        "after the UI loop, checkoutFlow_variation answers 3 (forced_control) for alice");
  ReadText("checkoutFlow_variationId");

  std::cout << "\n8. user switch: bob signs in: ";
  SignIn("bob");
  std::cout << "   alice's overrides are withdrawn; bob's own file answers:\n";
  const VariationRead bob = ReadVariation("checkoutFlow");
  std::cout << "   handlers for checkoutFlow_variation: " << Handlers("checkoutFlow_variation")
            << " (one per feature, however many sign-ins)\n";
  Check(Handlers("checkoutFlow_variation") == 1, "two initialize calls left one handler");
  if (!bob.fromOverride) Check(bob.queued == 1, "bob's one fallback queued one update");
  std::cout << "   ";
  RunUILoop();
  Check(ReadVariation("checkoutFlow").value == 3, "bob is now in forced control as well");

  std::cout << "   alice signs in again: ";
  SignIn("alice");
  const VariationRead againOnboarding = ReadVariation("newOnboarding");
  const VariationRead againCheckout = ReadVariation("checkoutFlow");
  Check(againOnboarding.value == 1 && againCheckout.value == 3,
        "alice's stored assignments answer again");
  Check(Handlers("checkoutFlow_variation") == 1, "three initialize calls left one handler");

  // There is no sign-out call: Initialize with the empty user identifier
  // withdraws the previous user's overrides and uses no file.
  std::cout << "   alice signs out (initialize with the empty user identifier): ";
  SignIn("");
  const auto signedOut =
      feature::ReadStringFeature(FromStd("newOnboarding_variationId"), FromStd("(default)"));
  std::cout << "  newOnboarding_variationId = \"" << ToStd(signedOut.value) << "\""
            << (signedOut.fromOverride ? "  (override)" : "  (default taken)") << "\n";
  Check(!signedOut.fromOverride, "alice's overrides are withdrawn at sign-out");

  // Shutdown: refuse new UI tasks (a late fallback on another thread queues
  // nothing then), run what is still queued (an update for the empty user
  // changes memory only), and run the start-up registry's shutdown callbacks.
  // The module stays mapped until the process ends: the first Initialize
  // pinned it, because the feature service keeps its handlers.
  std::cout << "\n9. shutdown: the UI queue closes, ";
  ui::SetUIThreadAcceptsTasks(false);
  RunUILoop();
  kelcore::config::StartupRegistry::ShutdownAll();
  std::cout << "   start-up registry shut down\n";

  std::cout << "\nstate files:\n";
  for (const char* user : {"alice", "bob"}) {
    const auto file = docs / "Users" / user / "ABExperiment";
    const std::string text = FileText(file);
    std::cout << "  " << file.u8string() << ": " << text << "\n";
    Check(text.find(R"(\"variation\":\"forced_control\")") != std::string::npos,
          std::string(user) + "'s file records checkoutFlow as forced_control");
  }

  std::cout << "\n" << (gFailures == 0 ? "minimal_host: OK" : "minimal_host: FAILED") << "\n";
  return gFailures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    std::cerr << "usage: minimal_host [DOCUMENTS_FOLDER]\n";
    return 2;
  }
  const std::filesystem::path docs =
      argc == 2 ? std::filesystem::u8path(argv[1])
                : std::filesystem::temp_directory_path() / "kelab-minimal-host";
  // The library's errors, as a host tells them apart (docs/integration.md).
  try {
    return Run(docs);
  } catch (const kelabexperiment::StateFileError& e) {
    std::cerr << "minimal_host: malformed state file: " << e.Message() << "\n";
  } catch (const kelabexperiment::InvalidUserIdentifierError& e) {
    std::cerr << "minimal_host: " << e.what() << "\n";
  } catch (const kelscripting::ScriptException& e) {
    std::cerr << "minimal_host: script call failed: " << e.what() << "\n";
  } catch (const kelabexperiment::FileError& e) {
    std::cerr << "minimal_host: file error: " << e.what() << "\n";
  } catch (const std::exception& e) {
    std::cerr << "minimal_host: " << e.what() << "\n";
  }
  return 1;
}
