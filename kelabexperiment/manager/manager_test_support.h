#pragma once

// Shared fixture of the manager's tests: a scratch documents folder, a clean
// feature service and UI queue, and a manager of the test's own. The
// identifier registry is the process's: tests register identifiers with
// their own prefixes.

#include <string>

#include <gtest/gtest.h>

#include "manager/ab_experiment_manager.h"
#include "registry/identifier_registry.h"
#include "testsupport/printers.h"
#include "testsupport/scoped_feature_service.h"
#include "testsupport/scoped_ui_queue.h"
#include "testsupport/scoped_user_docs_dir.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment {

inline UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }
inline ImmutableString Id(std::string_view text) { return ImmutableString::Create(T(text)); }

class ManagerTest : public ::testing::Test {
 protected:
  static void Register(std::string_view id) {
    IdentifierRegistry::Instance().RegisterExperiment(Id(id));
  }
  int Initialize(std::string_view user) {
    return manager_.Initialize(Id(user), Id("desktop"), Id("web"), false);
  }
  void Update(DataSourceType type, const char* id, const char* variation = "",
              const char* ids = "") {
    manager_.UpdateFromDataSource(type, T(id), T(variation), T(ids));
  }
  std::filesystem::path StateFile(const std::string& user) const {
    return docs_ / "Users" / user / "ABExperiment";
  }
  void WriteStateFile(const std::string& user, const std::string& text) const {
    std::filesystem::create_directories(StateFile(user).parent_path());
    testsupport::WriteAll(StateFile(user), text);
  }
  const ExperimentStore::RecordMap* Records() const {
    return manager_.WithStore([](const ExperimentStore* s) { return s ? &s->Records() : nullptr; });
  }

  testsupport::TempDir docs_;
  testsupport::ScopedUserDocsDir docsScope_{docs_.path()};
  ABExperimentManager manager_;
  // After the manager: queued updates and handlers point at it, so they go
  // first (the queue runs before the service is emptied).
  testsupport::ScopedFeatureService features_;
  testsupport::ScopedUIQueue uiQueue_;
};

}  // namespace kelabexperiment
