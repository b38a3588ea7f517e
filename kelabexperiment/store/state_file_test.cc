#include "store/state_file.h"
#include "store/state_file_reader.h"

#include <cstdio>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

#include <gmock/gmock.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "kelappsupport/testing/feature_service_testing.h"
#include "kelcore/config/windows_api.h"
#include "platform/env.h"
#include "store/experiment_store.h"
#include "store/json_object_writer.h"
#include "store/state_file_transaction.h"
#include "store/store_test_support.h"
#include "testsupport/error_of.h"
#include "testsupport/fault_env.h"

namespace kelabexperiment {
namespace {

using ::testing::HasSubstr;
using testsupport::ErrorOf;

const char kOld[] = R"({"exp":"{\"variation\":\"challenger\"}"})";
const char kForced[] = R"({"variation":"forced_control"})";

class StateFileTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    WriteFile(kOld);
  }
  // Names in the folder other than the state file and its lock.
  std::set<std::string> Leftovers() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp_.path())) {
      const std::string name = entry.path().filename().u8string();
      if (name != "ABExperiment" && name != "ABExperiment.lock") names.insert(name);
    }
    return names;
  }
  testsupport::FaultEnv faults_;
};

TEST_F(StateFileTest, EveryInjectedFaultThrowsAndKeepsTheOldFile) {
  platform::ScopedEnv scope(faults_);
  const auto failsKeepingTheOldFile = [&](const std::string& text, const std::string& fault) {
    EXPECT_THROW(WriteStateFileAtomically(StatePath(), T(text)), FileError) << fault;
    EXPECT_EQ(FileText(), kOld) << fault;
    EXPECT_TRUE(Leftovers().empty()) << fault;
  };
  for (long long budget : {0LL, 1LL, 4096LL, 4999LL}) {
    faults_.writeBudget = budget;
    failsKeepingTheOldFile(std::string(5000, ' '), "budget " + std::to_string(budget));
  }
  faults_.writeBudget = -1;
  for (std::atomic<bool>* knob :
       {&faults_.failSync, &faults_.failClose, &faults_.failReplace, &faults_.failCreate}) {
    *knob = true;
    failsKeepingTheOldFile("{}", "knob");
    *knob = false;
  }
  EXPECT_EQ(faults_.replaces.load(), 0);
}

TEST_F(StateFileTest, ASaveSweepsOnlyItsOwnStaleTemporaries) {
  const std::string ownNames[] = {"ABExperiment.tmp", "ABExperiment.tmp-0123456789abcdef"};
  // Names of others' files that merely look alike, and a folder at an own name.
  const std::string others[] = {"ABExperiment.tmp-notes.txt", "ABExperiment.tmpl",
                                "ABExperiment.tmp-00000000000000AB",
                                "ABExperiment.tmp-0123456789abcde", "ABExperimentNotes"};
  for (const std::string& name : ownNames) testsupport::WriteAll(temp_ / name, "{\"half");
  for (const std::string& name : others) testsupport::WriteAll(temp_ / name, "mine");
  std::filesystem::create_directory(temp_ / "ABExperiment.tmp-fedcba9876543210");
  ExperimentStore store(StatePath());
  EXPECT_EQ(store.Records().size(), 1u);
  store.Merge(T("exp"), T(kForced), T(""));
  std::set<std::string> kept(std::begin(others), std::end(others));
  kept.insert("ABExperiment.tmp-fedcba9876543210");
  EXPECT_EQ(Leftovers(), kept);
  for (const std::string& name : others) EXPECT_EQ(testsupport::ReadAll(temp_ / name), "mine");
  EXPECT_EQ(ExperimentStore(StatePath()).Records().at(T("exp")).variation,
            VariationKind::ForcedControl);
}

