// Two processes of one user (two windows of the host, or the host and its
// helper) force control of different experiments at the same moment: every
// record must survive and the file must stay loadable.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kelcore/serialization/json_text_members.h"
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
    const auto members = kelcore::serialization::JSONParseTextMembers(
        kelcore::string::FromStd(testsupport::ReadAll(stateFile)));
    ASSERT_TRUE(members) << "round " << round << ": the file does not load";
    // Every earlier round's two records, and this round's.
    ASSERT_EQ(members->size(), 2u * static_cast<unsigned>(round + 1)) << "round " << round;
    for (const auto& member : *members) {
      ASSERT_TRUE(member.text);
      EXPECT_NE(kelcore::string::View(*member.text).find("\"forced_control\""), std::string::npos);
    }
  }
}

}  // namespace
