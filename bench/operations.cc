#include "operations.h"

#include <fstream>
#include <stdexcept>

#include <boost/optional.hpp>

#include "baselines.h"
#include "floor_loader.h"
#include "kelabexperiment/kelabexperiment.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/testing/feature_service_testing.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/string/conversions.h"
#include "kelscripting/threads/ui_thread.h"
#include "manager/ab_experiment_manager.h"
#include "manager/default_value_handler.h"
#include "registry/identifier_registry.h"
#include "store/experiment_store.h"
#include "stream_baselines.h"
#include "workload.h"

namespace kelab_bench {
namespace {

namespace fs = std::filesystem;
using kelabexperiment::ABExperimentManager;
using kelabexperiment::ExperimentStore;
using kelabexperiment::ImmutableString;
using kelabexperiment::UTF8String;

const std::size_t kStoreSizes[] = {10, 1000, 10000};
const std::size_t kHandlerBatch = 256;
const std::size_t kInitializeExperiments = 1000;
// Users whose state files the exported Initialize and the floor both load.
const std::size_t kFloorSizes[] = {100, 10000};

UTF8String Text(std::string_view text) { return kelcore::string::FromStd(text); }

// Writes the state file of `count` generated records and returns its path.
fs::path WriteState(const fs::path& file, std::size_t count) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << StateFileText(MakeRecords(count));
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
  return file;
}

void RegisterExperiments(std::size_t count) {
  auto& registry = kelabexperiment::IdentifierRegistry::Instance();
  for (const std::string& id : ExperimentIds(count)) {
    registry.RegisterExperiment(ImmutableString::Create(Text(id)));
  }
  if (registry.CopyExperiments().size() != count) {
    throw std::runtime_error("the registry holds other experiments than the " +
                             std::to_string(count) + " this benchmark needs");
  }
}

class LoadBaseline : public Operation {
 public:
  explicit LoadBaseline(fs::path file) : path_(file.string()) {}
  void Prepare() override { kept_ = ParsedState(); }
  void Run() override { kept_ = BaselineLoad(path_); }

 private:
  std::string path_;
  ParsedState kept_;  // dropped outside the measurement, like the store
};

class LoadStream : public Operation {
 public:
  explicit LoadStream(fs::path file) : path_(file.string()) {}
  void Prepare() override { kept_.clear(); }
  void Run() override { kept_ = StreamLoad(path_); }

 private:
  std::string path_;
  std::vector<Record> kept_;  // dropped outside the measurement, like the store
};

class Load : public Operation {
 public:
  explicit Load(const fs::path& file) : path_(Text(file.u8string())) {}
  // Start-up: no store, no override set.
  void Prepare() override {
    store_.reset();
    kelappsupport::feature::ResetFeatureService();
  }
  void Run() override { store_.emplace(path_); }

 private:
  UTF8String path_;
  boost::optional<ExperimentStore> store_;
};

class SaveBaseline : public Operation {
 public:
  SaveBaseline(boost::json::object document, fs::path file)
      : document_(std::move(document)), path_(file.string()) {}
  void Run() override { BaselineSave(document_, path_); }
  bool HasUnmeasuredSteps() const override { return false; }

 private:
  boost::json::object document_;
  std::string path_;
};

class SaveStream : public Operation {
 public:
  SaveStream(std::vector<Record> records, fs::path file)
      : records_(std::move(records)), path_(file.string()) {}
  void Run() override { StreamSave(records_, path_); }
  bool HasUnmeasuredSteps() const override { return false; }

 private:
  std::vector<Record> records_;
  std::string path_;
};

class Save : public Operation {
 public:
  explicit Save(const fs::path& file) : store_(Text(file.u8string())) {}
  void Run() override { store_.Save(); }
  bool HasUnmeasuredSteps() const override { return false; }

 private:
  ExperimentStore store_;
};

// Merges an update that changes one stored record at every run: it alternates
// between two variations.
class MergeChanged : public Operation {
 public:
  MergeChanged(const fs::path& file, std::string id)
      : store_(Text(file.u8string())), id_(Text(id)) {}
  void Run() override {
    store_.Merge(id_, challenger_ ? kChallenger : kControl, kIdentifiers);
    challenger_ = !challenger_;
  }
  bool HasUnmeasuredSteps() const override { return false; }