TEST(StateFileNameTest, OnlyTheLibrarysOwnTemporaryNamesCount) {
  EXPECT_TRUE(IsStateTemporaryName("settings", "settings.tmp"));
  EXPECT_TRUE(IsStateTemporaryName("settings", "settings.tmp-00000000000000ff"));
  for (const char* name : {"settings.tmpl", "settings.tmp-", "settings.tmp-00000000000000fff",
                           "settings.tmp-00000000000000fF", "settings.tmp_00000000000000ff",
                           "other.tmp", "settings", "xsettings.tmp"}) {
    EXPECT_FALSE(IsStateTemporaryName("settings", name)) << name;
  }
  // Names take 64 bits of the system's random source: never the same twice.
  std::set<std::string> names;
  for (int i = 0; i < 1000; ++i) {
    const std::string name = kelcore::string::ToStd(UniqueSiblingPath(T("settings"), "tmp"));
    EXPECT_TRUE(IsStateTemporaryName("settings", name)) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 1000u);
}

// What another writer left in the file meanwhile: its records join memory
// without overrides, and a file no one can read is moved aside, never deleted.
TEST_F(StateFileTest, AnotherWritersRecordsJoinMemoryAndAnUnreadableFileIsMovedAside) {
  ExperimentStore mine(StatePath());
  ExperimentStore theirs(StatePath());
  theirs.Merge(T("theirs"), T(kForced), T(""));
  kelappsupport::feature::ResetFeatureService();
  mine.Merge(T("mine"), T(kForced), T(""));
  EXPECT_EQ(mine.Records().size(), 3u);  // exp, mine, theirs: memory equals the file
  EXPECT_EQ(ExperimentStore(StatePath()).Records().size(), 3u);
  kelappsupport::feature::ResetFeatureService();
  mine.Merge(T("mine"), T(kForced), T(""));  // equal: nothing happens
  EXPECT_EQ(Features("mine"), "-|-|-|-");

  WriteFile("{\"exp\":42}");
  mine.Merge(T("new"), T(kForced), T(""));
  const auto left = Leftovers();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left.begin()->rfind("ABExperiment.unreadable-", 0), 0u) << *left.begin();
  EXPECT_EQ(testsupport::ReadAll(temp_ / *left.begin()), "{\"exp\":42}");
  EXPECT_EQ(ExperimentStore(StatePath()).Records().size(), 4u);  // memory's four records
}

TEST_F(StateFileTest, AnEditWritesOnlyAChangeAndKeepsThePreviousFile) {
  const std::string backup = FilePath().u8string() + ".bak";
  int named = 0;  // backups named, each under the lock
  const auto edit = [&](UnreadableStateFile unreadable, bool changes, std::size_t bytes = 0) {
    return EditStateFile(
        StatePath(), unreadable,
        [changes, bytes](RecordMap& records) {
          if (changes) {
            VariationRecord record;
            record.variationId = T(std::string(bytes, 'x'));
            records[T("new")] = record;
          }
          return changes;
        },
        [&] {
          ++named;
          return T(backup);
        });
  };
  StateFileEdit result = edit(UnreadableStateFile::kFail, false);
  EXPECT_FALSE(result.written || !result.backup.empty() || named != 0);
  EXPECT_EQ(result.records.size(), 1u);
  EXPECT_EQ(FileText(), kOld);
  EXPECT_FALSE(std::filesystem::exists(backup));

  result = edit(UnreadableStateFile::kFail, true);
  EXPECT_TRUE(result.written);
  EXPECT_EQ(result.backup, T(backup));
  EXPECT_EQ(testsupport::ReadAll(backup), kOld);
  EXPECT_EQ(ExperimentStore(StatePath()).Records().size(), 2u);
  EXPECT_EQ(Leftovers(), std::set<std::string>{"ABExperiment.bak"});

  // An edit that fails after the backup was made (here: the result would be
  // over the size limit) removes that backup and leaves the file.
  std::filesystem::remove(backup);
  const std::string before = FileText();
  EXPECT_THROW(edit(UnreadableStateFile::kFail, true, kMaxStateFileBytes), FileError);
  EXPECT_EQ(FileText(), before);
  EXPECT_FALSE(std::filesystem::exists(backup));

  // Malformed or over the size limit: refused and left alone, or moved aside
  // (renamed, not copied; that is its backup) and replaced.
  for (const std::uintmax_t size : {std::uintmax_t{2}, kMaxStateFileBytes + 1}) {
    WriteFile("[]");
    std::filesystem::resize_file(FilePath(), size);
    named = 0;
    EXPECT_ANY_THROW(edit(UnreadableStateFile::kFail, true)) << size;
    EXPECT_EQ(std::filesystem::file_size(FilePath()), size);
    result = edit(UnreadableStateFile::kStartEmpty, false);
    EXPECT_TRUE(result.written) << size;
    EXPECT_EQ(named, 0);
    EXPECT_EQ(FileText(), "{}");
    const std::string aside = kelcore::string::ToStd(result.backup);
    EXPECT_EQ(
        std::filesystem::path(aside).filename().u8string().rfind("ABExperiment.unreadable-", 0), 0u)
        << aside;
    EXPECT_EQ(std::filesystem::file_size(aside), size);
  }
  EXPECT_EQ(Leftovers().size(), 2u);  // the two files moved aside, nothing copied

  // A failing backup fails the edit before the file changes.
  platform::ScopedEnv scope(faults_);
  faults_.failReplace = true;
  EXPECT_THROW(edit(UnreadableStateFile::kFail, true), FileError);
  EXPECT_EQ(FileText(), "{}");
  faults_.failReplace = false;

  // An empty file is backed up like any other; where there is none, nothing is.
  for (const bool present : {true, false}) {
    std::filesystem::remove(FilePath());
    if (present) WriteFile("");
    named = 0;
    EXPECT_TRUE(edit(UnreadableStateFile::kFail, true).written) << present;
    EXPECT_EQ(named, present ? 1 : 0) << present;
    EXPECT_EQ(std::filesystem::exists(backup), present) << present;
    std::filesystem::remove(backup);
  }
}

