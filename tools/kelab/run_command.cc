#include <iostream>
#include <memory>
#include <vector>

#include <boost/make_shared.hpp>

#include "assignment_table.h"
#include "commands.h"
#include "kelabexperiment/kelabexperiment.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelcore/config/initializer_registrar.h"
#include "kelcore/debug/debug_database.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/string/conversions.h"
#include "kelscripting/definition/script_definitions.h"
#include "kelscripting/engine/script_calls.h"
#include "kelscripting/factory/script_object_definition_registrar.h"
#include "kelscripting/threads/ui_thread.h"
#include "state_location.h"

namespace kelab {
namespace {

using kelcore::UTF8String;
using kelcore::string::FromStd;
using kelcore::string::ToStd;

struct RunOptions {
  StateLocation location;
  std::string deviceType = "desktop";
  std::string storeType = "retail";
  bool freeUser = false;
  std::vector<std::string> experiments;
  std::vector<std::string> messaging;
  std::vector<std::string> debugEntries;
  std::vector<std::string> reads;
};

// A feature read as application code does it: the variation feature as an
// integer, the others as text. Returns the value as printed.
std::string ReadFeature(const std::string& name, bool& fromOverride) {
  const bool isVariation =
      name.size() >= 10 && name.compare(name.size() - 10, 10, "_variation") == 0;
  if (isVariation) {
    const auto read = kelappsupport::feature::ReadIntFeature(FromStd(name), 0);
    fromOverride = read.fromOverride;
    return std::to_string(read.value);
  }
  const auto read = kelappsupport::feature::ReadStringFeature(FromStd(name), UTF8String());
  fromOverride = read.fromOverride;
  return "\"" + ToStd(read.value) + "\"";
}

std::string OverrideText(const kelappsupport::feature::OverrideValue& value) {
  if (const int* n = std::get_if<int>(&value.value)) return std::to_string(*n);
  return "\"" + std::get<std::string>(value.value) + "\"";
}

void ApplyDebugEntries(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    const auto eq = entry.find('=');
    if (eq == std::string::npos || eq == 0) {
      throw CLI::ValidationError("--debug-entry", "'" + entry + "' is not KEY=VALUE");
    }
    kelcore::debug::DebugDatabase::Instance().SetEntry(FromStd(entry.substr(0, eq)),
                                                       FromStd(entry.substr(eq + 1)));
  }
}

// Calls initialize on a new ABExperimentScript object, as script code does.
bool CallInitialize(const RunOptions& o) {
  using kelscripting::ScriptValue;
  kelscripting::factory::RunRegisteredDefiners();
  const auto object = kelscripting::engine::CreateScriptObject(
      *kelscripting::definition::ScriptDefinitions::GetInstance(), FromStd("ABExperimentScript"),
      new kelscripting::ScriptContext(0));
  kelscripting::ScriptArgumentList arguments{
      boost::make_shared<boost::any>(FromStd(o.location.user)),
      boost::make_shared<boost::any>(FromStd(o.deviceType)),
      boost::make_shared<boost::any>(FromStd(o.storeType)),
      boost::make_shared<boost::any>(o.freeUser)};
  const auto result =
      kelscripting::engine::CallScriptMethod(*object, FromStd("initialize"), std::move(arguments));
  const ScriptValue value = kelscripting::GetScriptResult(result.values);
  return value && value->type() == typeid(bool) && boost::any_cast<bool>(*value);
}

void Run(const RunOptions& o) {
  const auto stateFile = o.location.StateFile();
  ApplyDebugEntries(o.debugEntries);
  const auto docs = o.location.DocumentsFolder();
  kelcore::filesupport::Dir::SetUserDocsDir(kelcore::string::UTF8to16(FromStd(docs.u8string())));
  // The host's own start-up, which runs the library's registered initializer.
  if (!kelcore::config::StartupRegistry::RunAll()) {
    throw std::runtime_error("a start-up initializer failed");
  }

  using kelcore::utility::ImmutableString;
  for (const auto& id : o.experiments) {
    kelabexperiment::RegisterExperimentIdentifier(ImmutableString::Create(FromStd(id)));
  }
  for (const auto& id : o.messaging) {
    kelabexperiment::RegisterMessagingIdentifier(ImmutableString::Create(FromStd(id)));
  }
  std::cout << "Documents folder: " << docs.u8string() << "\n";
  std::cout << "Registered experiments:";
  for (const auto& id : kelabexperiment::GetRegisteredExperimentIdentifiers()) {
    std::cout << " " << kelcore::string::View(id.Text());
  }
  std::cout << "\n";

  const bool initialized = CallInitialize(o);
  std::cout << "initialize(\"" << o.location.user << "\", \"" << o.deviceType << "\", \""
            << o.storeType << "\", " << (o.freeUser ? "true" : "false") << ") returned "
            << (initialized ? "true" : "false") << "\n";

  if (!o.reads.empty()) std::cout << "\nFeature reads:\n";
  for (const auto& name : o.reads) {
    const std::size_t queuedBefore = kelscripting::threads::PendingUITaskCount();
    bool fromOverride = false;
    const std::string value = ReadFeature(name, fromOverride);
    std::cout << "  " << name << " = " << value << "  ("
              << (fromOverride ? "override" : "default taken") << ")";
    if (kelscripting::threads::PendingUITaskCount() > queuedBefore) {
      std::cout << " -> forced-control update queued";
    }
    std::cout << "\n";
  }
  const std::size_t ran = kelscripting::threads::RunPendingUITasks();
  std::cout << "\nUI thread ran " << ran << " update" << (ran == 1 ? "" : "s") << ".\n";

  if (!o.reads.empty()) {
    std::cout << "\nFeatures now:\n";
    const auto overrides = kelappsupport::feature::SnapshotOverrides();
    for (const auto& name : o.reads) {
      auto it = overrides.find(name);
      std::cout << "  " << name << " = "
                << (it == overrides.end() ? "(no override)" : OverrideText(it->second)) << "\n";
    }
  }

  std::cout << "\nStored assignments in " << stateFile.u8string() << ":\n";
  PrintAssignmentTable(std::cout, ReadRecords(stateFile));
}

}  // namespace

void AddRunCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "run", "One host session: register, initialize through the script engine, read features");
  command->footer(
      "Examples:\n"
      "  kelab run --docs /tmp/docs --user alice --experiment checkout \\\n"
      "            --read checkout_variation --read checkout_variationId\n"
      "  kelab run --user bob --debug-entry ABExperiment.enable=false --experiment checkout\n");
  auto o = std::make_shared<RunOptions>();
  command->add_option("--docs", o->location.docs, "Documents folder (default: the platform's)");
  command->add_option("--user", o->location.user, "User identifier")->required();
  command->add_option("--device-type", o->deviceType, "Device type passed to initialize")
      ->capture_default_str();
  command->add_option("--store-type", o->storeType, "Store type passed to initialize")
      ->capture_default_str();
  command->add_flag("--free-user", o->freeUser, "Pass freeUser = true to initialize");
  command->add_option("--experiment", o->experiments, "Register an experiment (repeatable)");
  command->add_option("--messaging", o->messaging, "Register an in-app message (repeatable)");
  command->add_option("--debug-entry", o->debugEntries,
                      "Set a debug-database entry KEY=VALUE before the library reads it");
  command->add_option("--read", o->reads,
                      "Read a feature after initialize (repeatable); *_variation as integer");
  command->callback([o] { Run(*o); });
}

}  // namespace kelab
