// A cleanup tool or a sync client deletes or replaces the user's lock file
// while this host's save holds it, and another process, finding no lock held,
// saves meanwhile: neither record may be lost.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "platform/env.h"
#include "store/experiment_store.h"
#include "testsupport/fault_env.h"
#include "testsupport/scoped_feature_service.h"
#include "testsupport/spawned_process.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment {
namespace {

#ifndef _WIN32
constexpr int kRounds = 60;

UTF8String T(const std::string& text) { return kelcore::string::FromStd(text); }
#endif

TEST(LockLossTest, ALockFileDeletedOrReplacedWhileHeldLosesNoRecord) {
#ifdef _WIN32
  GTEST_SKIP() << "a held lock file cannot be deleted or replaced on Windows (it is open without "
                  "delete sharing; WindowsEnvTest shows it)";
#else
  testsupport::TempDir docs;
  testsupport::TempDir logs;
  testsupport::ScopedFeatureService features;
  const auto folder = docs / "Users" / "u";
  std::filesystem::create_directories(folder);
  const std::string state = (folder / "ABExperiment").u8string();
  const std::string lock = state + ".lock";
  testsupport::FaultEnv env;
  platform::ScopedEnv scope(env);
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string mine = "a" + std::to_string(round);
    const std::string theirs = "b" + std::to_string(round);
    ExperimentStore store(T(state));
    bool interfered = false;
    // After this save read the file under its lock, and before it replaces it.
    env.onCreate = [&] {
      if (std::exchange(interfered, true)) return;
      if (round % 2 == 0) {
        std::filesystem::remove(lock);
      } else {
        testsupport::WriteAll(docs / "new.lock", "");
        std::filesystem::rename(docs / "new.lock", lock);
      }
      testsupport::SpawnedProcess other(
          {KELAB_PATH, "set", "--create", "--docs", docs.path().u8string(), "--user", "u",
           "--experiment", theirs, "--variation", "challenger"},
          {{}, logs / "set.txt"});
      ASSERT_EQ(other.Wait(), 0) << other.Failure() << ": "
                                 << testsupport::ReadAll(logs / "set.txt");
    };
    store.Merge(T(mine), T(R"({"variation":"forced_control"})"), T(""));
    ASSERT_TRUE(interfered);
    const ExperimentStore reloaded(T(state));
    // Every earlier round's two records, and this round's.
    ASSERT_EQ(reloaded.Records().size(), 2u * static_cast<unsigned>(round + 1));
    EXPECT_EQ(reloaded.Records().at(T(mine)).variation, VariationKind::ForcedControl);
    EXPECT_EQ(reloaded.Records().at(T(theirs)).variation, VariationKind::Challenger);
  }
  env.onCreate = nullptr;
#endif
}

}  // namespace
}  // namespace kelabexperiment
