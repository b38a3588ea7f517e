// Runs every operation under callgrind's control: collection is switched on
// around each measured run only, and the counts of each operation are dumped
// under its name. Run as
//   valgrind --tool=callgrind --collect-atstart=no kelab_bench_ir [name-filter]
// Each dump's "desc: Trigger" line names "<operation> runs=<n>": its counts
// cover n operations. Outside valgrind the requests do nothing.

#include <valgrind/callgrind.h>

#include <cstdio>
#include <string>

#include "operations.h"
#include "scratch_folder.h"
#include "testsupport/temp_dir.h"

namespace {
constexpr int kRuns = 3;
}  // namespace

int main(int argc, char** argv) {
  const std::string filter = argc > 1 ? argv[1] : "";
  const testsupport::TempDir scratch;
  for (const kelab_bench::OperationSpec& spec : kelab_bench::AllOperations()) {
    if (spec.name.find(filter) == std::string::npos) continue;
    const auto op = spec.make(kelab_bench::ScratchFolder(scratch.path(), spec.name));
    // One run outside the counts: first-use work (lazy statics, first
    // allocations of the heap) is not the operation's.
    op->Prepare();
    op->Run();
    op->Finish();
    for (int i = 0; i < kRuns; ++i) {
      op->Prepare();
      CALLGRIND_TOGGLE_COLLECT;
      op->Run();
      CALLGRIND_TOGGLE_COLLECT;
      op->Finish();
    }
    const std::string label =
        spec.name + " runs=" + std::to_string(kRuns * static_cast<int>(op->BatchSize()));
    CALLGRIND_DUMP_STATS_AT(label.c_str());
    std::printf("%s\n", label.c_str());
  }
  return 0;
}
