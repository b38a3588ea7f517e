// Two processes of one user (two windows of the host, or the host and its
// helper) change the user's file at the same time: every record must survive
// and the file must stay loadable.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kelabexperiment/kelabexperiment.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelcore/serialization/json.h"
#include "kelscripting/threads/ui_thread.h"
#include "testsupport/scoped_feature_service.h"
#include "testsupport/scoped_ui_queue.h"
#include "testsupport/scoped_user_docs_dir.h"
#include "testsupport/spawned_process.h"
#include "testsupport/temp_dir.h"

namespace {

constexpr int kRounds = 200;

testsupport::SpawnedProcess ForceControl(const std::string& docs, const std::string& experiment,
                                         const std::filesystem::path& errorLog) {
  return testsupport::SpawnedProcess(
      {KELAB_PATH, "run", "--docs", docs, "--user", "u", "--experiment", experiment, "--read",
       experiment + "_variation"},
      {{}, errorLog});
}

// What a failed child said, for the failure message.
std::string Said(testsupport::SpawnedProcess& child, const std::filesystem::path& errorLog) {
  return child.Failure() + "; its standard error: " + testsupport::ReadAll(errorLog);
}

TEST(TwoProcessTest, ConcurrentForcedControlKeepsEveryRecord) {
  testsupport::TempDir docs;
  testsupport::TempDir logs;
  const std::string folder = docs.path().u8string();
  const auto stateFile = docs / "Users" / "u" / "ABExperiment";
  for (int round = 0; round < kRounds; ++round) {
    const std::string a = "a" + std::to_string(round);
    const std::string b = "b" + std::to_string(round);
    {
      testsupport::SpawnedProcess first = ForceControl(folder, a, logs / "a.txt");
      testsupport::SpawnedProcess second = ForceControl(folder, b, logs / "b.txt");
      ASSERT_EQ(first.Wait(), 0) << "round " << round << ": " << Said(first, logs / "a.txt");
      ASSERT_EQ(second.Wait(), 0) << "round " << round << ": " << Said(second, logs / "b.txt");
    }
    const auto parsed = kelcore::serialization::JSONParse(
        kelcore::string::FromStd(testsupport::ReadAll(stateFile)));
    const auto* members =
        parsed ? boost::any_cast<kelcore::serialization::JsonObject>(parsed.get()) : nullptr;
    ASSERT_TRUE(members) << "round " << round << ": the file does not load";
    // Every earlier round's two records, and this round's.
    ASSERT_EQ(members->size(), 2u * static_cast<unsigned>(round + 1)) << "round " << round;
    for (const auto& [name, value] : *members) {
      const auto* text = value ? boost::any_cast<kelcore::UTF8String>(value.get()) : nullptr;
      ASSERT_TRUE(text) << kelcore::string::ToStd(name);
      EXPECT_NE(kelcore::string::View(*text).find("\"forced_control\""), std::string::npos);
    }
  }
}

// This host loaded the user before another process (a second window, the
// support tool) assigned an experiment; the host's read of that feature falls
// back, since its memory has no record, but its forced-control save must
// leave the other process's assignment in place, and apply it.
TEST(TwoProcessTest, AFallbackKeepsTheAssignmentAnotherProcessStored) {
  using kelcore::utility::ImmutableString;
  const auto id = [](const char* text) {
    return ImmutableString::Create(kelcore::string::FromStd(text));
  };
  testsupport::TempDir docs;
  testsupport::TempDir logs;
  testsupport::ScopedUserDocsDir docsScope(docs.path());
  testsupport::ScopedFeatureService features;
  testsupport::ScopedUIQueue uiQueue;
  kelabexperiment::RegisterExperimentIdentifier(id("alpha"));
  kelabexperiment::Initialize(id("u"), id("desktop"), id("retail"), false);
  testsupport::SpawnedProcess other(
      {KELAB_PATH, "set", "--create", "--docs", docs.path().u8string(), "--user", "u",
       "--experiment", "alpha", "--variation", "challenger"},
      {{}, logs / "set.txt"});
  ASSERT_EQ(other.Wait(), 0) << Said(other, logs / "set.txt");
  const std::string stored = testsupport::ReadAll(docs / "Users" / "u" / "ABExperiment");
  ASSERT_NE(stored.find("challenger"), std::string::npos) << stored;

  const auto variation = kelcore::string::FromStd("alpha_variation");
  EXPECT_FALSE(kelappsupport::feature::ReadIntFeature(variation, 0).fromOverride);
  EXPECT_EQ(kelscripting::threads::RunPendingUITasks(), 1u);
  EXPECT_EQ(testsupport::ReadAll(docs / "Users" / "u" / "ABExperiment"), stored);
  const auto read = kelappsupport::feature::ReadIntFeature(variation, 0);
  EXPECT_TRUE(read.fromOverride);
  EXPECT_EQ(read.value, 1);  // challenger
}

}  // namespace
