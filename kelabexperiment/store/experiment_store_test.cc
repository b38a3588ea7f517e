#include "store/experiment_store.h"

#include "kelcore/serialization/json.h"
#include "store/record_codec.h"
#include "store/store_test_support.h"

namespace kelabexperiment {
namespace {

using kelappsupport::feature::FeatureCall;
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
  ExperimentStore missing(StatePath());
  EXPECT_TRUE(missing.Records().empty());
  EXPECT_FALSE(std::filesystem::exists(FilePath()));
  WriteFile("");
  EXPECT_TRUE(ExperimentStore(StatePath()).Records().empty());
  WriteFile("{}");
  EXPECT_TRUE(ExperimentStore(StatePath()).Records().empty());
  EXPECT_TRUE(kelappsupport::feature::SnapshotOverrides().empty());
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
  for (const FeatureCall& call : recorder.Calls()) order.push_back(call.name);
  ASSERT_EQ(order.size(), 12u);
  EXPECT_EQ(order[0], "Beta_variation");
  EXPECT_EQ(order[3], "Beta_campaignId");
  EXPECT_EQ(order[4], "alpha_variation");
  EXPECT_EQ(order[8], "beta_variation");
  const VariationRecord& beta = store.Records().at(T("Beta"));
  EXPECT_FALSE(beta.campaignId.has_value());
  EXPECT_EQ(beta.challengerType, T("none"));
}

TEST_F(StoreTest, SaveThenLoadRoundTripsAndRewritesControlAsIntendedControl) {
  WriteFile(StateText({{"exp", R"({"variation":"control","variationId":"v","campaignId":"5",)"
                               R"("challengerType":"","other":"dropped"})"}}));
  {
    ExperimentStore store(StatePath());
    store.Merge(T("second"), T(R"({"variation":"challenger","challengerType":"text"})"),
                T(R"({"variationId":"v9","campaignId":9})"));
  }
  const std::string saved = FileText();
  EXPECT_EQ(saved.find("other"), std::string::npos);
  EXPECT_NE(saved.find("intended_control"), std::string::npos);

  kelappsupport::feature::ResetFeatureService();
  ExperimentStore reloaded(StatePath());
  ASSERT_EQ(reloaded.Records().size(), 2u);
  const VariationRecord& exp = reloaded.Records().at(T("exp"));
  EXPECT_EQ(exp.variation, VariationKind::Control);
  EXPECT_EQ(exp.challengerType, T(""));
  EXPECT_EQ(exp.campaignId, T("5"));
  EXPECT_EQ(Features("exp"), "0||v|5");
  EXPECT_EQ(Features("second"), "1|text|v9|9");
  // Saving what was loaded changes no byte.
  reloaded.Save();
  EXPECT_EQ(FileText(), saved);
}

TEST_F(StoreTest, MalformedFilesFailTheLoadAndStayUntouched) {
  const std::string cases[] = {
      "not json",
      "[]",
      "\"text\"",
      "null",
      R"({"exp":{"variation":"challenger"}})",  // member is an object, not text
      R"({"exp":null})",
      StateText({{"exp", "not json"}}),
      StateText({{"exp", "[1]"}}),
      StateText({{"exp", R"({"campaignId":123})"}}),  // a number inside the record
      StateText({{"exp", R"({"variation":null})"}}),
      StateText({{"exp", R"({"unknown":false})"}}),  // any name, not text: malformed
      "{\"exp\":\"{}\"",                             // truncated
      std::string("{\"e\xFF\":\"{}\"}"),             // not UTF-8
  };
  for (const std::string& text : cases) {
    WriteFile(text);
    try {
      ExperimentStore store(StatePath());
      ADD_FAILURE() << "loaded: " << text;
    } catch (const boost::bad_any_cast& e) {
      EXPECT_STREQ(e.what(), "boost::bad_any_cast: failed conversion using boost::any_cast");
    }
    EXPECT_EQ(FileText(), text);
  }
}

TEST_F(StoreTest, AFailedLoadLeavesNoOverrideBehind) {
  WriteFile(StateText({{"a", R"({"variation":"challenger"})"}, {"b", "[]"}}));
  EXPECT_THROW(ExperimentStore store(StatePath()), boost::bad_any_cast);
  EXPECT_TRUE(kelappsupport::feature::SnapshotOverrides().empty());
}

TEST_F(StoreTest, ForcedMergeAddsSavesAndAppliesThenRepeatsChangeNothing) {
  ExperimentStore store(StatePath());
  store.Merge(T("Exp"), T(kForcedVariation), T(kForcedIds));
  EXPECT_EQ(Features("Exp"), "3|none|forced_control|");
  EXPECT_EQ(
      FileText(),
      StateText({{"Exp", R"({"campaignId":"","challengerType":"none",)"
                         R"("variation":"forced_control","variationId":"forced_control"})"}}));

  std::filesystem::remove(FilePath());  // a rewrite would bring it back
  ScopedCallRecorder recorder;
  store.Merge(T("Exp"), T(kForcedVariation), T(kForcedIds));
  EXPECT_TRUE(recorder.Calls().empty());
  EXPECT_FALSE(std::filesystem::exists(FilePath()));
}

TEST_F(StoreTest, MergeCountsPresenceAndLetterCaseAsChanges) {
  WriteFile(StateText({{"exp", R"({"variation":"challenger","challengerType":"copy",)"
                               R"("variationId":"v"})"}}));  // no campaignId stored
  ExperimentStore store(StatePath());
  const UTF8String variation = T(R"({"variation":"challenger","challengerType":"copy"})");
  const UTF8String ids = T(R"({"variationId":"v"})");  // campaign present but empty
  {
    ScopedCallRecorder recorder;
    store.Merge(T("exp"), variation, ids);  // absent against present: a change
    EXPECT_EQ(recorder.Calls().size(), 4u);
  }
  {
    ScopedCallRecorder recorder;
    store.Merge(T("exp"), variation, ids);  // now equal
    EXPECT_TRUE(recorder.Calls().empty());
  }
  {
    ScopedCallRecorder recorder;
    store.Merge(T("exp"), T(R"({"variation":"challenger","challengerType":"COPY"})"), ids);
    EXPECT_EQ(recorder.Calls().size(), 4u);
  }
  store.Merge(T("EXP"), variation, ids);  // another key, another record
  EXPECT_EQ(store.Records().size(), 2u);
  EXPECT_EQ(store.Records().at(T("exp")).challengerType, T("COPY"));
}

TEST_F(StoreTest, EmptyPayloadsGiveTheDefaultRecord) {
  ExperimentStore store(StatePath());
  store.Merge(T("exp"), T(""), T(""));
  EXPECT_EQ(Features("exp"), "2|none|disqualified|");
}

TEST_F(StoreTest, EmptyPathWorksInMemoryOnly) {
  ExperimentStore store{UTF8String()};
  store.Merge(T("exp"), T(kForcedVariation), T(kForcedIds));
  EXPECT_EQ(store.Records().size(), 1u);
  EXPECT_EQ(Features("exp"), "3|none|forced_control|");
  store.Save();
  EXPECT_TRUE(std::filesystem::is_empty(temp_.path()));
}

TEST_F(StoreTest, SaveOfAnEmptyStoreReplacesTheFileWithAnEmptyObject) {
  WriteFile("");
  ExperimentStore store(StatePath());
  WriteFile("stale");
  store.Save();
  EXPECT_EQ(FileText(), "{}");
}

TEST_F(StoreTest, IdentifierThatIsNotUTF8StaysInMemoryButOutOfTheFile) {
  ExperimentStore store(StatePath());
  store.Merge(T("ok"), T(kForcedVariation), T(kForcedIds));
  store.Merge(T("bad\xFF"), T(kForcedVariation), T(kForcedIds));
  EXPECT_EQ(store.Records().size(), 2u);
  EXPECT_EQ(Features("bad\xFF"), "3|none|forced_control|");
  EXPECT_EQ(ExperimentStore(StatePath()).Records().size(), 1u);
}

TEST(RecordCodecTest, SerializeWritesAllFourMembers) {
  VariationRecord record;
  record.variation = VariationKind::Challenger;
  record.variationId = T("v\"1");
  EXPECT_EQ(
      kelcore::string::ToStd(SerializeRecord(record)),
      R"({"campaignId":"","challengerType":"","variation":"challenger","variationId":"v\"1"})");
  const VariationRecord back = ParseStoredRecord(SerializeRecord(record));
  EXPECT_EQ(back.variation, VariationKind::Challenger);
  EXPECT_EQ(back.variationId, T("v\"1"));
  EXPECT_EQ(back.campaignId, T(""));  // written empty, read back present
}

}  // namespace
}  // namespace kelabexperiment
