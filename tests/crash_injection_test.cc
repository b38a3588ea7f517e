// A process that dies at any moment of a save leaves the state file whole:
// a child rewrites the file in a loop and is killed with SIGKILL at random
// points, many times; after each kill the file must load and hold one
// complete version.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>

#include <gtest/gtest.h>

#include "kelappsupport/feature/feature_inspection.h"
#include "store/experiment_store.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment {
namespace {

UTF8String T(const std::string& text) { return kelcore::string::FromStd(text); }

constexpr int kExperiments = 40;

// Runs in the child: loads the store, tells the parent through `ready` once
// a save has completed, then keeps changing records until killed.
[[noreturn]] void SaveForever(const UTF8String& path, int ready, unsigned seed) {
  ExperimentStore store(path);
  for (unsigned round = seed;; ++round) {
    const std::string id = "experiment-" + std::to_string(round % kExperiments);
    store.Merge(
        T(id),
        T(R"({"variation":"challenger","challengerType":"copy-)" + std::to_string(round) + "\"}"),
        T(R"({"variationId":"v)" + std::to_string(round) + R"(","campaignId":)" +
          std::to_string(round) + "}"));
    if (ready >= 0) {
      const char byte = 1;
      if (write(ready, &byte, 1) != 1) _exit(3);
      close(ready);
      ready = -1;
    }
  }
}

TEST(CrashInjectionTest, KilledWritersNeverLeaveATornOrEmptyFile) {
  testsupport::TempDir folder;
  const UTF8String path = T((folder / "ABExperiment").u8string());
  std::mt19937 random(20261206);
  std::uniform_int_distribution<int> delayMicros(0, 3000);
  constexpr int kKills = 200;
  std::size_t previousRecords = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipeFds[0]);
      SaveForever(path, pipeFds[1], static_cast<unsigned>(kill) * 7919u);
    }
    close(pipeFds[1]);
    char byte = 0;
    ASSERT_EQ(read(pipeFds[0], &byte, 1), 1) << "the writer died before its first save";
    close(pipeFds[0]);
    usleep(static_cast<useconds_t>(delayMicros(random)));  // a random point of a later save
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";

    kelappsupport::feature::ResetFeatureService();
    try {
      ExperimentStore reloaded(path);
      const auto& records = reloaded.Records();
      ASSERT_FALSE(records.empty()) << "kill " << kill;
      ASSERT_GE(records.size(), previousRecords) << "kill " << kill;  // never an older file
      previousRecords = records.size();
      for (const auto& [id, record] : records) {
        ASSERT_EQ(record.variation, VariationKind::Challenger) << kill;
        ASSERT_EQ(*record.variationId, T("v") + *record.campaignId) << kill;  // one write
      }
    } catch (const std::exception& e) {
      FAIL() << "kill " << kill << ": the state file does not load: " << e.what();
    }
  }
  EXPECT_EQ(previousRecords, static_cast<std::size_t>(kExperiments));
}

}  // namespace
}  // namespace kelabexperiment
