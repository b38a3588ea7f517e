// Faults of the disk and the file system end in the outcome the library
// defines: no partial write, no crash, the previous file intact.

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "kelappsupport/feature/feature_inspection.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file_system.h"
#include "kelscripting/threads/ui_thread.h"
#include "manager/ab_experiment_manager.h"
#include "store/experiment_store.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment {
namespace {

UTF8String T(const std::string& text) { return kelcore::string::FromStd(text); }
ImmutableString Id(const std::string& text) { return ImmutableString::Create(T(text)); }

const char kOld[] = R"({"exp":"{\"variation\":\"challenger\"}"})";

TEST(FaultInjectionTest, FullDiskFailsTheSaveAndKeepsThePreviousFile) {
#ifdef _WIN32
  GTEST_SKIP() << "needs fork() and a file size limit (setrlimit RLIMIT_FSIZE) to make writes "
                  "fail as on a full disk; Windows has neither";
#else
  testsupport::TempDir folder;
  const auto file = folder / "ABExperiment";
  testsupport::WriteAll(file, kOld);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The file size limit makes write() fail with EFBIG, as on a full disk.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64, 64};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
    ExperimentStore store(T(file.u8string()));
    try {
      store.Merge(T("exp"), T(R"({"variation":"forced_control"})"), T(""));
    } catch (const kelcore::filesupport::FileError&) {
      // Nothing kept: the next update tries again.
      _exit(store.Records().at(T("exp")).variation == VariationKind::Challenger ? 0 : 11);
    }
    _exit(12);  // the write went through although it could not
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(testsupport::ReadAll(file), kOld);
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    EXPECT_EQ(entry.path().filename().u8string().find(".tmp"), std::string::npos) << entry.path();
  }
#endif
}

class ManagerFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kelappsupport::feature::ResetFeatureService();
    kelcore::filesupport::Dir::SetUserDocsDir(testsupport::Wide(docs_.path()));
  }
  void TearDown() override {
    kelappsupport::feature::ResetFeatureService();
    kelscripting::threads::RunPendingUITasks();
    kelcore::filesupport::Dir::SetUserDocsDir(kelcore::UTF16String());
  }
  testsupport::TempDir docs_;
  ABExperimentManager manager_;
};

TEST_F(ManagerFaultTest, AFolderWhereTheStateFileBelongsFailsInitializeAndIsLeftAlone) {
  const auto stateFolder = docs_ / "Users" / "u" / "ABExperiment";
  std::filesystem::create_directories(stateFolder);
  try {
    manager_.Initialize(Id("u"), Id(""), Id(""), false);
    FAIL() << "Initialize succeeded";
  } catch (const kelcore::filesupport::FileError& e) {
    EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
  }
  manager_.UpdateFromDataSource(DataSourceType::DefaultValueTaken, T("exp"), T(""), T(""));
  EXPECT_TRUE(std::filesystem::is_directory(stateFolder));
  EXPECT_TRUE(std::filesystem::is_empty(stateFolder));
  EXPECT_TRUE(kelappsupport::feature::SnapshotOverrides().empty());
}

TEST_F(ManagerFaultTest, DocumentsFolderThatCannotBeCreatedFailsInitializeClearly) {
  testsupport::WriteAll(docs_ / "Users", "a file where the folder belongs");
  try {
    manager_.Initialize(Id("u"), Id(""), Id(""), false);
    FAIL() << "Initialize succeeded";
  } catch (const kelcore::filesupport::FileError& e) {
    EXPECT_NE(std::string(e.what()).find("Users"), std::string::npos) << e.what();
  }
  EXPECT_EQ(testsupport::ReadAll(docs_ / "Users"), "a file where the folder belongs");
  EXPECT_TRUE(manager_.WithStore([](const ExperimentStore* s) { return s == nullptr; }));
}

}  // namespace
}  // namespace kelabexperiment
