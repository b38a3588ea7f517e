#include "store/state_file.h"

#include "store/experiment_store.h"
#include "store/store_test_support.h"
#include "testsupport/fault_file_system.h"

namespace kelabexperiment {
namespace {

const char kOld[] = R"({"exp":"{\"variation\":\"challenger\"}"})";

class StateFileTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    WriteFile(kOld);
  }
  bool TempLeft() const { return std::filesystem::exists(temp_ / "ABExperiment.tmp"); }
  testsupport::FaultFileSystem faults_;
};

TEST_F(StateFileTest, ReplacesTheWholeFileAndLeavesNoTemporary) {
  EXPECT_TRUE(WriteStateFileAtomically(StatePath(), T("{}")));
  EXPECT_EQ(FileText(), "{}");
  EXPECT_FALSE(TempLeft());
  EXPECT_EQ(ReadStateFile(StatePath()), T("{}"));
  EXPECT_EQ(ReadStateFile(T((temp_ / "missing").u8string())), T(""));
}

TEST_F(StateFileTest, EveryInjectedFaultKeepsTheOldFile) {
  kelcore::filesupport::ScopedFileSystem scope(faults_);
  const std::string text(5000, ' ');
  for (long long budget : {0LL, 1LL, 4096LL, 4999LL}) {
    faults_.writeBudget = budget;
    EXPECT_THROW(WriteStateFileAtomically(StatePath(), T(text)), kelcore::filesupport::FileError);
    EXPECT_EQ(FileText(), kOld) << budget;
    EXPECT_FALSE(TempLeft()) << budget;
  }
  faults_.writeBudget = -1;
  faults_.failSync = true;
  EXPECT_THROW(WriteStateFileAtomically(StatePath(), T("{}")), kelcore::filesupport::FileError);
  faults_.failSync = false;
  faults_.failRename = true;
  EXPECT_THROW(WriteStateFileAtomically(StatePath(), T("{}")), kelcore::filesupport::FileError);
  faults_.failRename = false;
  faults_.failCreateFile = true;
  EXPECT_FALSE(WriteStateFileAtomically(StatePath(), T("{}")));  // cannot create: skipped
  EXPECT_EQ(FileText(), kOld);
  EXPECT_FALSE(TempLeft());
  EXPECT_EQ(faults_.renames.load(), 0);
}

TEST_F(StateFileTest, AFolderInPlaceOfTheFileIsLeftAlone) {
  const auto folder = temp_ / "folder";
  std::filesystem::create_directory(folder);
  testsupport::WriteAll(folder / "inside", "x");
  EXPECT_FALSE(WriteStateFileAtomically(T(folder.u8string()), T("{}")));
  EXPECT_EQ(testsupport::ReadAll(folder / "inside"), "x");
  EXPECT_TRUE(ExperimentStore(T(folder.u8string())).Records().empty());
}

TEST_F(StateFileTest, AStaleTemporaryFromACrashIsIgnoredThenReplaced) {
  testsupport::WriteAll(temp_ / "ABExperiment.tmp", "{\"half");
  ExperimentStore store(StatePath());
  EXPECT_EQ(store.Records().size(), 1u);
  store.Merge(T("exp"), T(R"({"variation":"forced_control"})"), T(""));
  EXPECT_FALSE(TempLeft());
  EXPECT_EQ(ExperimentStore(StatePath()).Records().at(T("exp")).variation,
            VariationKind::ForcedControl);
}

TEST_F(StateFileTest, FailedSaveInMergeKeepsMemoryAndFileButSetsNoOverride) {
  ExperimentStore store(StatePath());
  kelappsupport::feature::ResetFeatureService();
  kelcore::filesupport::ScopedFileSystem scope(faults_);
  faults_.writeBudget = 3;
  EXPECT_THROW(store.Merge(T("exp"), T(R"({"variation":"forced_control"})"), T("")),
               kelcore::filesupport::FileError);
  EXPECT_EQ(store.Records().at(T("exp")).variation, VariationKind::ForcedControl);
  EXPECT_EQ(Features("exp"), "-|-|-|-");
  EXPECT_EQ(FileText(), kOld);
}

}  // namespace
}  // namespace kelabexperiment