TEST(StateFileErrorTest, SaysWhichMemberWhereAndWhy) {
  struct Case {
    std::string text;
    std::string member;
    std::uint64_t offset;
    std::string reason;
  };
  const Case cases[] = {
      {"[1]", "", 0, "the top level is not a JSON object"},
      {R"({"a":"{}","exp" : null})", "exp", 18,
       "the value is null; expected a string holding the record"},
      // The last of equal names is the one kept, so it is the one named.
      {R"({"e":"{}","e":2})", "e", 14,
       "the value is a number; expected a string holding the record"},
      // Brackets and quotes inside earlier strings do not mislead the search.
      {R"({"z":[{"x":"]}\""}],"exp":false})", "exp", 26,
       "the value is a boolean; expected a string holding the record"},
      {R"({"\u0065x":true})", "ex", 11,
       "the value is a boolean; expected a string holding the record"},
      {R"({"exp":"{\"Variation\":\"x\",\"variation\":[1]}"})", "exp", 7,
       "record member \"variation\" is an array; expected a string"},
      {R"({"exp":"{\"variation\":\"x\"} x"})", "exp", 7,
       "the record is not a JSON object: content after the end of the document at byte 18 of the "
       "record"},
  };
  for (const Case& c : cases) {
    try {
      ParseStateText(T(c.text), T("dir/ABExperiment"));
      ADD_FAILURE() << "parsed: " << c.text;
    } catch (const StateFileError& e) {
      // Callers that catch the old, generic error still see its text.
      EXPECT_STREQ(e.what(), "boost::bad_any_cast: failed conversion using boost::any_cast");
      EXPECT_EQ(e.Path(), "dir/ABExperiment");
      EXPECT_EQ(e.Member(), c.member) << c.text;
      EXPECT_EQ(e.Offset(), c.offset) << c.text;
      EXPECT_EQ(e.Reason(), c.reason) << c.text;
    }
  }
}

// Members out of order, or in order with a repeated identifier: ordered by
// identifier, the last of equal ones kept, as for any JSON object. White space
// and an escaped quote in a name throw off the load's guess of the member
// count, not its records.
TEST(StateFileTextTest, UnorderedOrRepeatedMembersAreOrderedAndTheLastOfEqualOnesKept) {
  const std::pair<const char*, size_t> rows[] = {
      {R"({"b":"{}", "a":"{\"variation\":\"challenger\"}","c\",":"{}","b":"{\"variation\":\"forced_control\"}"})",
       3},
      {R"({"a":"{}","a":"{\"variation\":\"challenger\"}","b":"{\"variation\":\"forced_control\"}"})",
       2},
  };
  for (const auto& [text, size] : rows) {
    const RecordMap records = ParseStateText(T(text), T("f"));
    ASSERT_EQ(records.size(), size) << text;
    EXPECT_EQ(records.begin()->first, T("a"));
    EXPECT_EQ(records.begin()->second.variation, VariationKind::Challenger) << text;
    EXPECT_EQ(records.at(T("b")).variation, VariationKind::ForcedControl) << text;
  }
}

