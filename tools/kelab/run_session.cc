#include "run_session.h"

#include <boost/make_shared.hpp>

#include "base/identifier_text.h"
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

namespace kelab {
namespace {

using kelcore::UTF8String;
using kelcore::string::FromStd;
using kelcore::string::ToStd;

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

// A feature read as application code does it: the variation feature as an
// integer, the others as text.
FeatureRead Read(const std::string& name) {
  FeatureRead read;
  read.feature = name;
  const bool isVariation =
      name.size() >= 10 && name.compare(name.size() - 10, 10, "_variation") == 0;
  if (isVariation) {
    const auto result = kelappsupport::feature::ReadIntFeature(FromStd(name), 0);
    read.fromOverride = result.fromOverride;
    read.value = result.value;
  } else {
    const auto result = kelappsupport::feature::ReadStringFeature(FromStd(name), UTF8String());
    read.fromOverride = result.fromOverride;
    read.value = boost::json::string(kelcore::string::View(result.value));
  }
  return read;
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

}  // namespace

void PrepareHost(const RunOptions& o, const std::string& sessionDocuments, RunReport& report) {
  ApplyDebugEntries(o.debugEntries);
  report.documents = o.location.DocumentsFolder();
  report.stateFile = o.location.StateFile();
  report.sessionStateFile = UserStateFile(sessionDocuments, o.location.user);
  kelcore::filesupport::Dir::SetUserDocsDir(kelcore::string::UTF8to16(FromStd(sessionDocuments)));
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
  // The switches as the library read them: the database has not changed since.
  for (const auto& [key, defaultOn] : {std::pair{kelabexperiment::kExperimentsSwitchKey, true},
                                       std::pair{kelabexperiment::kMessagingSwitchKey, true}}) {
    report.switches.push_back({key, kelabexperiment::DescribeFeatureSwitch(key, defaultOn)});
  }
  for (const auto& id : kelabexperiment::GetRegisteredExperimentIdentifiers()) {
    report.registeredExperiments.push_back(ToStd(kelabexperiment::TextOfIdentifier(id).text));
  }
}

void InitializeUser(const RunOptions& o, RunReport& report) {
  report.initializeResult = CallInitialize(o);
  // What the user's file held: initialize loaded it (and refused it when
  // malformed) and changes no record.
  report.before = ReadRecords(report.stateFile);
}

void ReadFeatures(const RunOptions& o, RunReport& report) {
  for (const auto& name : o.reads) {
    const std::size_t queuedBefore = kelscripting::threads::PendingUITaskCount();
    FeatureRead read = Read(name);
    read.updateQueued = kelscripting::threads::PendingUITaskCount() > queuedBefore;
    report.reads.push_back(std::move(read));
  }
  report.updatesRun = kelscripting::threads::RunPendingUITasks();
  const auto overrides = kelappsupport::feature::SnapshotOverrides();
  for (FeatureRead& read : report.reads) {
    const auto it = overrides.find(read.feature);
    if (it == overrides.end()) continue;
    if (const int* n = std::get_if<int>(&it->second.value)) {
      read.now = FeatureValue(*n);
    } else {
      read.now = FeatureValue(boost::json::string(std::get<std::string>(it->second.value)));
    }
  }
}

void CollectRecords(RunReport& report) {
  report.after = ReadRecords(report.sessionStateFile);
  // A save writes an absent text as the empty text it is applied as: that
  // records nothing new.
  const auto same = [](const kelabexperiment::VariationRecord& a,
                       const kelabexperiment::VariationRecord& b) {
    using kelabexperiment::TextOrEmpty;
    return a.variation == b.variation &&
           TextOrEmpty(a.challengerType) == TextOrEmpty(b.challengerType) &&
           TextOrEmpty(a.variationId) == TextOrEmpty(b.variationId) &&
           TextOrEmpty(a.campaignId) == TextOrEmpty(b.campaignId);
  };
  for (const auto& [experiment, record] : report.after) {
    const auto it = report.before.find(experiment);
    if (it == report.before.end() || !same(it->second, record)) {
      report.recorded.emplace(experiment, record);
    }
  }
}

}  // namespace kelab