 private:
  const UTF8String kChallenger = Text(R"({"variation":"challenger","challengerType":"copy"})");
  const UTF8String kControl = Text(R"({"variation":"intended_control","challengerType":"none"})");
  const UTF8String kIdentifiers =
      Text(R"({"variationId":"0b5f1c2e-9d47-4a1b-8f3e-6c2d7a9e4b10","campaignId":3141592653})");
  ExperimentStore store_;
  UTF8String id_;
  bool challenger_ = true;
};

// The handler as the feature service calls it, for names of registered
// experiments' variation features, in turn.
class Handler : public Operation {
 public:
  explicit Handler(std::size_t registered) {
    RegisterExperiments(registered);
    for (const std::string& id : ExperimentIds(registered))
      names_.push_back(Text(id + "_variation"));
  }
  ~Handler() override { kelscripting::threads::RunPendingUITasks(); }
  void Run() override {
    for (std::size_t i = 0; i < kHandlerBatch; ++i) {
      kelabexperiment::OnDefaultValueTaken(&manager_, names_[next_++ % names_.size()]);
    }
  }
  // The queued updates run on the UI thread, not in the handler. The manager
  // has no store, so they only set its flags.
  void Finish() override { kelscripting::threads::RunPendingUITasks(); }
  std::size_t BatchSize() const override { return kHandlerBatch; }

 private:
  ABExperimentManager manager_;
  std::vector<UTF8String> names_;
  std::size_t next_ = 0;
};

// Initialize at the host's start-up: a fresh manager and feature service, the
// user's folder and state file present.
class Initialize : public Operation {
 public:
  explicit Initialize(const fs::path& scratch) {
    RegisterExperiments(kInitializeExperiments);
    const fs::path docs = scratch / "docs";
    WriteState(docs / "Users" / "bench-user" / "ABExperiment", kInitializeExperiments);
    kelcore::filesupport::Dir::SetUserDocsDir(kelcore::string::UTF8to16(Text(docs.u8string())));
  }
  ~Initialize() override {
    kelappsupport::feature::ResetFeatureService();  // handlers point at the manager
    kelcore::filesupport::Dir::SetUserDocsDir(kelcore::UTF16String());
  }
  void Prepare() override {
    kelappsupport::feature::ResetFeatureService();
    manager_ = std::make_unique<ABExperimentManager>();
  }
  void Run() override { manager_->Initialize(user_, device_, storeType_, false); }

 private:
  const ImmutableString user_ = ImmutableString::Create(Text("bench-user"));
  const ImmutableString device_ = ImmutableString::Create(Text("desktop"));
  const ImmutableString storeType_ = ImmutableString::Create(Text("web"));
  std::unique_ptr<ABExperimentManager> manager_;
};

// The state file of the user "bench-<count>" with `count` records, in the
// documents folder `docs`.
fs::path WriteUserState(const fs::path& docs, std::size_t count) {
  return WriteState(docs / "Users" / ("bench-" + std::to_string(count)) / "ABExperiment", count);
}

void ExpectOverrides(std::size_t records, const char* after) {
  if (kelappsupport::feature::SnapshotOverrides().size() != 4 * records) {
    throw std::runtime_error(std::string(after) + " did not set the 4 overrides of each of the " +
                             std::to_string(records) + " records");
  }
}

// The exported Initialize of a user with stored records, as a host calls it
// at sign-in, with nothing registered: then its work is the floor's. Between
// runs the feature service starts empty, as for the floor, and the manager
// holds an empty user's store, so that no run pays for dropping the last
// run's store.
class ExportedInitialize : public Operation {
 public:
  ExportedInitialize(const fs::path& scratch, std::size_t records) : records_(records) {
    if (!kelabexperiment::GetRegisteredExperimentIdentifiers().empty()) {
      throw std::runtime_error("initialize/" + std::to_string(records) +
                               " must run before any experiment is registered");
    }
    WriteUserState(scratch / "docs", records);
    kelcore::filesupport::Dir::SetUserDocsDir(
        kelcore::string::UTF8to16(Text((scratch / "docs").u8string())));
    Prepare();
    Run();
    ExpectOverrides(records_, "Initialize");
  }
  ~ExportedInitialize() override {
    Prepare();
    kelcore::filesupport::Dir::SetUserDocsDir(kelcore::UTF16String());
  }
  void Prepare() override {
    kelabexperiment::Initialize(empty_, device_, storeType_, false);
    kelappsupport::feature::ResetFeatureService();
  }
  void Run() override { kelabexperiment::Initialize(user_, device_, storeType_, false); }