TEST_F(StateFileTest, LimitsAreRefusedWithTheirNumbers) {
  // One record too many, as a file's text and as a save's records.
  std::string many = "{";
  RecordMap tooMany;
  tooMany.reserve(kMaxStateFileRecords + 1);
  for (std::size_t i = 0; i <= kMaxStateFileRecords; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "%07zu", i);  // ascending: each goes at the end
    many += std::string(i == 0 ? "\"" : ",\"") + key + "\":\"{}\"";
    tooMany.emplace_hint(tooMany.end(), T(key), VariationRecord());
  }
  many += "}";
  const auto loadError = [&] { return ErrorOf<FileError>([&] { ExperimentStore{StatePath()}; }); };
  WriteFile(many);
  EXPECT_THAT(loadError(), HasSubstr("1000000"));
  // Exactly the limit loads.
  many.erase(many.rfind(','));
  EXPECT_EQ(ParseStateText(T(many + "}"), T("f")).size(), kMaxStateFileRecords);
  std::string largest = R"({"exp":"{}"})";
  largest.resize(kMaxStateFileBytes, ' ');  // JSON allows blanks after the value
  WriteFile(largest);
  EXPECT_EQ(ExperimentStore(StatePath()).Records().size(), 1u);
  std::filesystem::resize_file(FilePath(), kMaxStateFileBytes + 1);
  EXPECT_THAT(loadError(), HasSubstr("64 MiB"));
  EXPECT_THROW(SerializeState(tooMany, StatePath()), FileError);
  // A save may write a file of exactly the size limit, not a byte more.
  const auto sized = [&](std::size_t campaignBytes) {
    VariationRecord record;
    record.campaignId = T(std::string(campaignBytes, 'x'));
    RecordMap one;
    one.emplace(T("exp"), record);
    return SerializeState(one, StatePath()).size();
  };
  const std::size_t fits = kMaxStateFileBytes - sized(0);
  EXPECT_EQ(sized(fits), kMaxStateFileBytes);
  EXPECT_THROW(sized(fits + 1), FileError);
}

// Under the lock, "nobody changed the file" is told by its bytes: a change of
// another writer, however small, is merged, never overwritten.
TEST_F(StateFileTest, AnotherWritersSameSizeChangeIsKept) {
  WriteFile(R"({"exp":"{\"variation\":\"challenger\",\"variationId\":\"aaaa\"}"})");
  ExperimentStore store(StatePath());
  store.Save();  // now in the store's own form
  const std::string mine = FileText();
  std::string theirs = mine;
  theirs.replace(theirs.find("aaaa"), 4, "bbbb");
  WriteFile(theirs);
  store.Merge(T("new"), T(kForced), T(""));
  const ExperimentStore reloaded(StatePath());
  EXPECT_EQ(*reloaded.Records().at(T("exp")).variationId, T("bbbb"));
  EXPECT_EQ(reloaded.Records().size(), 2u);
}

