#include "workload.h"

#include <set>
#include <tuple>

#include <gtest/gtest.h>

#include "baselines.h"
#include "floor_loader.h"
#include "kelabexperiment/kelabexperiment.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/testing/feature_service_testing.h"
#include "store/experiment_store.h"
#include "stream_baselines.h"
#include "testsupport/feature_overrides.h"
#include "testsupport/printers.h"
#include "testsupport/scoped_user_docs_dir.h"
#include "testsupport/temp_dir.h"

namespace kelab_bench {
namespace {

kelcore::UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }

TEST(WorkloadTest, IdentifiersAreUniqueRealisticAndStable) {
  const std::vector<std::string> ids = ExperimentIds(2000);
  EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
  for (const std::string& id : ids) {
    EXPECT_GE(id.size(), 30u) << id;
    EXPECT_LE(id.size(), 45u) << id;
  }
  EXPECT_EQ(ExperimentIds(10), std::vector<std::string>(ids.begin(), ids.begin() + 10));
  const std::vector<Record> records = MakeRecords(50);
  for (const Record& r : records) {
    EXPECT_EQ(r.variationId.size(), 36u);
    EXPECT_LE(r.campaignId.size(), 10u);
  }
}

class WorkloadFileTest : public ::testing::Test {
 protected:
  void SetUp() override { kelappsupport::feature::ResetFeatureService(); }
  void TearDown() override { kelappsupport::feature::ResetFeatureService(); }
  testsupport::TempDir temp_;
};

// The baselines only mean something if they handle the bytes the store reads
// and writes: every record, also one whose identifier and texts need escapes
// (read in parts by the streaming parser).
TEST_F(WorkloadFileTest, StoreAndBaselinesReadAndWriteTheSameBytes) {
  std::vector<Record> records = MakeRecords(300);
  records.push_back({"Zz\"quoted\\\n\xc3\xa9", "challenger", "tab\there", "\x01", "42"});
  const std::string text = StateFileText(records);
  const auto file = temp_ / "state";
  testsupport::WriteAll(file, text);

  kelabexperiment::ExperimentStore store(T(file.u8string()));
  const std::vector<Record> streamed = StreamLoad(file.string());
  ASSERT_EQ(store.Records().size(), records.size());
  ASSERT_EQ(streamed.size(), records.size());
  auto loaded = store.Records().begin();
  for (std::size_t i = 0; i < records.size(); ++i, ++loaded) {
    const Record& r = streamed[i];
    EXPECT_EQ(r.id, records[i].id);
    EXPECT_EQ(r.variation, records[i].variation);
    EXPECT_EQ(loaded->first, T(r.id));
    EXPECT_EQ(loaded->second.challengerType, T(r.challengerType));
    EXPECT_EQ(loaded->second.variationId, T(r.variationId));
    EXPECT_EQ(loaded->second.campaignId, T(r.campaignId));
  }
  EXPECT_EQ(kelappsupport::feature::SnapshotOverrides().size(), 4 * records.size());
  store.Save();
  EXPECT_EQ(testsupport::ReadAll(file), text);
  EXPECT_EQ(StreamSerialize(streamed), text);

  const ParsedState parsed = BaselineLoad(file.string());
  EXPECT_EQ(parsed.records.size(), records.size());
  EXPECT_EQ(parsed.records[123].at("variationId").as_string(), records[123].variationId);
  BaselineSave(RecordDocument(records), (temp_ / "baseline").string());
  EXPECT_EQ(testsupport::ReadAll(temp_ / "baseline"), text);
  EXPECT_FALSE(std::filesystem::exists(temp_ / "baseline.tmp"));
}

TEST_F(WorkloadFileTest, BaselinesReportBadFiles) {
  EXPECT_THROW(BaselineLoad((temp_ / "missing").string()), std::runtime_error);
  EXPECT_THROW(StreamLoad((temp_ / "missing").string()), std::runtime_error);
  for (const char* bad : {R"({"exp":"{not json"})", R"({"exp":{}})", R"({"exp":"[]"})", "[]"}) {
    testsupport::WriteAll(temp_ / "bad", bad);
    EXPECT_THROW(StreamLoad((temp_ / "bad").string()), std::runtime_error) << bad;
  }
  EXPECT_THROW(BaselineLoad((temp_ / "bad").string()), std::exception);
}

// The floor loader and the exported Initialize on one user's file: the floor
// is only a floor if it leaves the feature service as Initialize leaves it.
class FloorTest : public WorkloadFileTest {
 protected:
  using Snapshot = std::map<std::string, kelappsupport::feature::OverrideValue>;
  using Call = std::tuple<kelappsupport::feature::FeatureCall::Kind, std::string,
                          std::variant<std::monostate, int, std::string>,
                          kelappsupport::feature::OverrideDataCategory>;

  // Writes the user's state file; returns its path.
  std::string WriteUser(const std::string& text) {
    const auto file = temp_ / "Users" / "floor-user" / "ABExperiment";
    std::filesystem::create_directories(file.parent_path());
    testsupport::WriteAll(file, text);
    return file.string();
  }
  static void Initialize(const char* user) {
    kelabexperiment::Initialize(Id(user), Id("desktop"), Id("web"), false);
  }
  // The exported Initialize from an empty service, the previous user's
  // store dropped first; `before` is set beforehand.
  void InitializeUser(const std::map<std::string, int>& before = {}) {
    Initialize("floor-empty");
    kelappsupport::feature::ResetFeatureService();
    Set(before);
    Initialize("floor-user");
  }
  static void Set(const std::map<std::string, int>& overrides) {
    for (const auto& [name, value] : overrides) {
      kelappsupport::feature::SetOverrideData(T(name), value,
                                              kelappsupport::feature::OverrideDataCategory{});
    }
  }
  static std::vector<Call> Calls(const kelappsupport::feature::ScopedCallRecorder& recorder) {
    std::vector<Call> calls;
    for (const auto& c : recorder.Calls()) calls.emplace_back(c.kind, c.name, c.value, c.category);
    return calls;
  }
  static kelcore::utility::ImmutableString Id(const char* text) {
    return kelcore::utility::ImmutableString::Create(T(text));
  }
  // A member of a state file: the identifier, and the record text as its value.
  static std::string Member(const std::string& id, const std::string& record) {
    return boost::json::serialize(boost::json::value(id)) + ":" +
           boost::json::serialize(boost::json::value(record));
  }

  testsupport::ScopedUserDocsDir docs_{temp_.path()};
};

// The file the benchmark loads: the same calls in the same order, so that the
// two measure the same work for the service.
TEST_F(FloorTest, MakesTheSameCallsAsInitializeForAGeneratedFile) {
  const std::string path = WriteUser(StateFileText(MakeRecords(500)));
  std::vector<Call> floor;
  {
    const kelappsupport::feature::ScopedCallRecorder recorder;
    EXPECT_EQ(FloorLoad(path), 500u);
    floor = Calls(recorder);
  }
  const Snapshot floorOverrides = kelappsupport::feature::SnapshotOverrides();
  EXPECT_EQ(floorOverrides.size(), 4 * 500u);
  Initialize("floor-empty");
  kelappsupport::feature::ResetFeatureService();
  std::vector<Call> initialize;
  {
    const kelappsupport::feature::ScopedCallRecorder recorder;
    Initialize("floor-user");
    initialize = Calls(recorder);
  }
  EXPECT_EQ(floor, initialize);
  EXPECT_EQ(kelappsupport::feature::SnapshotOverrides(), floorOverrides);
}

// What only a file the store did not write holds: names in other letter
// cases, missing, repeated and unknown members, variation texts of every
// kind, escapes, an identifier given twice and members out of order; and
// texts and names long enough to reach the handlers in parts, with every
// cut of a record's names and texts between two parts.
TEST_F(FloorTest, LeavesTheOverridesInitializeLeavesForAnyWellFormedFile) {
  const std::string longText(9000, 'x');
  const std::string longId = "Long\\" + std::string(6000, 'i');
  std::vector<std::pair<std::string, std::string>> members{
      {"Crafted_A",
       R"({"VARIATION":"Forced_Control","challengertype":"x","VariationID":"v","CAMPAIGNID":"7"})"},
      {"Crafted_B", R"({"variation":"control"})"},
      {"Crafted_C", "{}"},
      {"Crafted_D",
       R"({"variation":"challenger","variation":"disqualified","extra":"1","campaignId":"1"})"},
      {"Crafted_E", R"( { "variation" : "CHALLENGER" , "challengerType" : "" } )"},
      {"Crafted_F", R"({"variation":"intended_CONTROL","variationId":"a\"b\n\u00e9\/"})"},
      {"Crafted_G", R"({"variation":"none of these","challengerType":")" + longText + R"(\t"})"},
      {"Crafted_H", R"({"variation":"challengeX","unknownName":"u"})"},
      {"Esc\"aped\\\n\xc3\xa9", R"({"variation":"forced_control"})"},
      {longId, R"({"campaignId":"long"})"},
      {"Twice", R"({"variation":"challenger","challengerType":"first","variationId":"1"})"},
      {"Twice", R"({"variation":"DISQUALIFIED","campaignId":"8"})"},
  };
  // A record text reaches the record parser in parts of about 4 KB.
  for (std::size_t n = 4040; n < 4110; ++n) {
    members.emplace_back("Cut_" + std::to_string(n),
                         R"({"extra":")" + std::string(n, 'y') + R"(","campaignId":"c)" +
                             std::to_string(n) + R"(","variation":"forced_control"})");
  }
  std::string text = StateFileText(MakeRecords(20));
  text.pop_back();
  for (const auto& [id, record] : members) text += "," + Member(id, record);
  text += "}";
  const std::string path = WriteUser(text);
  EXPECT_EQ(FloorLoad(path), 20 + members.size());
  const Snapshot floor = kelappsupport::feature::SnapshotOverrides();
  EXPECT_EQ(testsupport::FeatureOverrides("Crafted_A"), "3|x|v|7");
  EXPECT_EQ(testsupport::FeatureOverrides("Crafted_B"), "0|none||");
  EXPECT_EQ(testsupport::FeatureOverrides("Crafted_C"), "2|none||");
  EXPECT_EQ(testsupport::FeatureOverrides("Crafted_D"), "2|none||1");
  EXPECT_EQ(testsupport::FeatureOverrides("Crafted_E"), "1|||");
  EXPECT_EQ(testsupport::FeatureOverrides("Crafted_F"), "0|none|a\"b\n\xc3\xa9/|");
  EXPECT_EQ(testsupport::FeatureOverrides("Crafted_G"), "0|" + longText + "\t||");
  EXPECT_EQ(testsupport::FeatureOverrides("Crafted_H"), "0|none||");
  EXPECT_EQ(testsupport::FeatureOverrides("Esc\"aped\\\n\xc3\xa9"), "3|none||");
  EXPECT_EQ(testsupport::FeatureOverrides(longId), "2|none||long");
  EXPECT_EQ(testsupport::FeatureOverrides("Twice"), "2|none||8");
  for (std::size_t n = 4040; n < 4110; ++n) {
    EXPECT_EQ(testsupport::FeatureOverrides("Cut_" + std::to_string(n)),
              "3|none||c" + std::to_string(n));
  }
  InitializeUser();
  EXPECT_EQ(kelappsupport::feature::SnapshotOverrides(), floor);
}