 private:
  std::size_t records_;
  const ImmutableString user_ = ImmutableString::Create(Text("bench-" + std::to_string(records_)));
  const ImmutableString empty_ = ImmutableString::Create(Text("bench-empty"));
  const ImmutableString device_ = ImmutableString::Create(Text("desktop"));
  const ImmutableString storeType_ = ImmutableString::Create(Text("web"));
};

// The floor loader on the same user's file, into the same feature service,
// emptied between runs the same way.
class Floor : public Operation {
 public:
  Floor(const fs::path& scratch, std::size_t records)
      : path_(WriteUserState(scratch / "docs", records).string()) {
    Prepare();
    Run();
    ExpectOverrides(records, "The floor loader");
  }
  ~Floor() override { kelappsupport::feature::ResetFeatureService(); }
  void Prepare() override { kelappsupport::feature::ResetFeatureService(); }
  void Run() override { FloorLoad(path_); }

 private:
  std::string path_;
};

std::string Name(const char* operation, std::size_t size) {
  return std::string(operation) + "/" + std::to_string(size);
}

}  // namespace

std::vector<OperationSpec> AllOperations() {
  std::vector<OperationSpec> specs;
  for (std::size_t n : kFloorSizes) {
    specs.push_back({Name("initialize", n), [n](const fs::path& scratch) {
                       return std::make_unique<ExportedInitialize>(scratch, n);
                     }});
    specs.push_back({Name("floor", n),
                     [n](const fs::path& scratch) { return std::make_unique<Floor>(scratch, n); }});
  }
  for (std::size_t registered : {std::size_t{10}, std::size_t{1000}}) {
    specs.push_back({Name("handler", registered), [registered](const fs::path&) {
                       return std::make_unique<Handler>(registered);
                     }});
  }
  for (std::size_t n : kStoreSizes) {
    specs.push_back({Name("load_baseline", n), [n](const fs::path& scratch) {
                       return std::make_unique<LoadBaseline>(WriteState(scratch / "state", n));
                     }});
    specs.push_back({Name("load_stream", n), [n](const fs::path& scratch) {
                       return std::make_unique<LoadStream>(WriteState(scratch / "state", n));
                     }});
    specs.push_back({Name("load", n), [n](const fs::path& scratch) {
                       return std::make_unique<Load>(WriteState(scratch / "state", n));
                     }});
  }
  for (std::size_t n : kStoreSizes) {
    specs.push_back({Name("save_baseline", n), [n](const fs::path& scratch) {
                       return std::make_unique<SaveBaseline>(RecordDocument(MakeRecords(n)),
                                                             scratch / "state");
                     }});
    specs.push_back({Name("save_stream", n), [n](const fs::path& scratch) {
                       return std::make_unique<SaveStream>(MakeRecords(n), scratch / "state");
                     }});
    specs.push_back({Name("save", n), [n](const fs::path& scratch) {
                       kelappsupport::feature::ResetFeatureService();
                       return std::make_unique<Save>(WriteState(scratch / "state", n));
                     }});
    specs.push_back({Name("merge", n), [n](const fs::path& scratch) {
                       kelappsupport::feature::ResetFeatureService();
                       const std::vector<std::string> ids = ExperimentIds(n);
                       return std::make_unique<MergeChanged>(WriteState(scratch / "state", n),
                                                             ids[ids.size() / 2]);
                     }});
  }
  specs.push_back({Name("initialize", kInitializeExperiments),
                   [](const fs::path& scratch) { return std::make_unique<Initialize>(scratch); }});
  return specs;
}

}  // namespace kelab_bench