TEST(StateFileTextTest, TheTextBeforeAChangeIsToldByItsBytes) {
  const auto record = [](const char* id) {
    VariationRecord r;
    r.variation = VariationKind::Challenger;
    r.variationId = T(id);
    return r;
  };
  const UTF8String path = T("/state");
  struct Case {
    std::vector<std::string> before;  // identifiers already there
    std::string changed;
    bool replaced;
  } cases[] = {{{}, "a", false},         {{"b"}, "a", false},         {{"a"}, "b", false},
               {{"a", "c"}, "b", false}, {{"a"}, "a", true},          {{"a", "b"}, "a", true},
               {{"a", "b"}, "b", true},  {{"a", "b", "c"}, "b", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.changed + (c.replaced ? " replaced" : " added"));
    RecordMap records;
    for (const std::string& id : c.before) records[T(id)] = record("old");
    const std::string oldText = kelcore::string::ToStd(SerializeState(records, path));
    const VariationRecord previous = record("old");
    records[T(c.changed)] = record("new");
    const MarkedStateText now = SerializeStateMarking(records, path, T(c.changed));
    const VariationRecord* before = c.replaced ? &previous : nullptr;
    EXPECT_TRUE(IsTextBeforeChange(T(oldText), now, T(c.changed), before));
    // Any other text is not it: one byte changed, one missing, one more.
    for (std::size_t at = 0; at < oldText.size(); ++at) {
      std::string altered = oldText;
      altered[at] = altered[at] == 'x' ? 'y' : 'x';
      EXPECT_FALSE(IsTextBeforeChange(T(altered), now, T(c.changed), before)) << at;
    }
    EXPECT_FALSE(IsTextBeforeChange(T(oldText.substr(1)), now, T(c.changed), before));
    EXPECT_FALSE(IsTextBeforeChange(T(oldText + " "), now, T(c.changed), before));
  }
}

TEST_F(StateFileTest, WhatCannotBeToldIsAnErrorNotAMissingFile) {
  faults_.failStatOf = FilePath().u8string();
  platform::ScopedEnv scope(faults_);
  EXPECT_THAT(ErrorOf<FileError>([&] { ExperimentStore{StatePath()}; }),
              HasSubstr("cannot tell what is at '" + FilePath().u8string() + "'"));
  EXPECT_THROW(LoadStateFile(StatePath()), FileError);
  EXPECT_EQ(FileText(), kOld);
}

// The file is replaced; only the folder's flush failed. The error says so,
// and the store holds what the file now holds, overrides included.
TEST_F(StateFileTest, AFolderFlushThatFailsSaysTheFileWasReplacedAndMemoryMatchesIt) {
  ExperimentStore store(StatePath());
  platform::ScopedEnv scope(faults_);
  faults_.failFolderSync = true;
  EXPECT_THAT(ErrorOf<StateFileNotDurableError>([&] { store.Merge(T("new"), T(kForced), T("")); }),
              HasSubstr("was replaced, but a power loss may still bring back the previous file"));
  EXPECT_EQ(store.Records().size(), 2u);
  EXPECT_EQ(ExperimentStore(StatePath()).Records().size(), 2u);
  EXPECT_EQ(Features("new").substr(0, 2), "3|");
  faults_.failFolderSync = false;
  store.Merge(T("new"), T(kForced), T(""));  // equal now: nothing to retry
  EXPECT_EQ(faults_.replaces.load(), 1);
}

