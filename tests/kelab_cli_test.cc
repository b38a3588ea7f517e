// The kelab tool as a user runs it: commands, output, exit statuses
// (docs/kelab.md). Every run names its documents folder inside the test's own
// temporary folders, and the platform's documents folder points at one too.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <vector>

#include "testsupport/run_process.h"
#include "testsupport/scoped_environment.h"
#include "testsupport/temp_dir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::ProcessResult;
using Args = std::vector<std::string>;

const char kState[] = R"({"checkout":"{\"campaignId\":\"12\",\"challengerType\":\"copy\",)"
                      R"(\"variation\":\"challenger\",\"variationId\":\"v-12\"}",)"
                      R"("onboarding":"{\"variation\":\"CONTROL\"}"})";
const char kCheckoutJson[] =
    R"({"experiment":"checkout","variation":"challenger","variationValue":1,)"
    R"("challengerType":"copy","variationId":"v-12","campaignId":"12"})";
const char kOnboardingJson[] =
    R"({"experiment":"onboarding","variation":"intended_control","variationValue":0,)"
    R"("challengerType":"none","variationId":null,"campaignId":null})";
// Every command that reads a user's state file, with what it needs besides.
const Args kStateCommands[] = {{"check"},
                               {"show"},
                               {"run"},
                               {"set", "--experiment", "e", "--variation", "challenger"},
                               {"remove", "--experiment", "e"},
                               {"reset"}};
// A name outside ASCII and outside the Basic Multilingual Plane.
const char kWideName[] = "zo\xC3\xAB\xF0\x9F\x98\x80";  // zoë😀