// A file that is no state file, or a set that fails, leaves none of the
// file's overrides behind, as Initialize leaves none; others stay, also one
// named like the features of the member at fault.
TEST_F(FloorTest, LeavesNoOverrideOfAFileItCannotLoad) {
  const std::map<std::string, int> other{{"B_variation", 5}};
  const std::string good = StateFileText(MakeRecords(3));
  const std::string a = Member("A", R"({"variation":"challenger"})");
  const std::string c = Member("C", "{}");
  for (const std::string& bad : {
           "{" + a + "," + Member("B", R"({"variation":1})") + "," + c + "}",
           "{" + a + "," + Member("B", "not json") + "," + c + "}",
           "{" + a + "," + Member("B", R"({"variation":"challenger")") + "," + c + "}",
           "{" + a + "," + Member("B", "[]") + "," + c + "}",
           "{" + a + R"(,"B":{},)" + c + "}",
           good + "x",
           good.substr(0, good.size() - 1),
       }) {
    const std::string path = WriteUser(bad);
    kelappsupport::feature::ResetFeatureService();
    Set(other);
    EXPECT_THROW(FloorLoad(path), std::runtime_error) << bad;
    EXPECT_EQ(testsupport::FeatureOverrides("B"), "5|-|-|-") << bad;
    EXPECT_EQ(kelappsupport::feature::SnapshotOverrides().size(), 1u) << bad;
    EXPECT_THROW(InitializeUser(other), std::exception) << bad;
    EXPECT_EQ(kelappsupport::feature::SnapshotOverrides().size(), 1u) << bad;
  }
  const std::string path = WriteUser(good);
  kelappsupport::feature::ResetFeatureService();
  Set(other);
  {
    // The third record's third set fails.
    const kelappsupport::feature::ScopedSetFailure failure(10);
    EXPECT_THROW(FloorLoad(path), std::bad_alloc);
  }
  EXPECT_EQ(kelappsupport::feature::SnapshotOverrides().size(), 1u);
  EXPECT_EQ(testsupport::FeatureOverrides("B"), "5|-|-|-");
}

TEST_F(FloorTest, AMissingOrEmptyFileSetsNothing) {
  EXPECT_EQ(FloorLoad((temp_ / "missing").string()), 0u);
  EXPECT_EQ(FloorLoad(WriteUser("")), 0u);
  EXPECT_EQ(FloorLoad(WriteUser("{}")), 0u);
  EXPECT_TRUE(kelappsupport::feature::SnapshotOverrides().empty());
  EXPECT_THROW(FloorLoad(temp_.path().string()), std::runtime_error);  // a folder
}

}  // namespace
}  // namespace kelab_bench
