// Faults of the disk and the file system end in the outcome the library
// defines: no partial write, no crash, the previous file intact.

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "kelabexperiment/errors.h"
#include "store/experiment_store.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment {
namespace {

#ifndef _WIN32
UTF8String T(const std::string& text) { return kelcore::string::FromStd(text); }
#endif

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
    } catch (const kelabexperiment::FileError&) {
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

}  // namespace
}  // namespace kelabexperiment
