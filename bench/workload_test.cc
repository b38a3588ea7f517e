#include "workload.h"

#include <set>

#include <gtest/gtest.h>

#include "baselines.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/testing/feature_service_testing.h"
#include "store/experiment_store.h"
#include "stream_baselines.h"
#include "testsupport/printers.h"
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

}  // namespace
}  // namespace kelab_bench
