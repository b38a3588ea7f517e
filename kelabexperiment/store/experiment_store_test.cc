#include "store/experiment_store.h"

#include <new>

#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/testing/feature_service_testing.h"
#include "kelcore/serialization/json.h"
#include "platform/env.h"
#include "store/state_file.h"
#include "store/store_test_support.h"
#include "testsupport/fault_env.h"

namespace kelabexperiment {
namespace {

using kelappsupport::feature::ScopedCallRecorder;

const char kForcedVariation[] = R"({"variation":"forced_control"})";
const char kForcedIds[] = R"({"variationId":"forced_control"})";

// A state file holding `records`: (identifier, record object text) pairs.
std::string StateText(std::initializer_list<std::pair<std::string, std::string>> records) {
  boost::any root = kelcore::serialization::JsonObject();
  for (const auto& [id, record] : records) {
    kelcore::serialization::AddToObject(root, T(id), T(record), false);
  }
  return kelcore::string::ToStd(kelcore::serialization::GetJSONUTF8String(root, false));
}

TEST_F(StoreTest, MissingOrEmptyFileGivesAnEmptyStoreAndIsNotCreated) {
  EXPECT_TRUE(ExperimentStore(StatePath()).Records().empty());
  EXPECT_FALSE(std::filesystem::exists(FilePath()));
  for (const char* text : {"", "{}"}) {
    WriteFile(text);
    EXPECT_TRUE(ExperimentStore(StatePath()).Records().empty()) << text;
  }
  EXPECT_TRUE(kelappsupport::feature::SnapshotOverrides().empty());
  ExperimentStore store(StatePath());
  WriteFile("stale");
  store.Save();  // an empty store too replaces what is there
  EXPECT_EQ(FileText(), "{}");
}

TEST_F(StoreTest, LoadAppliesEveryRecordInByteOrderOfIdentifier) {
  WriteFile(StateText({
      {"beta", R"({"variation":"Control","challengerType":"copy","variationId":"v2",)"
               R"("campaignId":"77","extra":"ignored"})"},
      {"Beta", R"({"VARIATIONID":"v1","variation":"challenger"})"},
      {"alpha", R"({"variation":"somethingElse","variationid":"a","VariationId":"b"})"},
  }));
  ScopedCallRecorder recorder;
  ExperimentStore store(StatePath());
  ASSERT_EQ(store.Records().size(), 3u);  // Beta and beta are two records
  EXPECT_EQ(Features("beta"), "0|copy|v2|77");
  EXPECT_EQ(Features("Beta"), "1|none|v1|");  // absent campaign applied as empty
  EXPECT_EQ(Features("alpha"), "0|none|a|");  // of two equal names the later wins
  std::vector<std::string> order;
  for (const auto& call : recorder.Calls()) order.push_back(call.name);
  ASSERT_EQ(order.size(), 12u);
  EXPECT_EQ(order[0], "Beta_variation");
  EXPECT_EQ(order[4], "alpha_variation");
  EXPECT_EQ(order[8], "beta_variation");
  EXPECT_FALSE(store.Records().at(T("Beta")).campaignId.has_value());
}

TEST_F(StoreTest, SaveThenLoadRoundTripsAndRewritesControlAsIntendedControl) {
  WriteFile(StateText({{"exp", R"({"variation":"control","variationId":"v","campaignId":"5",)"
                               R"("challengerType":"","other":"dropped"})"}}));
  ExperimentStore(StatePath())
      .Merge(T("second"), T(R"({"variation":"challenger","challengerType":"text"})"),
             T(R"({"variationId":"v9","campaignId":9})"));
  const std::string saved = FileText();
  EXPECT_EQ(saved.find("other"), std::string::npos);
  EXPECT_NE(saved.find("intended_control"), std::string::npos);

  kelappsupport::feature::ResetFeatureService();
  ExperimentStore reloaded(StatePath());
  ASSERT_EQ(reloaded.Records().size(), 2u);
  EXPECT_EQ(Features("exp"), "0||v|5");
  EXPECT_EQ(Features("second"), "1|text|v9|9");
  reloaded.Save();  // saving what was loaded changes no byte
  EXPECT_EQ(FileText(), saved);
}

// A load that fails part-way leaves no override of any record behind: a host
// table that cannot grow (the record it failed in included), or a later
// record that does not parse.
TEST_F(StoreTest, ALoadThatFailsPartWayLeavesNoOverride) {
  WriteFile(StateText({{"a", kForcedVariation}, {"b", kForcedVariation}, {"c", "{}"}}));
  for (std::size_t sets : {0, 1, 4, 6, 11}) {
    kelappsupport::feature::ScopedSetFailure failure(sets);
    EXPECT_THROW(ExperimentStore{StatePath()}, std::bad_alloc) << sets;
    EXPECT_TRUE(kelappsupport::feature::SnapshotOverrides().empty()) << sets;
  }
  const std::string badLast = StateText({{"a", kForcedVariation}, {"b", "[]"}});
  WriteFile(badLast);
  EXPECT_THROW(ExperimentStore{StatePath()}, boost::bad_any_cast);
  EXPECT_TRUE(kelappsupport::feature::SnapshotOverrides().empty());
  EXPECT_EQ(FileText(), badLast);  // a failed load writes nothing
}

// A merge applies and saves only a change, and a missing campaign or another
// letter case is one; a repeat writes nothing.
TEST_F(StoreTest, MergeWritesOnlyChangesCountingPresenceAndLetterCase) {
  WriteFile(StateText({{"exp", R"({"variation":"challenger","challengerType":"copy",)"
                               R"("variationId":"v"})"}}));  // no campaignId stored
  ExperimentStore store(StatePath());
  const char copy[] = R"({"variation":"challenger","challengerType":"copy"})";
  const struct {
    const char* id;
    const char* variation;
    std::size_t calls;
  } steps[] = {
      {"exp", copy, 4},  // the payload's empty campaign against an absent one
      {"exp", copy, 0},
      {"exp", R"({"variation":"challenger","challengerType":"COPY"})", 4},
      {"EXP", copy, 4},  // another key, another record
  };
  for (const auto& step : steps) {
    ScopedCallRecorder recorder;
    store.Merge(T(step.id), T(step.variation), T(R"({"variationId":"v"})"));
    EXPECT_EQ(recorder.Calls().size(), step.calls) << step.id << " " << step.variation;
  }
  EXPECT_EQ(store.Records().size(), 2u);
  EXPECT_EQ(store.Records().at(T("exp")).challengerType, T("COPY"));
  store.Merge(T("empty"), T(""), T(""));  // empty payloads give the default record
  EXPECT_EQ(Features("empty"), "2|none|disqualified|");
  std::filesystem::remove(FilePath());  // a rewrite would bring it back
  store.Merge(T("empty"), T(""), T(""));
  EXPECT_FALSE(std::filesystem::exists(FilePath()));
}

// A merge writes the file once, and one whose write fails leaves memory, the
// features and the file as they were, for a changed record and an added one;
// a save writes memory's records over the file's, keeping the file's others.
TEST_F(StoreTest, AMergeWritesOnceAndOneThatCannotWriteChangesNothing) {
  ExperimentStore store(StatePath());
  testsupport::FaultEnv faults;
  platform::ScopedEnv scope(faults);
  const char ids[] = R"({"variationId":"c1","campaignId":8})";
  store.Merge(T("exp"), T(R"({"variation":"intended_control"})"), T(ids));
  store.Merge(T("exp"), T(R"({"variation":"challenger"})"), T(ids));  // edits the file in place
  EXPECT_EQ(faults.replaces.load(), 2);
  const std::string stored = FileText();
  faults.failCreate = true;
  for (const char* id : {"exp", "new"}) {
    EXPECT_THROW(store.Merge(T(id), T(kForcedVariation), T(kForcedIds)), FileError) << id;
    EXPECT_EQ(store.Records().size(), 1u) << id;
    EXPECT_EQ(store.Records().at(T("exp")).variationId, T("c1")) << id;
    EXPECT_EQ(FileText(), stored) << id;
  }
  EXPECT_EQ(Features("exp"), "1|none|c1|8");
  EXPECT_EQ(Features("new"), "-|-|-|-");
  // A save over a file another writer changed keeps that writer's records.
  faults.failCreate = false;
  WriteFile(StateText({{"exp", "{}"}, {"other", "{}"}}));
  store.Save();
  EXPECT_EQ(ExperimentStore(StatePath()).Records().size(), 2u);
  EXPECT_EQ(store.Records().size(), 2u);  // and memory takes them
  EXPECT_EQ(faults.replaces.load(), 3);
}

// A gap-filling merge never replaces a record: not one in memory, not one
// another process stored after this store loaded (the file re-read under the
// lock), which memory then takes and applies without writing. Where there is
// no record, it adds one like any merge.
TEST_F(StoreTest, AGapFillingMergeKeepsEveryStoredRecord) {
  constexpr auto kFillGap = ExperimentStore::MergeMode::kFillGap;
  const char challenger[] = R"({"variation":"challenger","variationId":"c1","campaignId":"8"})";
  WriteFile(StateText({{"loaded", challenger}}));
  ExperimentStore store(StatePath());
  const std::string other = StateText({{"loaded", challenger}, {"alpha", challenger}});
  WriteFile(other);  // another process stores alpha meanwhile
  for (const char* id : {"loaded", "alpha"}) {
    ScopedCallRecorder recorder;
    store.Merge(T(id), T(kForcedVariation), T(kForcedIds), kFillGap);
    EXPECT_EQ(FileText(), other) << id;
    EXPECT_EQ(Features(id), "1|none|c1|8") << id;
    EXPECT_EQ(recorder.Calls().size(), id == std::string("alpha") ? 4u : 0u) << id;
  }
  EXPECT_EQ(store.Records().size(), 2u);
  store.Merge(T("gap"), T(kForcedVariation), T(kForcedIds), kFillGap);
  EXPECT_EQ(Features("gap"), "3|none|forced_control|");
  EXPECT_EQ(ExperimentStore(StatePath()).Records().size(), 3u);
  store.Merge(T("loaded"), T(kForcedVariation), T(kForcedIds));  // a replacing merge does
  EXPECT_EQ(Features("loaded"), "3|none|forced_control|");
}

// What no file can hold is merged and applied in memory only: every record of
// a store without a path (the empty user's), a record whose identifier is not
// UTF-8.
TEST_F(StoreTest, WhatTheFileCannotHoldStaysInMemory) {
  ExperimentStore memoryOnly{UTF8String()};
  ExperimentStore store(StatePath());
  for (ExperimentStore* s : {&memoryOnly, &store}) {
    s->Merge(T("bad\xFF"), T(kForcedVariation), T(kForcedIds));
    EXPECT_EQ(s->Records().size(), 1u);
  }
  EXPECT_EQ(Features("bad\xFF"), "3|none|forced_control|");
  memoryOnly.Merge(T("valid"), T(kForcedVariation), T(kForcedIds));
  EXPECT_EQ(memoryOnly.Records().size(), 2u);
  memoryOnly.Save();
  WriteFile(StateText({{"other", "{}"}}));  // another writer's record joins them
  store.Merge(T("ok"), T(kForcedVariation), T(kForcedIds));
  EXPECT_EQ(store.Records().size(), 3u);
  EXPECT_EQ(ExperimentStore(StatePath()).Records().size(), 2u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp_.path()),
                          std::filesystem::directory_iterator()),
            2);  // the state file and its lock, nothing from the store without a path
}

}  // namespace
}  // namespace kelabexperiment
