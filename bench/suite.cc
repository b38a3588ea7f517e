// Wall-clock times of every operation and its baseline, with Google Benchmark.
// bench/run turns them into ratios next to the instruction counts.

#include <benchmark/benchmark.h>

#include "operations.h"
#include "scratch_folder.h"
#include "testsupport/temp_dir.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const testsupport::TempDir scratch;
  const std::vector<kelab_bench::OperationSpec> specs = kelab_bench::AllOperations();
  for (const kelab_bench::OperationSpec& spec : specs) {
    benchmark::RegisterBenchmark(spec.name.c_str(), [&spec, &scratch](benchmark::State& state) {
      const auto op = spec.make(kelab_bench::ScratchFolder(scratch.path(), spec.name));
      const bool pauses = op->HasUnmeasuredSteps();
      for (auto _ : state) {
        if (pauses) {
          state.PauseTiming();
          op->Prepare();
          state.ResumeTiming();
        }
        op->Run();
        if (pauses) {
          state.PauseTiming();
          op->Finish();
          state.ResumeTiming();
        }
      }
      state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(op->BatchSize()));
    })->Unit(benchmark::kMicrosecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
