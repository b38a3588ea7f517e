#include <iostream>
#include <memory>
#include <optional>

#include "assignment_table.h"
#include "backups.h"
#include "commands.h"
#include "dry_run_copy.h"
#include "kelcore/string/conversions.h"
#include "output.h"
#include "run_session.h"
#include "text_validator.h"

namespace kelab {
namespace {

std::string Shown(const FeatureValue& value) {
  if (value.is_string()) return "\"" + Printable(std::string(value.get_string())) + "\"";
  return boost::json::serialize(value);
}

void PrintSwitches(const RunReport& report) {
  for (const SwitchReport& s : report.switches) {
    if (s.state.on) continue;
    std::cout << (s.key == std::string(kelabexperiment::kExperimentsSwitchKey) ? "Experiment"
                                                                               : "In-app message")
              << " registration is off: debug entry " << s.key;
    if (s.state.hasEntry) std::cout << " = \"" << Printable(s.state.text) << "\"";
    std::cout << ": " << s.state.reason << ".\n";
  }
}

void PrintPrepared(const RunReport& report) {
  std::cout << "Documents folder: " << Printable(report.documents) << "\n";
  PrintSwitches(report);
  std::cout << "Registered experiments:";
  for (const auto& id : report.registeredExperiments) std::cout << " " << Printable(id);
  std::cout << "\n";
}

void PrintInitialized(const RunOptions& o, const RunReport& report) {
  std::cout << "initialize(\"" << Printable(o.location.user) << "\", \"" << Printable(o.deviceType)
            << "\", \"" << Printable(o.storeType) << "\", " << (o.freeUser ? "true" : "false")
            << ") returned " << (report.initializeResult ? "true" : "false") << "\n";
}

void PrintReads(const RunReport& report) {
  if (!report.reads.empty()) std::cout << "\nFeature reads:\n";
  for (const FeatureRead& read : report.reads) {
    std::cout << "  " << Printable(read.feature) << " = " << Shown(read.value) << "  ("
              << (read.fromOverride ? "override" : "default taken") << ")"
              << (read.updateQueued ? " -> forced-control update queued" : "") << "\n";
  }
  std::cout << "\nUI thread ran " << report.updatesRun << " update"
            << (report.updatesRun == 1 ? "" : "s") << ".\n";
  if (report.reads.empty()) return;
  std::cout << "\nFeatures now:\n";
  for (const FeatureRead& read : report.reads) {
    std::cout << "  " << Printable(read.feature) << " = "
              << (read.now ? Shown(*read.now) : std::string("(no override)")) << "\n";
  }
}

void PrintRecords(const RunOptions& o, const RunReport& report) {
  if (o.dryRun) {
    std::cout << "\nDry run: nothing was written. This session would record:\n";
    PrintAssignmentTable(std::cout, report.recorded);
    std::cout << "\nStored assignments in " << Printable(report.stateFile) << " (unchanged):\n";
    PrintAssignmentTable(std::cout, report.before);
    return;
  }
  std::cout << "\nStored assignments in " << Printable(report.stateFile) << ":\n";
  PrintAssignmentTable(std::cout, report.after);
  if (!report.backup.empty()) {
    std::cout << "The previous file is kept as " << Printable(report.backup) << ".\n";
  }
}

void PrintJson(const RunOptions& o, const RunReport& report) {
  boost::json::array switches;
  for (const SwitchReport& s : report.switches) {
    switches.push_back(
        {{"key", s.key},
         {"entry", s.state.hasEntry ? JsonText(s.state.text) : boost::json::value(nullptr)},
         {"on", s.state.on},
         {"reason",
          s.state.on ? boost::json::value(nullptr) : boost::json::value(s.state.reason)}});
  }
  boost::json::array reads;
  for (const FeatureRead& read : report.reads) {
    reads.push_back(
        boost::json::object{{"feature", read.feature},
                            {"value", read.value},
                            {"fromOverride", read.fromOverride},
                            {"updateQueued", read.updateQueued},
                            {"override", read.now ? *read.now : boost::json::value(nullptr)}});
  }
  boost::json::array registered;
  for (const auto& id : report.registeredExperiments) registered.push_back(boost::json::string(id));
  PrintJsonResult("run", {{"documents", report.documents},
                          {"user", o.location.user},
                          {"stateFile", report.stateFile},
                          {"dryRun", o.dryRun},
                          {"switches", std::move(switches)},
                          {"registeredExperiments", std::move(registered)},
                          {"initializeResult", report.initializeResult},
                          {"reads", std::move(reads)},
                          {"updatesRun", report.updatesRun},
                          {"recorded", AssignmentsJson(report.recorded)},
                          {"assignments", AssignmentsJson(o.dryRun ? report.before : report.after)},
                          {"backup", report.backup.empty() ? boost::json::value(nullptr)
                                                           : boost::json::value(report.backup)}});
}

void Run(const RunOptions& o) {
  // A dry run's session works on a copy of the user's file (DryRunCopy).
  std::optional<DryRunCopy> copy;
  if (o.dryRun) copy.emplace(o.location.StateFile(), o.location.user);

  // The session's own saves are the library's; the file as it was before
  // is kept as a backup generation when the session changes it.
  std::optional<SessionBackup> backup;
  if (!o.dryRun) backup.emplace(o.location.StateFile());

  RunReport report;
  PrepareHost(o, copy ? copy->Documents() : o.location.DocumentsFolder(), report);
  if (!o.json) PrintPrepared(report);
  InitializeUser(o, report);
  if (!o.json) PrintInitialized(o, report);
  ReadFeatures(o, report);
  if (backup) report.backup = backup->Keep();
  CollectRecords(report);
  ReportAfterWrite(!o.dryRun && !report.recorded.empty(), [&] {
    if (!o.json) PrintReads(report);
    if (o.json) {
      PrintJson(o, report);
    } else {
      PrintRecords(o, report);
    }
  });
}

}  // namespace

void AddRunCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "run", "One host session: register, initialize through the script engine, read features");
  command->footer(
      "With --dry-run the session runs as usual but writes nothing: the user's folder and\n"
      "file are not created, and what the session would record is reported.\n"
      "Examples:\n"
      "  kelab run --docs /tmp/docs --user alice --experiment checkout \\\n"
      "            --read checkout_variation --read checkout_variationId\n"
      "  kelab run --docs /tmp/docs --user alice --experiment checkout --read checkout_variation "
      "--dry-run\n"
      "  kelab run --user bob --debug-entry ABExperiment.enable=false --experiment checkout\n");
  auto o = std::make_shared<RunOptions>();
  o->location.AddOptions(*command, false);
  command->get_option("--user")->required();
  command->add_option("--device-type", o->deviceType, "Device type passed to initialize")
      ->capture_default_str()
      ->check(kUtf8Text);
  command->add_option("--store-type", o->storeType, "Store type passed to initialize")
      ->capture_default_str()
      ->check(kUtf8Text);
  command->add_flag("--free-user", o->freeUser, "Pass freeUser = true to initialize");
  command->add_option("--experiment", o->experiments, "Register an experiment (repeatable)")
      ->check(kUtf8Text);
  command->add_option("--messaging", o->messaging, "Register an in-app message (repeatable)")
      ->check(kUtf8Text);
  command
      ->add_option("--debug-entry", o->debugEntries,
                   "Set a debug-database entry KEY=VALUE before the library reads it")
      ->check(kUtf8Text);
  command
      ->add_option("--read", o->reads,
                   "Read a feature after initialize (repeatable); *_variation as integer")
      ->check(kUtf8Text);
  command->add_flag("--dry-run", o->dryRun, "Write nothing; report what would be recorded");
  AddJsonFlag(*command, o->json);
  command->callback([o] { Run(*o); });
}

}  // namespace kelab
