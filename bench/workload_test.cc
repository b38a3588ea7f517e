#include "workload.h"

#include <set>

#include <gtest/gtest.h>

#include "baselines.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "store/experiment_store.h"
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
// and writes.
TEST_F(WorkloadFileTest, StoreAndBaselinesReadAndWriteTheSameBytes) {
  const std::vector<Record> records = MakeRecords(300);
  const std::string text = StateFileText(records);
  const auto file = temp_ / "state";
  testsupport::WriteAll(file, text);

  kelabexperiment::ExperimentStore store(T(file.u8string()));
  ASSERT_EQ(store.Records().size(), records.size());
  const Record& sample = records[123];
  const kelabexperiment::VariationRecord& loaded = store.Records().at(T(sample.id));
  EXPECT_EQ(loaded.variationId, T(sample.variationId));
  EXPECT_EQ(loaded.campaignId, T(sample.campaignId));
  EXPECT_EQ(loaded.challengerType, T(sample.challengerType));
  EXPECT_EQ(kelappsupport::feature::SnapshotOverrides().size(), 4 * records.size());
  store.Save();
  EXPECT_EQ(testsupport::ReadAll(file), text);

  const ParsedState parsed = BaselineLoad(file.string());
  EXPECT_EQ(parsed.records.size(), records.size());
  EXPECT_EQ(parsed.records[123].at("variationId").as_string(), sample.variationId);
  BaselineSave(RecordDocument(records), (temp_ / "baseline").string());
  EXPECT_EQ(testsupport::ReadAll(temp_ / "baseline"), text);
  EXPECT_FALSE(std::filesystem::exists(temp_ / "baseline.tmp"));
}

TEST_F(WorkloadFileTest, BaselineLoadReportsBadFiles) {
  EXPECT_THROW(BaselineLoad((temp_ / "missing").string()), std::runtime_error);
  testsupport::WriteAll(temp_ / "bad", R"({"exp":"{not json"})");
  EXPECT_THROW(BaselineLoad((temp_ / "bad").string()), std::exception);
}

}  // namespace
}  // namespace kelab_bench
