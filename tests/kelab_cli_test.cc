// The kelab tool as a user runs it: commands, output, exit statuses.

#include <gtest/gtest.h>

#include "testsupport/run_process.h"
#include "testsupport/temp_dir.h"

namespace {

using testsupport::ProcessResult;

class KelabCliTest : public ::testing::Test {
 protected:
  ProcessResult Kelab(const std::string& arguments) {
    return testsupport::RunProcess(std::string("\"") + KELAB_PATH + "\" " + arguments, scratch_);
  }
  std::string Docs() const { return "\"" + docs_.path().string() + "\""; }
  std::filesystem::path StateFile(const std::string& user) const {
    return docs_ / "Users" / user / "ABExperiment";
  }
  void WriteState(const std::string& user, const std::string& text) {
    std::filesystem::create_directories(StateFile(user).parent_path());
    testsupport::WriteAll(StateFile(user), text);
  }

  testsupport::TempDir docs_;
  testsupport::TempDir scratch_;
};

const char kState[] = R"({"checkout":"{\"campaignId\":\"12\",\"challengerType\":\"copy\",)"
                      R"(\"variation\":\"challenger\",\"variationId\":\"v-12\"}",)"
                      R"("onboarding":"{\"variation\":\"CONTROL\"}"})";

TEST_F(KelabCliTest, ShowPrintsTheStoredAssignmentsAsTableAndJson) {
  WriteState("alice", kState);
  ProcessResult r = Kelab("show --user alice --docs " + Docs());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("checkout    challenger (1)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("onboarding  intended_control (0)  none"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(absent)"), std::string::npos) << r.out;

  r = Kelab("show --json --file \"" + StateFile("alice").string() + "\"");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            R"([{"experiment":"checkout","variation":"challenger","variationValue":1,)"
            R"("challengerType":"copy","variationId":"v-12","campaignId":"12"},)"
            R"({"experiment":"onboarding","variation":"intended_control","variationValue":0,)"
            R"("challengerType":"none","variationId":null,"campaignId":null}])"
            "\n");

  r = Kelab("show --user nobody --docs " + Docs());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("no stored assignments"), std::string::npos);
}

TEST_F(KelabCliTest, EveryCommandGivesTheSameReasonForABadFileAndLeavesItAlone) {
  WriteState("good", kState);
  ProcessResult r = Kelab("check --user good --docs " + Docs());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("OK, 2 assignments"), std::string::npos) << r.out;

  // What follows the path on the one line each command prints.
  const std::pair<std::string, std::string> bad[] = {
      {"{\"e\":\"{}\"", " at byte 9: the document ends before it is complete"},
      {"[]", " at byte 0: the top level is not a JSON object"},
      {"{} x", " at byte 3: content after the end of the document"},
      {R"({"e":1e999})", " at byte 10: a number beyond the range of a double"},
      {R"({"a":"{}", "e" : {}})",
       R"(, member "e" at byte 17: the value is an object; expected a string holding the record)"},
      {R"({"e":"{\"campaignId\":12}"})",
       R"(, member "e" at byte 5: record member "campaignId" is a number; expected a string)"},
      {R"({"e":"nope"})",
       R"(, member "e" at byte 5: the record is not a JSON object: syntax error at byte 0 of )"
       "the record"},
  };
  for (const auto& [text, reason] : bad) {
    WriteState("bad", text);
    const std::string ending = "ABExperiment'" + reason + "\n";
    std::string first;
    for (const std::string command : {"check", "show", "run"}) {
      r = Kelab(command + " --user bad --docs " + Docs());
      EXPECT_EQ(r.status, 1) << command << " " << text;
      EXPECT_EQ(r.err.rfind("kelab: error: state file '", 0), 0u) << r.err;
      ASSERT_GE(r.err.size(), ending.size());
      EXPECT_EQ(r.err.substr(r.err.size() - ending.size()), ending) << command;
      if (first.empty()) first = r.err;
      EXPECT_EQ(r.err, first) << command;
    }
    EXPECT_EQ(testsupport::ReadAll(StateFile("bad")), text);
  }
}

TEST_F(KelabCliTest, RunRecordsForcedControlForAFeatureThatFellBack) {
  WriteState("demo", R"({"checkout":"{\"variation\":\"challenger\",\"variationId\":\"b\"}"})");
  ProcessResult r = Kelab("run --docs " + Docs() +
                          " --user demo --experiment checkout --experiment onboarding"
                          " --read checkout_variation --read onboarding_variation");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("returned true"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("checkout_variation = 1  (override)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("onboarding_variation = 0  (default taken) -> forced-control update queued"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("UI thread ran 1 update."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("onboarding_variation = 3\n"), std::string::npos) << r.out;
  EXPECT_NE(testsupport::ReadAll(StateFile("demo")).find(R"(\"variation\":\"forced_control\")"),
            std::string::npos);

  // The next session finds the forced record: nothing falls back any more.
  r = Kelab("run --docs " + Docs() +
            " --user demo --experiment onboarding --read onboarding_variation");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("onboarding_variation = 3  (override)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("UI thread ran 0 updates."), std::string::npos) << r.out;
}

TEST_F(KelabCliTest, RunHonoursTheExperimentSwitch) {
  const ProcessResult r = Kelab("run --docs " + Docs() +
                                " --user u --debug-entry ABExperiment.enable=false"
                                " --experiment exp --read exp_variation");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Registered experiments:\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("UI thread ran 0 updates."), std::string::npos) << r.out;
}

TEST_F(KelabCliTest, EveryCommandRefusesTheIdentifiersTheLibraryRefuses) {
  for (const std::string user : {"../escape", "CON", "com9.txt", "a:b"}) {
    for (const std::string command : {"check", "show", "run"}) {
      const ProcessResult r = Kelab(command + " --docs " + Docs() + " --user \"" + user + "\"");
      EXPECT_EQ(r.status, 2) << command << " " << user;
      EXPECT_NE(r.err.find("cannot be used as a folder name"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(docs_.path())) << user;
  }
}

TEST_F(KelabCliTest, BadUsageExitsWithTwoAndOneClearLine) {
  for (const std::string& args :
       {std::string(""), std::string("frobnicate"), std::string("show"),
        std::string("show --user a --file b"), std::string("check --nonsense")}) {
    const ProcessResult r = Kelab(args);
    EXPECT_EQ(r.status, 2) << args << ": " << r.err;
    EXPECT_EQ(r.err.rfind("kelab: ", 0), 0u) << args << ": " << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_TRUE(r.out.empty()) << args;
  }
  const ProcessResult help = Kelab("show --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Examples:"), std::string::npos) << help.out;
}

}  // namespace
