#pragma once

// Shared fixture of the manager's tests: a scratch documents folder, a clean
// feature service and UI queue, and a manager of the test's own. The
// identifier registry is the process's: tests register identifiers with
// their own prefixes.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kelappsupport/feature/feature_inspection.h"
#include "kelcore/filesupport/dir.h"
#include "kelscripting/threads/ui_thread.h"
#include "manager/ab_experiment_manager.h"
#include "registry/identifier_registry.h"
#include "testsupport/printers.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment {

inline UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }
inline ImmutableString Id(std::string_view text) { return ImmutableString::Create(T(text)); }

class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kelappsupport::feature::ResetFeatureService();
    kelcore::filesupport::Dir::SetUserDocsDir(testsupport::Wide(docs_.path()));
    manager_ = std::make_unique<ABExperimentManager>();
  }
  void TearDown() override {
    // Handlers and queued updates point at the manager: drop them first.
    kelappsupport::feature::ResetFeatureService();
    while (kelscripting::threads::PendingUITaskCount() > 0) {
      kelscripting::threads::RunPendingUITasks();
    }
    manager_.reset();
    kelcore::filesupport::Dir::SetUserDocsDir(UTF16String());
  }

  static void Register(std::string_view id) {
    IdentifierRegistry::Instance().RegisterExperiment(Id(id));
  }
  int Initialize(std::string_view user) {
    return manager_->Initialize(Id(user), Id("desktop"), Id("web"), false);
  }
  std::filesystem::path StateFile(const std::string& user) const {
    return docs_ / "Users" / user / "ABExperiment";
  }
  // The calls recorded for features whose names start with `prefix`, as
  // "kind name" lines.
  static std::vector<std::string> CallsFor(const kelappsupport::feature::ScopedCallRecorder& r,
                                           const std::string& prefix) {
    using Kind = kelappsupport::feature::FeatureCall::Kind;
    std::vector<std::string> out;
    for (const auto& call : r.Calls()) {
      if (call.name.compare(0, prefix.size(), prefix) != 0) continue;
      const char* kind = call.kind == Kind::kRemove     ? "remove "
                         : call.kind == Kind::kRegister ? "watch "
                                                        : "set ";
      out.push_back(kind + call.name);
    }
    return out;
  }
  static bool HasOverride(const std::string& feature) {
    return kelappsupport::feature::SnapshotOverrides().count(feature) != 0;
  }
  const ExperimentStore::RecordMap* Records() const {
    return manager_->WithStore(
        [](const ExperimentStore* s) { return s ? &s->Records() : nullptr; });
  }

  testsupport::TempDir docs_;
  std::unique_ptr<ABExperimentManager> manager_;
};

}  // namespace kelabexperiment