TEST_F(StateFileTest, AHeldLockIsWaitedForAFixedTimeThenTheSaveFailsKeepingNothing) {
  ExperimentStore store(StatePath());
  platform::ScopedEnv scope(faults_);
  faults_.lockBusy = true;
  faults_.virtualClock = true;
  EXPECT_THAT(ErrorOf<FileError>([&] { store.Merge(T("new"), T(kForced), T("")); }),
              HasSubstr("ABExperiment.lock' is still held by another writer after 5 s"));
  EXPECT_GE(faults_.NowMicros(), kStateFileLockWaitMicros);
  EXPECT_LT(faults_.NowMicros(), kStateFileLockWaitMicros + 100'000);  // no pause past the end
  EXPECT_GT(faults_.locks.load(), 10);  // tried again and again meanwhile
  EXPECT_EQ(store.Records().count(T("new")), 0u);
  EXPECT_EQ(FileText(), kOld);
  faults_.lockBusy = false;
  store.Merge(T("new"), T(kForced), T(""));
  EXPECT_EQ(ExperimentStore(StatePath()).Records().size(), 2u);
}

#ifndef _WIN32  // there a held lock file cannot be deleted (WindowsEnvTest)
// A cleanup tool deletes the lock file while this save holds it, and another
// writer, finding no lock, saves meanwhile: this save must not overwrite that.
TEST_F(StateFileTest, ASaveWhoseLockFileWasDeletedMeanwhileRunsAgainKeepingTheOtherRecord) {
  ExperimentStore mine(StatePath());
  ExperimentStore theirs(StatePath());
  platform::ScopedEnv scope(faults_);
  bool interfered = false;
  faults_.onCreate = [&] {
    if (std::exchange(interfered, true)) return;
    std::filesystem::remove(FilePath().u8string() + ".lock");
    theirs.Merge(T("theirs"), T(kForced), T(""));
  };
  mine.Merge(T("mine"), T(kForced), T(""));
  EXPECT_TRUE(interfered);
  const ExperimentStore reloaded(StatePath());
  EXPECT_EQ(reloaded.Records().count(T("theirs")), 1u);
  EXPECT_EQ(reloaded.Records().count(T("mine")), 1u);
  EXPECT_EQ(mine.Records().size(), 3u);
  EXPECT_TRUE(Leftovers().empty());
}
#endif

#ifdef _WIN32
// A virus scanner, an indexer or a backup tool may hold the state file open
// without delete sharing just when it is replaced.
TEST_F(StateFileTest, AHolderThatStaysFailsTheSaveOneThatLetsGoDoesNot) {
  ExperimentStore store(StatePath());
  const HANDLE holder =
      ::CreateFileW(FilePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_THAT(ErrorOf<FileError>([&] { store.Merge(T("new"), T(kForced), T("")); }),
              HasSubstr("'" + FilePath().u8string() + "'"));
  EXPECT_EQ(FileText(), kOld);
  EXPECT_TRUE(Leftovers().empty());

  ::CloseHandle(holder);
  store.Merge(T("new"), T(kForced), T(""));
  EXPECT_EQ(ExperimentStore(StatePath()).Records().size(), 2u);
  EXPECT_TRUE(Leftovers().empty());
}
#else
TEST_F(StateFileTest, LinksFifosAndModes) {
  // A link planted at any name the writer uses is never written through, nor
  // swept: only regular files at the library's own names go.
  testsupport::WriteAll(temp_ / "victim", "precious");
  std::filesystem::create_symlink(temp_ / "victim", temp_ / "ABExperiment.tmp");
  std::filesystem::create_hard_link(temp_ / "victim", temp_ / "ABExperiment.tmp-hard");
  ::chmod(FilePath().c_str(), 04750);  // setuid is never passed on
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(FilePath().c_str(), 12345, 12346), 0);
  }
  ExperimentStore store(StatePath());
  store.Merge(T("new"), T(kForced), T(""));
  EXPECT_EQ(testsupport::ReadAll(temp_ / "victim"), "precious");
  EXPECT_EQ(Leftovers(),
            (std::set<std::string>{"ABExperiment.tmp", "ABExperiment.tmp-hard", "victim"}));
  struct stat st;
  ASSERT_EQ(::stat(FilePath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);  // the replaced file's mode, without setuid
  if (root) {                            // a root edit leaves the user's file the user's
    EXPECT_EQ(st.st_uid, 12345u);
    EXPECT_EQ(st.st_gid, 12346u);
  }

  // A link at the state path, dangling or not, is an error: never followed.
  for (const auto& target : {temp_ / "victim", temp_ / "nowhere"}) {
    const auto link = temp_ / "linked";
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
    EXPECT_THAT(ErrorOf<FileError>([&] { ExperimentStore{T(link.u8string())}; }),
                HasSubstr("symbolic link"));
  }
  EXPECT_FALSE(std::filesystem::exists(temp_ / "nowhere"));
  EXPECT_EQ(testsupport::ReadAll(temp_ / "victim"), "precious");

  // What cannot be told (a link loop on the way) is an error, not "no file".
  std::filesystem::create_symlink(temp_ / "loop", temp_ / "loop");
  EXPECT_THAT(ErrorOf<FileError>([&] { ExperimentStore{T((temp_ / "loop" / "x").u8string())}; }),
              HasSubstr("cannot tell what is at"));

  // A FIFO at the state path: an error at once, never a hang.
  const auto fifo = temp_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(ExperimentStore{T(fifo.u8string())}, FileError);
  EXPECT_THROW(StateFileTransaction{T(fifo.u8string())}, FileError);
}
#endif

}  // namespace
}  // namespace kelabexperiment