// `text` as a JSON string's content.
std::string Json(const std::string& text) {
  std::string out;
  for (char c : text) out += (c == '\\' || c == '"') ? std::string{'\\', c} : std::string(1, c);
  return out;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

Args With(Args args, const Args& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// The backup files beside a state file, oldest first, with their content.
std::vector<std::pair<std::string, std::string>> BackupFiles(const std::filesystem::path& state) {
  std::vector<std::pair<std::string, std::string>> backups;
  for (const auto& entry : std::filesystem::directory_iterator(state.parent_path())) {
    const std::string name = entry.path().filename().u8string();
    if (name.rfind("ABExperiment.bak-", 0) == 0) {
      backups.emplace_back(name, testsupport::ReadAll(entry.path()));
    }
  }
  std::sort(backups.begin(), backups.end());
  return backups;
}

class KelabCliTest : public ::testing::Test {
 protected:
  // kelab with `args`; with `program` false, args[0] is the program to run.
  ProcessResult Kelab(const Args& args, bool mergeErrors = false, bool program = true) {
    return testsupport::RunProcess(program ? With({KELAB_PATH}, args) : args, scratch_,
                                   mergeErrors);
  }
  // `command` for `user` under the documents folder, then `more`.
  ProcessResult Kelab(const std::string& command, const std::string& user, const Args& more = {}) {
    return Kelab(With({command, "--docs", Docs(), "--user", user}, more));
  }
  std::string Docs() const { return docs_.path().u8string(); }
  std::filesystem::path StateFile(const std::string& user) const {
    return docs_.path() / "Users" / std::filesystem::u8path(user) / "ABExperiment";
  }
  std::string StatePath(const std::string& user) const { return StateFile(user).u8string(); }
  void WriteState(const std::string& user, const std::string& text) {
    std::filesystem::create_directories(StateFile(user).parent_path());
    testsupport::WriteAll(StateFile(user), text);
  }
  // The JSON a command prints on success: the common members, then `members`.
  static std::string Result(const std::string& command, const std::string& members) {
    return R"({"schema":1,"command":")" + command + R"(","exitCode":0,"error":null,)" + members +
           "}\n";
  }

  testsupport::TempDir docs_;
  testsupport::TempDir scratch_;
  testsupport::TempDir platformDocs_;
  testsupport::ScopedEnvironmentVariable platformDocsVariable_{
      "KEL_USER_DOCS_DIR", platformDocs_.path().u8string().c_str()};
};

TEST_F(KelabCliTest, ShowAndCheckReadAStateFileAsTheLibraryDoes) {
  WriteState("alice", kState);
  ProcessResult r = Kelab("show", "alice");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Stored assignments in " + StatePath("alice") +
                ":\n"
                "  EXPERIMENT  VARIATION             CHALLENGER TYPE  VARIATION ID  CAMPAIGN ID\n"
                "  checkout    challenger (1)        copy             v-12          12\n"
                "  onboarding  intended_control (0)  none             (absent)      (absent)\n");
  r = Kelab("check", "alice");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, StatePath("alice") + ": OK, 2 assignments\n");

  const std::string assignments = R"(,"exists":true,"assignments":[)" + std::string(kCheckoutJson) +
                                  "," + kOnboardingJson + "]";
  for (const std::string command : {"show", "check"}) {
    r = Kelab({command, "--json", "--file", StatePath("alice")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Result(command, R"("stateFile":")" + Json(StatePath("alice")) +
                                         R"(","user":null)" + assignments));
  }

  // A missing file in a user's folder is what the library reads as no
  // assignments: the same answer from both commands, by user or by path.
  std::filesystem::create_directories(StateFile("nobody").parent_path());
  const std::string missing = StatePath("nobody");
  for (const Args& args : {Args{"show", "--docs", Docs(), "--user", "nobody"},
                           Args{"check", "--docs", Docs(), "--user", "nobody"},
                           Args{"show", "--file", missing}, Args{"check", "--file", missing}}) {
    r = Kelab(args);
    EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
    EXPECT_THAT(r.out, HasSubstr(missing));
    r = Kelab(With(args, {"--json"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr(R"(,"exists":false,"assignments":[]})"));
  }
  EXPECT_TRUE(std::filesystem::is_empty(StateFile("nobody").parent_path()));
}

TEST_F(KelabCliTest, EveryCommandGivesTheSameReasonForABadFileAndLeavesItAlone) {
  // What follows the path on the one line each command prints.
  const std::pair<std::string, std::string> bad[] = {
      {"{\"e\":\"{}\"", " at byte 9: the document ends before it is complete"},
      {"[]", " at byte 0: the top level is not a JSON object"},
      {"{} x", " at byte 3: content after the end of the document"},
      {R"({"e":1e999})", " at byte 5: a number beyond the range of a double"},
      {R"({"a":"{}", "e" : {}})",
       R"(, member "e" at byte 17: the value is an object; expected a string holding the record)"},
      {R"({"e":"{\"campaignId\":12}"})",
       R"(, member "e" at byte 5: record member "campaignId" is a number; expected a string)"},
      {R"({"e":"{nope}"})",
       R"(, member "e" at byte 5: the record is not a JSON object: expected a member name at )"
       "byte 1 of the record"},
  };
  for (const auto& [text, reason] : bad) {
    WriteState("bad", text);
    const std::string ending = "ABExperiment'" + reason + "\n";
    std::string first;
    for (const Args& command : kStateCommands) {
      if (command[0] == "reset") continue;  // it repairs a bad file, tested below
      const ProcessResult r = Kelab(command[0], "bad", Args(command.begin() + 1, command.end()));
      EXPECT_EQ(r.status, 1) << command[0] << " " << text;
      EXPECT_EQ(r.err.rfind("kelab: error: state file '", 0), 0u) << r.err;
      ASSERT_GE(r.err.size(), ending.size());
      EXPECT_EQ(r.err.substr(r.err.size() - ending.size()), ending) << command[0];
      if (first.empty()) first = r.err;
      EXPECT_EQ(r.err, first) << command[0];
    }
    EXPECT_EQ(testsupport::ReadAll(StateFile("bad")), text);
    EXPECT_TRUE(BackupFiles(StateFile("bad")).empty());
  }

  // With --json the same error is an object on standard output.
  WriteState("bad", "[]");
  ProcessResult r = Kelab("check", "bad", {"--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.rfind(R"({"schema":1,"command":"check","exitCode":1,"error":{"kind":"state",)"
                        R"("message":"state file ')",
                        0),
            0u)
      << r.out;
  EXPECT_THAT(r.out, HasSubstr(R"(,"member":null,"offset":0,)"
                               R"("reason":"the top level is not a JSON object"}}
)"));

  // With both streams in one, the error is the last line, after the output it follows.
  r = Kelab({"run", "--docs", Docs(), "--user", "bad", "--experiment", "e"}, true);
  EXPECT_EQ(r.status, 1);
  const std::size_t error = r.out.find("kelab: error: state file '");
  EXPECT_NE(error, std::string::npos) << r.out;
  EXPECT_LT(r.out.find("Registered experiments: e\n"), error) << r.out;
  EXPECT_EQ(r.out.find('\n', error), r.out.size() - 1) << "last: " << r.out;
}

TEST_F(KelabCliTest, RunRecordsForcedControlAndADryRunOnlySaysWhatItWouldRecord) {
  const Args session{"--experiment", "checkout",           "--experiment", "onboarding",
                     "--read",       "checkout_variation", "--read",       "onboarding_variation"};
  // A dry run for a user without a folder creates nothing.
  ProcessResult r = Kelab("run", "fresh", With(session, {"--dry-run"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out,
              HasSubstr("Dry run: nothing was written. This session would record:\n"
                        "  EXPERIMENT  VARIATION           CHALLENGER TYPE  VARIATION ID    "
                        "CAMPAIGN ID\n"
                        "  checkout    forced_control (3)  none             forced_control\n"
                        "  onboarding  forced_control (3)  none             forced_control\n"));
  EXPECT_TRUE(std::filesystem::is_empty(docs_.path()));

  const char stored[] = R"({"checkout":"{\"variation\":\"challenger\",\"variationId\":\"b\"}"})";
  WriteState("demo", stored);
  r = Kelab("run", "demo", With(session, {"--dry-run", "--json"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr(R"("dryRun":true,)"));
  EXPECT_THAT(r.out, HasSubstr(R"("reads":[{"feature":"checkout_variation","value":1,)"
                               R"("fromOverride":true,"updateQueued":false,"override":1},)"
                               R"({"feature":"onboarding_variation","value":0,)"
                               R"("fromOverride":false,"updateQueued":true,"override":3}],)"
                               R"("updatesRun":1,"recorded":[{"experiment":"onboarding",)"
                               R"("variation":"forced_control","variationValue":3,)"
                               R"("challengerType":"none","variationId":"forced_control",)"
                               R"("campaignId":""}],"assignments":[{"experiment":"checkout",)"));
  EXPECT_EQ(testsupport::ReadAll(StateFile("demo")), stored);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(StateFile("demo").parent_path()),
                          std::filesystem::directory_iterator()),
            1);  // no lock file, no temporary, no backup

  r = Kelab("run", "demo", session);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("returned true"));
  EXPECT_THAT(r.out, HasSubstr("checkout_variation = 1  (override)"));
  EXPECT_THAT(
      r.out,
      HasSubstr("onboarding_variation = 0  (default taken) -> forced-control update queued"));
  EXPECT_THAT(r.out, HasSubstr("UI thread ran 1 update."));
  EXPECT_THAT(r.out, HasSubstr("onboarding_variation = 3\n"));
  EXPECT_THAT(testsupport::ReadAll(StateFile("demo")),
              HasSubstr(R"(\"variation\":\"forced_control\")"));

  // The next session finds the forced record: nothing falls back any more.
  r = Kelab("run", "demo", {"--experiment", "onboarding", "--read", "onboarding_variation"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("onboarding_variation = 3  (override)"));
  EXPECT_THAT(r.out, HasSubstr("UI thread ran 0 updates."));
}

TEST_F(KelabCliTest, RunSaysWhichSwitchEntryTurnsRegistrationOffAndWhy) {
  const std::string line = "Experiment registration is off: debug entry ABExperiment.enable = ";
  const struct {
    const char* fileLine;    // a line of the KEL_DEBUG_DATABASE file, or null
    const char* debugEntry;  // a --debug-entry, or null
    std::string said;        // the line run prints; empty: registration is on
  } cases[] = {
      {"ABExperiment.enable = true", nullptr,
       line + "\" true\": the text \" true\" has blanks around true; only the exact text "
              "\"true\" turns it on.\n"},
      {nullptr, "ABExperiment.enable=false", line + "\"false\": the text is \"false\".\n"},
      {"ABExperiment.enable=true", nullptr, ""},
  };
  testsupport::TempDir settings;
  for (const auto& c : cases) {
    testsupport::WriteAll(settings / "debug.txt", c.fileLine ? c.fileLine + std::string("\n") : "");
    testsupport::ScopedEnvironmentVariable database("KEL_DEBUG_DATABASE",
                                                    (settings / "debug.txt").u8string().c_str());
    Args args{"--experiment", "exp", "--read", "exp_variation", "--dry-run"};
    if (c.debugEntry) args.insert(args.end(), {"--debug-entry", c.debugEntry});
    const ProcessResult r = Kelab("run", "u", args);
    ASSERT_EQ(r.status, 0) << r.err;
    if (c.said.empty()) {
      EXPECT_THAT(r.out, Not(HasSubstr("registration is off")));
      EXPECT_THAT(r.out, HasSubstr("Registered experiments: exp\n"));
    } else {
      EXPECT_THAT(r.out, HasSubstr(c.said + "Registered experiments:\n"));
      EXPECT_THAT(r.out, HasSubstr("UI thread ran 0 updates."));
    }
  }
}

TEST_F(KelabCliTest, EveryCommandRefusesTheIdentifiersTheLibraryRefuses) {
  for (const std::string user : {"../escape", "CON", "com9.txt", "a:b"}) {
    for (const Args& command : kStateCommands) {
      const ProcessResult r = Kelab(command[0], user, Args(command.begin() + 1, command.end()));
      EXPECT_EQ(r.status, 2) << command[0] << " " << user;
      EXPECT_THAT(r.err, HasSubstr("cannot be used as a folder name"));
    }
    EXPECT_TRUE(std::filesystem::is_empty(docs_.path())) << user;
  }
}

TEST_F(KelabCliTest, BadUsageExitsWithTwoAndOneLineThatNamesTheProblem) {
  const std::string docs = Docs();
  const struct {
    Args args;
    std::string said;
  } cases[] = {
      {{},
       "a command is required: users, show, check, run, set, remove, reset, backups, diff, "
       "restore"},
      {{"bogus"}, "unknown command 'bogus'"},
      {{"show"}, "--user or --file is required"},
      {{"show", "--user", "a", "--file", "b"}, "--user excludes --file"},
      {{"check", "--nonsense"}, "--nonsense"},
      {{"users", "--docs", ""}, "--docs: an empty path names no folder or file"},
      {{"show", "--docs", "", "--user", "u"}, "--docs: an empty path"},
      {{"show", "--file", ""}, "--file: an empty path"},
      {{"run", "--docs", docs, "--user", "u", "--debug-entry", "novalue"}, "is not KEY=VALUE"},
      {{"set", "--docs", docs, "--user", "u", "--experiment", "e", "--variation", "winner"},
       "'winner' is none of intended_control, control, challenger, disqualified, forced_control"},
      {{"set", "--docs", docs, "--user", "u", "--experiment", "e", "--variation", "challenger",
        "--campaign-id", "4294967296"},
       "'4294967296' is not a 32-bit number"},
      {{"set", "--docs", docs, "--user", "u", "--experiment", "", "--variation", "challenger"},
       "an empty experiment identifier"},
      {{"remove", "--docs", docs, "--user", "u"}, "--experiment is required"},
  };
  for (const auto& c : cases) {
    const std::string shown = c.args.empty() ? "(none)" : c.args[0];
    const ProcessResult r = Kelab(c.args);
    EXPECT_EQ(r.status, 2) << shown << ": " << r.err;
    EXPECT_EQ(r.err.rfind("kelab: ", 0), 0u) << shown << ": " << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.said)) << shown;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_TRUE(r.out.empty()) << shown;
  }
  EXPECT_TRUE(std::filesystem::is_empty(docs_.path()));
  EXPECT_TRUE(std::filesystem::is_empty(platformDocs_.path()));

  ProcessResult r = Kelab({"bogus", "--json"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, R"({"schema":1,"command":null,"exitCode":2,"error":{"kind":"usage",)"
                   R"("message":"unknown command 'bogus'; the commands are users, show, check, )"
                   R"(run, set, remove, reset, backups, diff, restore","path":null,"member":null,)"
                   R"("offset":null,)"
                   R"("reason":null}})"
                   "\n");
  r = Kelab({"show", "--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("Examples:"));
}

TEST_F(KelabCliTest, WhatIsNotThereIsAnErrorOfItsOwnThatNamesTheClosest) {
  WriteState("alice", kState);
  std::filesystem::create_directories(StateFile("bob").parent_path());  // a folder, no file yet
  testsupport::WriteAll(docs_.path() / "plain", "");
  const std::string docs = Docs();
  const std::string typo = (docs_.path() / "dcos").u8string();
  const std::string plain = (docs_.path() / "plain").u8string();
  const std::string aliceFile = StatePath("alice");
  const Args setChallenger{"--variation", "challenger"};
  const struct {
    Args args;
    std::string said;  // the error line, after "kelab: error: "
  } cases[] = {
      {{"show", "--docs", typo, "--user", "alice"},
       "documents folder '" + typo + "' does not exist"},
      {{"users", "--docs", typo}, "documents folder '" + typo + "' does not exist"},
      {{"users", "--docs", plain}, "documents folder '" + plain + "' is not a folder"},
      {{"check", "--file", (docs_.path() / "nope" / "ABExperiment").u8string()},
       "the folder of --file '" + (docs_.path() / "nope").u8string() + "' does not exist"},
      {{"show", "--docs", docs, "--user", "alcie"},
       "user 'alcie' has no folder in " + (docs_.path() / "Users").u8string() +
           "; did you mean 'alice'?"},
      {{"reset", "--docs", docs, "--user", "bbo"},
       "user 'bbo' has no folder in " + (docs_.path() / "Users").u8string() +
           "; did you mean 'bob'?"},
      {{"remove", "--docs", docs, "--user", "alice", "--experiment", "chekout"},
       "no record of 'chekout' in " + aliceFile + "; did you mean 'checkout'?"},
      {{"remove", "--docs", docs, "--user", "alice", "--experiment", "x"},
       "no record of 'x' in " + aliceFile + "; did you mean 'checkout'?"},
      {{"remove", "--docs", docs, "--user", "alice", "--experiment", "checkboardin"},
       "no record of 'checkboardin' in " + aliceFile +
           "; did you mean 'checkout' or 'onboarding'?"},
      {{"remove", "--docs", docs, "--user", "bob", "--experiment", "checkout"},
       "no record of 'checkout' in " + StatePath("bob") + "; there are none"},
      {With({"set", "--docs", docs, "--user", "alice", "--experiment", "onbording"}, setChallenger),
       "no record of 'onbording' in " + aliceFile +
           "; did you mean 'onboarding'? (--create makes it)"},
      {With({"set", "--docs", docs, "--user", "hnak", "--experiment", "checkout"}, setChallenger),
       "user 'hnak' has no folder in " + (docs_.path() / "Users").u8string() +
           "; did you mean 'bob'? (--create makes it)"},
      {With({"set", "--docs", typo, "--user", "alice", "--experiment", "checkout"}, setChallenger),
       "documents folder '" + typo + "' does not exist (--create makes it)"},
  };
  for (const auto& c : cases) {
    ProcessResult r = Kelab(c.args);
    EXPECT_EQ(r.status, 3) << c.args[0] << ": " << r.err;
    EXPECT_THAT(r.err, HasSubstr("kelab: error: " + c.said + "\n")) << c.args[0];
    r = Kelab(With(c.args, {"--json"}));
    EXPECT_EQ(r.out.rfind(R"({"schema":1,"command":")" + c.args[0] +
                              R"(","exitCode":3,"error":{"kind":"missing","message":")",
                          0),
              0u)
        << r.out;
  }
  // Nothing was created or changed: no backup, no temporary (the lock file
  // is the library's, and stays as after any save).
  EXPECT_FALSE(std::filesystem::exists(typo));
  EXPECT_EQ(testsupport::ReadAll(StateFile("alice")), kState);
  for (const auto& entry : std::filesystem::directory_iterator(StateFile("alice").parent_path())) {
    EXPECT_THAT(entry.path().filename().u8string(),
                ::testing::AnyOf("ABExperiment", "ABExperiment.lock"));
  }
  EXPECT_TRUE(std::filesystem::is_empty(StateFile("bob").parent_path()));

  // --create is what makes a new user, documents folder or record.
  ProcessResult r = Kelab(With(
      {"set", "--docs", typo, "--user", "hnak", "--experiment", "e", "--create"}, setChallenger));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(Kelab({"show", "--docs", typo, "--user", "hnak"}).out,
              HasSubstr("  e           challenger (1)  none\n"));
}

TEST_F(KelabCliTest, ValuesThatAreOptionsAndJsonVersionAreAsDocumented) {
  WriteState("alice", kState);
  const struct {
    Args args;
    int status;
    std::string out;  // standard output, whole
  } cases[] = {
      {{"show", "--docs", Docs(), "--user", "--json"},
       2,
       R"x({"schema":1,"command":"show","exitCode":2,"error":{"kind":"usage","message":)x"
       R"x("--user needs a value, and '--json' is an option (for a value of that text, write )x"
       R"x(--user=--json)","path":null,"member":null,"offset":null,"reason":null}})x"
       "\n"},
      {{"set", "--user", "alice", "--experiment", "e", "--variation", "--create", "--docs", Docs()},
       2,
       ""},
  };
  for (const auto& c : cases) {
    const ProcessResult r = Kelab(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.back() << ": " << r.err;
    EXPECT_EQ(r.out, c.out);
    if (c.status == 2) {
      EXPECT_THAT(r.err, HasSubstr(" needs a value, and '--"));
    }
  }
  EXPECT_EQ(testsupport::ReadAll(StateFile("alice")), kState);

  // --json --version: the release that --version prints, as JSON.
  const std::string text = Kelab({"--version"}).out;
  ASSERT_EQ(text.rfind("kelab 0.", 0), 0u) << text;
  const ProcessResult r = Kelab({"--json", "--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, R"({"schema":1,"command":null,"exitCode":0,"error":null,"version":")" +
                       text.substr(6, text.size() - 7) + "\"}\n");
}

#ifndef _WIN32  // argument bytes reach a Windows program as UTF-16; /dev/full and a closed
                // descriptor are POSIX

TEST_F(KelabCliTest, EveryTextArgumentMustBeUtf8) {
  const std::string bad = "e\xFF";
  for (const Args& args :
       {Args{"--experiment", bad}, Args{"--messaging", bad}, Args{"--read", bad + "_variation"},
        Args{"--debug-entry", bad + "=1"}, Args{"--device-type", bad}, Args{"--store-type", bad}}) {
    const ProcessResult r = Kelab("run", "u", args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_THAT(r.err, HasSubstr(args[0] + ": the text is not valid UTF-8")) << args[0];
  }
  const ProcessResult r = Kelab("remove", "u", {"--experiment", bad});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(std::filesystem::is_empty(docs_.path()));
}

TEST_F(KelabCliTest, OutputThatCannotBeWrittenIsAFailure) {
  WriteState("alice", kState);
  const std::string docs = Docs();
  const struct {
    const char* redirect;  // of the shell that starts kelab
    Args args;
    int status;
    std::string said;
  } cases[] = {
      {">/dev/full", {"show", "--docs", docs, "--user", "alice"}, 1, ": No space left on device"},
      {">/dev/full", {"show", "--docs", docs, "--user", "alice", "--json"}, 1, ""},
      {">/dev/full", {"users", "--docs", docs, "--json"}, 1, ""},
      {">/dev/full", {"--help"}, 1, ""},
      {">/dev/full", {"show", "--help"}, 1, ""},
      {">/dev/full", {"--json", "--version"}, 1, ""},
      // The failure's own status stands, and both lines are written.
      {">/dev/full", {"bogus", "--json"}, 2, ""},
      {">&-", {"show", "--docs", docs, "--user", "alice", "--json"}, 1, ""},
      {">&-", {"check", "--docs", docs, "--user", "alice"}, 1, ""},
  };
  for (const auto& c : cases) {
    const ProcessResult r =
        Kelab(With({"/bin/sh", "-c", std::string("exec \"$0\" \"$@\" ") + c.redirect, KELAB_PATH},
                   c.args),
              false, false);
    EXPECT_EQ(r.status, c.status) << c.redirect << " " << c.args[0] << ": " << r.err;
    EXPECT_THAT(r.err, HasSubstr("kelab: error: cannot write standard output" + c.said))
        << c.args[0];
  }
  // A change that was made while its report could not be written: exit 1, the change kept.
  ProcessResult r = Kelab({"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full", KELAB_PATH, "reset",
                           "--docs", docs, "--user", "alice"},
                          false, false);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(testsupport::ReadAll(StateFile("alice")), "{}");
  // A closed standard output is not reused for the files kelab opens.
  r = Kelab({"/bin/sh", "-c", "exec \"$0\" \"$@\" >&-", KELAB_PATH, "set", "--docs", docs, "--user",
             "alice", "--experiment", "e", "--variation", "challenger", "--create"},
            false, false);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(
      testsupport::ReadAll(StateFile("alice")),
      R"({"e":"{\"campaignId\":\"\",\"challengerType\":\"none\",\"variation\":\"challenger\",)"
      R"(\"variationId\":\"\"}"})");
}

#endif

TEST_F(KelabCliTest, SetRemoveAndResetChangeTheFileThroughTheLibraryKeepingABackup) {
  // A documents folder and a user outside ASCII and outside the BMP.
  const std::string docs = (docs_.path() / std::filesystem::u8path("d\xC3\xB6k\xC3\xBC"
                                                                   "\xF0\x9F\x93\x81"))
                               .u8string();
  const std::string user = kWideName;
  const std::string file =
      (std::filesystem::u8path(docs) / "Users" / std::filesystem::u8path(user) / "ABExperiment")
          .u8string();
  const auto kelab = [&](Args args) {
    args.insert(args.begin() + 1, {"--docs", docs, "--user", user, "--json"});
    return Kelab(args);
  };
  const std::string head = R"("stateFile":")" + Json(file) + R"(","user":")" + user +
                           R"(","exists":true,"assignments":[)";
  const std::string backup = R"(,"backup":")" + Json(file) + ".bak-";  // then sequence, time
  const std::string challenger =
      R"({"experiment":"checkout","variation":"challenger","variationValue":1,)"
      R"("challengerType":"copy","variationId":"b","campaignId":"4711"})";
  const std::string forced =
      R"({"experiment":"checkout","variation":"forced_control","variationValue":3,)"
      R"("challengerType":"copy","variationId":"b","campaignId":"4711"})";
  const std::string onboarding =
      R"({"experiment":"onboarding","variation":"disqualified","variationValue":2,)"
      R"("challengerType":"none","variationId":"","campaignId":""})";
  const struct {
    Args args;
    std::string json;  // the members after the common ones
  } steps[] = {
      // A new user: folders and file created, nothing to back up.
      {{"set", "--experiment", "checkout", "--variation", "challenger", "--challenger-type", "copy",
        "--variation-id", "b", "--campaign-id", "4711", "--create"},
       head + challenger + R"(],"changed":true,"backup":null)"},
      // Texts not given are kept.
      {{"set", "--experiment", "checkout", "--variation", "FORCED_CONTROL"},
       head + forced + "],\"changed\":true" + backup},
      {{"set", "--experiment", "checkout", "--variation", "forced_control"},
       head + forced + R"(],"changed":false,"backup":null)"},
      {{"set", "--experiment", "onboarding", "--variation", "disqualified", "--create"},
       head + forced + "," + onboarding + "],\"changed\":true" + backup},
      {{"remove", "--experiment", "checkout"}, head + onboarding + "],\"changed\":true" + backup},
      {{"reset"}, head + "],\"changed\":true" + backup},
      {{"reset"}, head + R"(],"changed":false,"backup":null)"},
  };
  std::string previous = R"(,"exists":false,"assignments":[]})";
  for (const auto& step : steps) {
    ProcessResult r = kelab(step.args);
    ASSERT_EQ(r.status, 0) << step.args[0] << ": " << r.err;
    const std::string expected = Result(step.args[0], step.json);
    if (Contains(step.json, ".bak-")) {
      EXPECT_EQ(r.out.rfind(expected.substr(0, expected.size() - 2), 0), 0u) << r.out;
    } else {
      EXPECT_EQ(r.out, expected) << step.args[0];
    }
    // The backup holds the file as it was before the last change.
    const std::string now =
        step.json.substr(step.json.find(R"(,"exists")"),
                         step.json.find(R"(,"changed")") - step.json.find(R"(,"exists")")) +
        "}";
    if (Contains(step.json, "\"changed\":true")) {
      const auto backups = BackupFiles(std::filesystem::u8path(file));
      if (Contains(step.json, "\"backup\":null")) {
        EXPECT_TRUE(backups.empty());
      } else {
        ASSERT_FALSE(backups.empty());
        const std::string newest =
            (std::filesystem::u8path(file).parent_path() / backups.back().first).u8string();
        EXPECT_THAT(Kelab({"show", "--json", "--file", newest}).out, HasSubstr(previous))
            << step.args[0];
      }
      previous = now;
    }
    EXPECT_THAT(Kelab({"show", "--json", "--docs", docs, "--user", user}).out, HasSubstr(now));
  }

  // The text form, and the folders and user working for every command.
  ProcessResult r = Kelab({"set", "--docs", docs, "--user", user, "--experiment", "checkout",
                           "--variation", "challenger", "--create"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind(
                "Set checkout in " + file + ".\nThe previous file is kept as " + file + ".bak-", 0),
            0u)
      << r.out;
  EXPECT_THAT(r.out, HasSubstr("Z.\nStored assignments now:\n"
                               "  EXPERIMENT  VARIATION       CHALLENGER TYPE  VARIATION ID  "
                               "CAMPAIGN ID\n"
                               "  checkout    challenger (1)  none\n"));
  r = Kelab({"run", "--docs", docs, "--user", user, "--experiment", "checkout", "--read",
             "checkout_variation"});
  EXPECT_THAT(r.out, HasSubstr("checkout_variation = 1  (override)")) << r.err;
  r = Kelab({"check", "--docs", docs, "--user", user});
  EXPECT_EQ(r.out, file + ": OK, 1 assignment\n") << r.err;
  r = Kelab({"users", "--docs", docs});
  EXPECT_THAT(r.out, HasSubstr("  " + user + "  1\n")) << r.err;
}

TEST_F(KelabCliTest, EveryChangeKeepsABackupRotatedOnlyAfterItSucceeded) {
  const std::regex name("ABExperiment\\.bak-[0-9]{6}-20[0-9]{6}T[0-9]{6}Z");
  std::vector<std::string> before;  // the file before each change
  for (int i = 1; i <= 7; ++i) {
    before.push_back(std::filesystem::exists(StateFile("u")) ? testsupport::ReadAll(StateFile("u"))
                                                             : "");
    const ProcessResult r = Kelab("set", "u",
                                  {"--experiment", "e" + std::to_string(i), "--variation",
                                   "challenger", "--create", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto backups = BackupFiles(StateFile("u"));
    // The first change had no file to keep; then one a change, five at most.
    ASSERT_EQ(backups.size(), std::min(i - 1, 5)) << i;
    if (i == 1) {
      EXPECT_THAT(r.out, HasSubstr(R"("backup":null)"));
      continue;
    }
    EXPECT_THAT(r.out, HasSubstr(R"("backup":")" + Json(StatePath("u")) + ".bak-"));
    for (const auto& [file, text] : backups) EXPECT_TRUE(std::regex_match(file, name)) << file;
    for (std::size_t b = 0; b < backups.size(); ++b) {  // the newest five, in order
      EXPECT_EQ(backups[b].second, before[before.size() - backups.size() + b]) << i << " " << b;
    }
  }

  // A change that fails (the result would be over the size limit) leaves
  // the file and every backup as they were.
  const std::string large =
      R"({"big":"{\"variationId\":\")" + std::string(64 * 1024 * 1024 - 700, 'x') + R"(\"}"})";
  testsupport::WriteAll(StateFile("u"), large);
  const auto kept = BackupFiles(StateFile("u"));
  ProcessResult r = Kelab("set", "u",
                          {"--experiment", "more", "--variation", "challenger", "--create",
                           "--variation-id", std::string(1000, 'x')});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("limit"));
  EXPECT_TRUE(BackupFiles(StateFile("u")) == kept);  // not printed: 64 MiB
  EXPECT_EQ(std::filesystem::file_size(StateFile("u")), large.size());

  // reset of a file over the limit moves it aside (a rename: no copy, and
  // no backup generation that rotation could remove).
  std::filesystem::resize_file(StateFile("u"), std::uintmax_t{64} * 1024 * 1024 + 1);
  r = Kelab("reset", "u", {"--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out,
              HasSubstr(R"("changed":true,"backup":")" + Json(StatePath("u")) + ".unreadable-"));
  EXPECT_TRUE(BackupFiles(StateFile("u")) == kept);
  int asides = 0;
  for (const auto& entry : std::filesystem::directory_iterator(StateFile("u").parent_path())) {
    if (entry.path().filename().u8string().rfind("ABExperiment.unreadable-", 0) == 0) {
      EXPECT_EQ(entry.file_size(), std::uintmax_t{64} * 1024 * 1024 + 1);
      ++asides;
    }
  }
  EXPECT_EQ(asides, 1);

  // run's own saves are backed up too, and a session that records nothing
  // keeps no backup.
  const std::string empty = testsupport::ReadAll(StateFile("u"));
  r = Kelab("run", "u", {"--experiment", "x", "--read", "x_variation", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr(R"("backup":")" + Json(StatePath("u")) + ".bak-"));
  auto backups = BackupFiles(StateFile("u"));
  ASSERT_EQ(backups.size(), 5u);
  EXPECT_EQ(backups.back().second, empty);
  r = Kelab("run", "u", {"--experiment", "x", "--read", "x_variation", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr(R"("backup":null)"));
  EXPECT_EQ(BackupFiles(StateFile("u")), backups);
}

TEST_F(KelabCliTest, DiffAndRestoreUseAChosenBackupAndARestoreIsBackedUpToo) {
  const Args create{"--variation", "challenger", "--create"};
  ASSERT_EQ(Kelab("set", "u", With({"--experiment", "checkout"}, create)).status, 0);
  ASSERT_EQ(Kelab("set", "u", With({"--experiment", "onboarding"}, create)).status, 0);
  ASSERT_EQ(Kelab("set", "u", {"--experiment", "checkout", "--variation", "forced_control"}).status,
            0);
  const std::string now = testsupport::ReadAll(StateFile("u"));
  const auto assignment = [](const std::string& experiment, const std::string& variation,
                             int value) {
    return R"({"experiment":")" + experiment + R"(","variation":")" + variation +
           R"(","variationValue":)" + std::to_string(value) +
           R"(,"challengerType":"none","variationId":"","campaignId":""})";
  };
  const std::string challenger = assignment("checkout", "challenger", 1);
  const std::string forced = assignment("checkout", "forced_control", 3);
  const std::string onboarding = assignment("onboarding", "challenger", 1);
  const auto backups = BackupFiles(StateFile("u"));
  ASSERT_EQ(backups.size(), 2u);
  const std::string files = R"("stateFile":")" + Json(StatePath("u")) + R"(","backupFile":")";
  const std::string newest = Json((StateFile("u").parent_path() / backups[1].first).u8string());
  const std::string older = Json((StateFile("u").parent_path() / backups[0].first).u8string());

  const struct {
    Args args;
    std::string json;  // the members after the common ones
  } cases[] = {
      {{"diff"},
       files + newest +
           R"(","added":[],"removed":[],"changed":[{"experiment":"checkout","before":)" +
           challenger + R"(,"after":)" + forced + "}]"},
      {{"diff", "--generation", "2"},
       files + older + R"(","added":[)" + onboarding +
           R"(],"removed":[],"changed":[{"experiment":"checkout","before":)" + challenger +
           R"(,"after":)" + forced + "}]"},
      // What the restore would change: the other way round.
      {{"restore", "--generation", "2", "--dry-run"},
       files + older + R"(","added":[],"removed":[)" + onboarding +
           R"(],"changed":[{"experiment":"checkout","before":)" + forced + R"(,"after":)" +
           challenger + R"(}],"dryRun":true)"},
  };
  for (const auto& c : cases) {
    const ProcessResult r =
        Kelab(c.args[0], "u", With(Args(c.args.begin() + 1, c.args.end()), {"--json"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Result(c.args[0], c.json)) << c.args[0];
  }
  EXPECT_EQ(testsupport::ReadAll(StateFile("u")), now);  // diff and a dry run write nothing
  EXPECT_EQ(BackupFiles(StateFile("u")), backups);

  ProcessResult r = Kelab("restore", "u", {"--generation", "2", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out,
              HasSubstr(R"("assignments":[)" + challenger + R"(],"changed":true,"backup":")"));
  EXPECT_EQ(testsupport::ReadAll(StateFile("u")), backups[0].second);
  // The restore kept the file it replaced: restoring that undoes it.
  const auto after = BackupFiles(StateFile("u"));
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after.back().second, now);
  r = Kelab("restore", "u", {"--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::ReadAll(StateFile("u")), now);
  r = Kelab("restore", "u", {"--generation", "2", "--json"});  // the file it replaced: the same
  EXPECT_THAT(r.out, HasSubstr(R"("changed":false,"backup":null)"));

  r = Kelab("backups", "u", {"--json"});
  EXPECT_THAT(r.out, HasSubstr(R"(,"backups":[{"generation":1,"time":")"));
  EXPECT_THAT(r.out, HasSubstr(R"("},{"generation":4,"time":")"));
  r = Kelab("diff", "u", {"--generation", "9"});
  EXPECT_EQ(r.status, 3);
  EXPECT_THAT(r.err, HasSubstr("no backup generation 9 of " + StatePath("u") + "; there are 4\n"));
  r = Kelab("restore", "u", {"--generation", "0"});
  EXPECT_EQ(r.status, 2);
}

TEST_F(KelabCliTest, CheckAllFindsEveryProblemUnderTheDocumentsFolderAndChangesNothing) {
  WriteState("alice", kState);
  std::filesystem::create_directories(StateFile("new").parent_path());  // nothing yet: fine
  ProcessResult r = Kelab({"check", "--all", "--docs", Docs()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "User folders under " + (docs_.path() / "Users").u8string() +
                       ":\n"
                       "  FOLDER  STATE\n"
                       "  alice   OK, 2 assignments\n"
                       "  new     OK, 0 assignments\n");

  const struct {
    const char* folder;
    std::vector<std::pair<const char*, const char*>> files;  // name, content
    std::string problem;
  } cases[] = {
      {"broken", {{"ABExperiment", "[]"}}, "at byte 0: the top level is not a JSON object"},
      {"crashed",
       {{"ABExperiment", "{}"},
        {"ABExperiment.lock", ""},
        {"ABExperiment.tmp-0123456789abcdef", "{"}},
       "stale temporary: ABExperiment.tmp-0123456789abcdef"},
      {"nolock", {{"ABExperiment.tmp-0123456789abcdef", ""}}, "stale temporary: "},
      {"lockonly",
       {{"ABExperiment.lock", ""}},
       "stale lock: ABExperiment.lock without a state file"},
#ifndef _WIN32  // Windows cannot make a folder of that name
      {"CON", {}, "not a user: user identifier \"CON\" cannot be used as a folder name"},
#endif
  };
  for (const auto& c : cases) {
    const auto folder = docs_.path() / "Users" / c.folder;
    std::filesystem::create_directories(folder);
    for (const auto& [name, text] : c.files) testsupport::WriteAll(folder / name, text);
    r = Kelab({"check", "--all", "--docs", Docs()});
    EXPECT_EQ(r.status, 1) << c.folder;
    EXPECT_THAT(r.out, HasSubstr("\n  " + std::string(c.folder))) << r.out;
    EXPECT_THAT(r.out, HasSubstr(c.problem)) << c.folder;
    EXPECT_THAT(r.err, HasSubstr(" under " + (docs_.path() / "Users").u8string() + "\n"));
    r = Kelab({"check", "--all", "--json", "--docs", Docs()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.out.rfind(R"({"schema":1,"command":"check","exitCode":1,"error":{"kind":"state",)", 0),
        0u)
        << r.out;
    EXPECT_THAT(r.out, HasSubstr(R"({"folder":"alice","stateFile":")" + Json(StatePath("alice")) +
                                 R"(","assignments":2,"problems":[]})"));
    std::filesystem::remove_all(folder);  // one problem at a time
  }
  // Nothing is repaired, and no lock file made: the files are as they were.
  const auto folder = docs_.path() / "Users" / "crashed";
  std::filesystem::create_directories(folder);
  testsupport::WriteAll(folder / "ABExperiment.tmp-0123456789abcdef", "{");
  r = Kelab({"check", "--all", "--docs", Docs()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(testsupport::ReadAll(folder / "ABExperiment.tmp-0123456789abcdef"), "{");
  EXPECT_FALSE(std::filesystem::exists(folder / "ABExperiment.lock"));

  r = Kelab({"check", "--all", "--docs", (docs_.path() / "nope").u8string()});
  EXPECT_EQ(r.status, 3);
  r = Kelab({"check", "--all", "--docs", Docs(), "--user", "alice"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("--user excludes --all"));
}

TEST_F(KelabCliTest, ResetRepairsAMalformedFileByMovingItAside) {
  WriteState("broken", "{oops");
  const ProcessResult r = Kelab("reset", "broken");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("Reset to {} in " + StatePath("broken") + ".\n"));
  EXPECT_EQ(testsupport::ReadAll(StateFile("broken")), "{}");
  EXPECT_THAT(r.out,
              HasSubstr("The previous file is kept as " + StatePath("broken") + ".unreadable-"));
  EXPECT_TRUE(BackupFiles(StateFile("broken")).empty());
  int asides = 0;  // moved aside, as the library moves a file it cannot read
  for (const auto& entry : std::filesystem::directory_iterator(StateFile("broken").parent_path())) {
    if (entry.path().filename().u8string().rfind("ABExperiment.unreadable-", 0) == 0) {
      EXPECT_EQ(testsupport::ReadAll(entry.path()), "{oops");
      ++asides;
    }
  }
  EXPECT_EQ(asides, 1);
}

TEST_F(KelabCliTest, UsersListsTheUsersWithAStateFile) {
  WriteState("alice", kState);
  WriteState("broken", "[]");
  std::filesystem::create_directories(docs_.path() / "Users" / "nofile");
#ifndef _WIN32              // Windows cannot make a folder of that name
  WriteState("CON", "{}");  // a folder name the library refuses is no user
#endif
  ASSERT_EQ(Kelab("set", kWideName, {"--experiment", "e", "--variation", "challenger", "--create"})
                .status,
            0);

  ProcessResult r = Kelab({"users", "--docs", Docs()});
  ASSERT_EQ(r.status, 0) << r.err;
  // Columns count code points: the emoji is one, as each letter.
  EXPECT_EQ(r.out.rfind("Users with a state file under " + Docs() +
                            ":\n"
                            "  USER    ASSIGNMENTS\n"
                            "  alice   2\n"
                            "  broken  unreadable: state file '",
                        0),
            0u)
      << r.out;
  EXPECT_THAT(r.out, HasSubstr("' at byte 0: the top level is not a JSON object\n"
                               "  " +
                               std::string(kWideName) + "    1\n"));

  r = Kelab({"users", "--json", "--docs", Docs()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind(R"({"schema":1,"command":"users","exitCode":0,"error":null,"documents":")" +
                            Json(Docs()) + R"(","users":[{"user":"alice","stateFile":")" +
                            Json(StatePath("alice")) +
                            R"(","assignments":2,"error":null},{"user":"broken","stateFile":")" +
                            Json(StatePath("broken")) + R"(","assignments":null,"error":"state)",
                        0),
            0u)
      << r.out;
  EXPECT_THAT(r.out,
              HasSubstr(R"({"user":")" + std::string(kWideName) + R"(","stateFile":")" +
                        Json(StatePath(kWideName)) + R"(","assignments":1,"error":null}]})"));
}

TEST_F(KelabCliTest, NamesAreEscapedForTheTerminalAndColumnsCountCodePoints) {
  WriteState("esc", R"({"abcd":"{}","e\u001b[2J":"{}","zo\u00eb\u202e":"{}"})");
  ProcessResult r = Kelab("show", "esc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(
      r.out,
      HasSubstr("  EXPERIMENT  VARIATION         CHALLENGER TYPE  VARIATION ID  CAMPAIGN ID\n"
                "  abcd        disqualified (2)  none             (absent)      (absent)\n"
                "  e\\x1B[2J    disqualified (2)  none             (absent)      (absent)\n"
                "  zo\xC3\xAB\\u202E   disqualified (2)  none             (absent)      "
                "(absent)\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("\x1B")));
  // JSON carries the exact text.
  r = Kelab("show", "esc", {"--json"});
  EXPECT_THAT(r.out, HasSubstr(R"("experiment":"e\u001b[2J")"));

  // Error lines keep valid non-ASCII text as it is, and escape only what a
  // terminal would act on, also where the library's message escaped it.
  r = Kelab("show", "Jos\xC3\xA9.");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("user identifier \"Jos\xC3\xA9.\" cannot be used"));
  r = Kelab("show", "a\x01" + std::string(kWideName));
  EXPECT_THAT(r.err, HasSubstr("user identifier \"a\\x01" + std::string(kWideName) + "\""));
  WriteState(kWideName, "[]");
  r = Kelab("check", kWideName);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err,
              HasSubstr("kelab: error: state file '" + StatePath(kWideName) + "' at byte 0"));
}

}  // namespace
