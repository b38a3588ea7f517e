// A save cut short at each of its steps, followed by a power loss: the next
// process must find the state file as it was before the save or as the save
// left it, never empty or torn, and as the save left it whenever the save
// returned.

#include <optional>
#include <string>
#include <vector>

#include "kelcore/string/conversions.h"
#include "store/state_file.h"
#include "store/store_test_support.h"
#include "testsupport/error_of.h"
#include "testsupport/memory_env.h"

namespace kelabexperiment {
namespace {

using platform::ScopedEnv;
using testsupport::MemoryEnv;

const char kFolder[] = "/docs";
const char kStatePath[] = "/docs/ABExperiment";
const char kOld[] =
    R"({"exp":"{\"variation\":\"challenger\"}","other":"{\"variation\":\"control\"}"})";

struct Update {
  const char* experimentId;
  const char* variationPayload;
};
const Update kForceExp = {"exp", R"({"variation":"forced_control"})"};
const Update kAddNew = {"new", R"({"variation":"challenger"})"};

void Merge(ExperimentStore& store, const Update& update) {
  store.Merge(T(update.experimentId), T(update.variationPayload), T(""));
}

// A whole process's save: it loads the file first, as the manager does.
void Save(const Update& update) {
  ExperimentStore store(T(kStatePath));
  Merge(store, update);
}

// What a process finds at the state path: nothing, the records it loads (as
// state text), or why they do not load.
using Found = std::optional<std::string>;

Found Look(MemoryEnv& fs) {
  if (fs.Stat(kStatePath) != platform::EntryKind::kFile) return std::nullopt;
  try {
    const ExperimentStore store(T(kStatePath));
    return kelcore::string::ToStd(SerializeState(store.Records(), T(kStatePath)));
  } catch (const std::exception& e) {
    return std::string("unloadable: ") + e.what();
  }
}

std::string Describe(const Found& found) { return found ? *found : "(no state file)"; }

struct Scenario {
  std::optional<std::string> initial;  // the state file before, durable
  std::vector<Update> earlier;         // saves that complete before the one cut
  Update cut;
};

class PowerLossTest : public ::testing::Test {
 protected:
  // The disk up to the save that is cut. Only the initial state is made
  // durable here: the earlier saves must make themselves durable.
  static void Prepare(MemoryEnv& fs, const Scenario& scenario) {
    fs.CreateFolder(kFolder);
    if (scenario.initial) fs.PutFile(kStatePath, *scenario.initial);
    fs.SyncEverything();
    for (const Update& update : scenario.earlier) Save(update);
  }

  // What a process finds before or after the cut save when nothing fails.
  static Found Reference(const Scenario& scenario, bool afterCutSave) {
    MemoryEnv fs;
    ScopedEnv scope(fs);
    Prepare(fs, scenario);
    if (afterCutSave) Save(scenario.cut);
    return Look(fs);
  }

  // Cuts the save at operation 0, 1, ... until it runs to its end.
  static void CheckEveryCrashPoint(const Scenario& scenario) {
    const Found before = Reference(scenario, false);
    const Found after = Reference(scenario, true);
    ASSERT_NE(before, after) << "the save must change the file";
    for (std::size_t n = 0;; ++n) {
      ASSERT_LT(n, 1000u) << "the save does not end";
      MemoryEnv fs;
      ScopedEnv scope(fs);
      Prepare(fs, scenario);
      ExperimentStore store(T(kStatePath));
      fs.CrashAtOperation(n);
      const bool returned =
          testsupport::ErrorOf<FileError>([&] { Merge(store, scenario.cut); }) == "no error";
      const bool crashed = fs.Operations() > n;
      fs.SimulatePowerLoss();
      const Found found = Look(fs);
      if (returned) {
        EXPECT_EQ(found, after) << "the save returned; crash point " << n;
      } else {
        EXPECT_TRUE(found == before || found == after)
            << "crash at operation " << n << ": " << Describe(found);
      }
      if (!crashed) {
        EXPECT_TRUE(returned) << "a save that met no crash failed";
        return;
      }
    }
  }

  testsupport::ScopedFeatureService features_;
};

TEST_F(PowerLossTest, ACutSaveLeavesTheVersionBeforeOrAfterItNeverATornOne) {
  const Scenario scenarios[] = {
      {kOld, {}, kForceExp},          // a save over an old file
      {std::nullopt, {}, kForceExp},  // a first save: no file or the new one
      {kOld, {kAddNew}, kForceExp},   // a save that returned survives the next one's cut
  };
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(Describe(scenario.initial) + ", " + std::to_string(scenario.earlier.size()) +
                 " earlier saves");
    CheckEveryCrashPoint(scenario);
  }
}

}  // namespace
}  // namespace kelabexperiment