namespace kelabexperiment {
namespace {

// The records, fields and their presence included, as one text to compare.
std::string Describe(const RecordMap& records) {
  std::string out;
  const auto field = [&](const boost::optional<UTF8String>& text) {
    out += text ? "[" + kelcore::string::ToStd(*text) + "]" : "-";
  };
  for (const auto& [id, record] : records) {
    out += kelcore::string::ToStd(id) + "=" + std::to_string(static_cast<int>(record.variation));
    field(record.challengerType);
    field(record.variationId);
    field(record.campaignId);
    out += ";";
  }
  return out;
}

// The one-line message of the StateFileError `call` throws, or "no error".
template <typename Call>
std::string MessageOf(Call&& call) {
  try {
    call();
  } catch (const StateFileError& e) {
    return e.Message();
  }
  return "no error";
}

// Numbers are read as JSON allows them wherever a double holds them after
// rounding, so that a member a later one of the same name replaces never
// fails the file; one beyond that range still does.
TEST(StateFileTextTest, ANumberADoubleHoldsIsReadAndOneBeyondIsRefused) {
  for (const char* number :
       {"0e400", "-0E+999", "1e-99999999999999999999", "1.7976931348623158e308"}) {
    const std::string text = std::string(R"({"e":)") + number + R"(,"e":"{}"})";
    EXPECT_EQ(ParseStateText(T(text), T("f")).size(), 1u) << number;
  }
  try {
    ParseStateText(T(R"({"e":1e400,"e":"{}"})"), T("f"));
    ADD_FAILURE() << "1e400 read";
  } catch (const StateFileError& e) {
    EXPECT_EQ(e.Offset(), 5u);
    EXPECT_EQ(e.Member(), "");
    EXPECT_EQ(e.Reason(), "a number beyond the range of a double");
  }
}

// Of record members that name one field in different letter case, the one
// greatest in byte order sets it, wherever it stands; of equal names the
// last; a name whose last value is not text fails the record, the smallest
// such name being the one named.
TEST(StateFileTextTest, ARecordsMembersAreTakenAsAWalkInByteOrderOfNameWouldTakeThem) {
  const std::pair<const char*, const char*> rows[] = {
      {R"({"variationId":"low","VariationId":"up"})", "e=2[none][low]-;"},
      {R"({"VariationId":"up","variationId":"low"})", "e=2[none][low]-;"},
      {R"({"variationId":"a","variationId":"b","VARIATIONID":"c"})", "e=2[none][b]-;"},
      {R"({"variation":1,"variation":"challenger","\u0063ampaignId":"7"})", "e=1[none]-[7];"},
      {R"({"\u0076ariationId":"v","\u0063ampaignId":"7"})", "e=2[none][v][7];"},
      {R"({"challengerType":"","x":null,"x":"y","Variation":"forced_CONTROL"})", "e=3[]--;"},
  };
  for (const auto& [record, described] : rows) {
    JsonObjectWriter file;
    file.Add(T("e"), T(record));
    EXPECT_EQ(Describe(ParseStateText(file.Finish(), T("f"))), described) << record;
  }
  for (const auto& [record, member] :
       {std::pair{R"({"b":1,"a":[],"c":"x"})", "a"}, {R"({"b":1,"a":[],"a":"x"})", "b"}}) {
    JsonObjectWriter file;
    file.Add(T("e"), T(record));
    EXPECT_THAT(MessageOf([&] { ParseStateText(file.Finish(), T("f")); }),
                HasSubstr(std::string("record member \"") + member + "\" is "))
        << record;
  }
}

// A file read in pieces gives what its whole text gives, wherever a piece
// ends: inside a name, an escape, a UTF-8 sequence, a number or a literal, in
// a member longer than the room before a piece or than several pieces, or in
// white space after the object.
TEST_F(StateFileTest, AFileReadInPiecesGivesWhatItsWholeTextGives) {
  const std::string rich =
      R"("r\u00e9":"{\"variation\":\"challenger\",\"variationId\":\"\\ud83d\\ude00\u00e9\",)"
      R"(\"campaignId\":\"7\"}","n":[1,{"a" :-1.5e3,"t":true,"f":false}],"n":"{}","u":"{}")";
  const std::size_t piece = kStateFilePieceBytes;
  for (std::size_t at = piece - rich.size() - 16; at < piece + 4; ++at) {
    // A filler member puts the rich ones across the first piece's end.
    const std::string head = R"({"a":"{\"variationId\":\")";
    const std::string filler = head + std::string(at - head.size(), 'x') + R"(\"}",)";
    const std::string text = filler + rich + "}";
    WriteFile(text);
    const RecordMap pieces = LoadStateFile(StatePath());
    EXPECT_EQ(Describe(pieces), Describe(ParseStateText(T(text), T("f")))) << at;
    EXPECT_EQ(pieces.size(), 4u) << at;
  }
  // Members over several pieces, the second starting inside the copy the
  // first needed, and white space over one after the object.
  std::string numbers;
  while (numbers.size() < 3 * piece) numbers += "1,";
  const std::string big = R"({"big":[)" + numbers + R"(1],"big":"{}","c":"{}","d":[)" + numbers +
                          R"(1],"d":"{}"})" + std::string(piece + 3, ' ');
  WriteFile(big);
  EXPECT_EQ(Describe(LoadStateFile(StatePath())), "big=2[none]--;c=2[none]--;d=2[none]--;");
  // Members a little longer and a little shorter than the room across each
  // piece's end: the load copies the first, and goes back to reading pieces
  // where they are for the next.
  for (std::size_t over : {kStateFilePieceRoom - 8, kStateFilePieceRoom + 8}) {
    const std::string longRecord = R"("{\"variationId\":\")" + std::string(over, 'v') + R"(\"}")";
    std::string text = "{";
    for (int i = 0; text.size() < 3 * piece; ++i) {
      text += (i == 0 ? "\"" : ",\"") + std::to_string(100000 + i) + "\":" + longRecord;
    }
    text += "}";
    WriteFile(text);
    const RecordMap records = LoadStateFile(StatePath());
    EXPECT_EQ(Describe(records), Describe(ParseStateText(T(text), T("f")))) << over;
    EXPECT_EQ(records.size(), records.capacity()) << over;
    EXPECT_EQ(kelcore::string::ToStd(*records.rbegin()->second.variationId),
              std::string(over, 'v'));
  }
  // A compact file's records are sized at once, without spare room, also
  // where a piece ends inside the '","' between two members.
  // Enough records to cross a piece's end.
  constexpr int kCompactRecords = 6000;
  const auto compactText = [](std::size_t shift) {
    std::string text = "{";
    for (int i = 0; i < kCompactRecords; ++i) {
      text += (i == 0 ? "\"" + std::string(shift, 'p') : ",\"") + std::to_string(100000 + i) +
              R"(":"{\"campaignId\":\"1\",\"variation\":\"challenger\"}")";
    }
    return text;
  };
  const std::size_t memberBytes = compactText(0).size() / kCompactRecords;
  for (std::size_t shift = 0; shift <= memberBytes; ++shift) {
    WriteFile(compactText(shift) + "}");
    const RecordMap records = LoadStateFile(StatePath());
    EXPECT_EQ(records.size(), std::size_t{kCompactRecords});
    EXPECT_EQ(records.capacity(), std::size_t{kCompactRecords}) << shift;
  }
  const std::string compact = compactText(0);
  // An error in a later piece is told at the same byte.
  const std::pair<std::string, std::size_t> badEndings[] = {{",}", 1},
                                                            {R"(,"z":"{\"variation\":1}"})", 5}};
  for (const auto& [ending, at] : badEndings) {
    const std::string bad = compact + ending;
    WriteFile(bad);
    const std::string pieces = MessageOf([&] { LoadStateFile(StatePath()); });
    EXPECT_EQ(pieces, MessageOf([&] { ParseStateText(T(bad), StatePath()); }));
    EXPECT_THAT(pieces, HasSubstr(" at byte " + std::to_string(compact.size() + at)));
  }
}

}  // namespace
}  // namespace kelabexperiment
