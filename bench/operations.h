#pragma once

// The measured operations and their baselines, shared by the Google Benchmark
// suite and the instruction-count driver so that both measure the same thing.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelab_bench {

// One operation. Prepare and Finish run around every Run and are not
// measured; Run is. Not thread-safe.
class Operation {
 public:
  virtual ~Operation() = default;
  virtual void Prepare() {}
  virtual void Run() = 0;
  virtual void Finish() {}
  // How many times one Run does the operation (Run may batch very short ones).
  virtual std::size_t BatchSize() const { return 1; }
  // Whether Prepare or Finish do anything (the suite then pauses its clock).
  virtual bool HasUnmeasuredSteps() const { return true; }
};

struct OperationSpec {
  std::string name;  // "<operation>/<size>", e.g. "load/10000", "load_baseline/10000"
  // Builds the operation's data under `scratch` (an empty folder it may fill).
  std::function<std::unique_ptr<Operation>(const std::filesystem::path& scratch)> make;
};

// Every operation, in the order they must run: the exported Initialize and
// the floor first, since registered experiments can only be added to the
// process's registry and Initialize is to run with none, then the handler
// benchmarks, which need exactly 10, then 1,000.
std::vector<OperationSpec> AllOperations();

}  // namespace kelab_bench
