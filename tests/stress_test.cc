// Everything at once, through the shared module: threads registering
// experiments and reading features (which fires default-value handlers),
// a UI thread running the merges they queue, and script calls of initialize.
// Run under ThreadSanitizer in CI; bounded iterations, no timing.

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "kelabexperiment/kelabexperiment.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelcore/serialization/json.h"
#include "kelscripting/definition/script_definitions.h"
#include "kelscripting/engine/script_calls.h"
#include "kelscripting/factory/script_object_definition_registrar.h"
#include "kelscripting/threads/ui_thread.h"
#include "testsupport/scoped_feature_service.h"
#include "testsupport/scoped_user_docs_dir.h"
#include "testsupport/temp_dir.h"

namespace {

using kelcore::UTF8String;
using kelcore::string::FromStd;

constexpr int kExperiments = 40;
constexpr int kReaders = 2;
constexpr int kReadRounds = 15;
constexpr int kInitializeCalls = 15;

std::string Experiment(int i) { return "Stress" + std::to_string(i); }

void CallInitialize(const std::string& user) {
  const auto object = kelscripting::engine::CreateScriptObject(
      *kelscripting::definition::ScriptDefinitions::GetInstance(), FromStd("ABExperimentScript"),
      new kelscripting::ScriptContext(0));
  kelscripting::ScriptArgumentList arguments{
      boost::make_shared<boost::any>(FromStd(user)), boost::make_shared<boost::any>(FromStd("d")),
      boost::make_shared<boost::any>(FromStd("s")), boost::make_shared<boost::any>(false)};
  kelscripting::engine::CallScriptMethod(*object, FromStd("initialize"), std::move(arguments));
}

// What the UI thread's tasks threw, for the test to show.
class UIErrors {
 public:
  std::function<void(std::exception_ptr)> Handler() {
    return [this](std::exception_ptr e) {
      std::lock_guard<std::mutex> lock(mutex_);
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& ex) {
        said_.push_back(ex.what());
      }
    };
  }
  // REQUIRES: the UI thread has stopped.
  const std::vector<std::string>& Said() const { return said_; }

 private:
  std::mutex mutex_;
  std::vector<std::string> said_;
};

TEST(StressTest, ConcurrentRegistrationReadsMergesAndInitializeStayConsistent) {
  testsupport::TempDir docs;
  testsupport::ScopedUserDocsDir docsScope(docs.path());
  testsupport::ScopedFeatureService features;
  kelscripting::factory::RunRegisteredDefiners();
  UIErrors errors;
  {
    kelscripting::threads::UIThreadRunner ui(errors.Handler());
    CallInitialize("stress");
    std::vector<std::thread> threads;
    threads.emplace_back([] {
      for (int i = 0; i < kExperiments; ++i) {
        kelabexperiment::RegisterExperimentIdentifier(
            kelcore::utility::ImmutableString::Create(FromStd(Experiment(i))));
      }
    });
    for (int r = 0; r < kReaders; ++r) {
      threads.emplace_back([] {
        for (int round = 0; round < kReadRounds; ++round) {
          for (int i = 0; i < kExperiments; ++i) {
            kelappsupport::feature::ReadIntFeature(FromStd(Experiment(i) + "_variation"), 0);
            kelabexperiment::GetRegisteredExperimentIdentifiers();
          }
        }
      });
    }
    threads.emplace_back([] {
      for (int call = 0; call < kInitializeCalls; ++call) CallInitialize("stress");
    });
    for (auto& thread : threads) thread.join();
  }  // the UI thread drains its queue, then stops
  EXPECT_TRUE(errors.Said().empty()) << errors.Said().front();

  // A last, quiet session: every experiment falls back once more, so each
  // must end as forced control, and nothing else may be in the file.
  CallInitialize("stress");
  for (int i = 0; i < kExperiments; ++i) {
    kelappsupport::feature::ReadIntFeature(FromStd(Experiment(i) + "_variation"), 0);
  }
  kelscripting::threads::RunPendingUITasks();
  const auto text = testsupport::ReadAll(docs / "Users" / "stress" / "ABExperiment");
  const auto parsed = kelcore::serialization::JSONParse(FromStd(text));
  ASSERT_TRUE(parsed) << text;
  const auto& records = boost::any_cast<const kelcore::serialization::JsonObject&>(*parsed);
  ASSERT_EQ(records.size(), static_cast<std::size_t>(kExperiments)) << text;
  for (int i = 0; i < kExperiments; ++i) {
    const auto record = kelcore::serialization::GetVariantInObject(records, Experiment(i).c_str());
    ASSERT_TRUE(record) << Experiment(i);
    EXPECT_EQ(kelcore::string::ToStd(boost::any_cast<const UTF8String&>(*record)),
              R"({"campaignId":"","challengerType":"none","variation":"forced_control",)"
              R"("variationId":"forced_control"})");
  }
}

// Application threads read features without pause while the sign-in thread
// switches between two users, and the UI thread runs whatever their fallbacks
// queue: no read during a switch may turn a stored assignment into forced
// control, so both users' files end byte for byte as they began.
TEST(StressTest, ReadsDuringUserSwitchesNeverChangeAStoredAssignment) {
  constexpr int kSwitches = 1000;
  testsupport::TempDir docs;
  testsupport::ScopedUserDocsDir docsScope(docs.path());
  testsupport::ScopedFeatureService features;
  kelscripting::factory::RunRegisteredDefiners();
  const char* const watched[] = {"SwitchA_variation", "SwitchB_variation"};
  for (const char* id : {"SwitchA", "SwitchB"}) {
    kelabexperiment::RegisterExperimentIdentifier(
        kelcore::utility::ImmutableString::Create(FromStd(id)));
  }
  const auto record = [](const char* variation, const char* id) {
    return std::string(R"("{\"campaignId\":\"7\",\"challengerType\":\"copy\",\"variation\":\")") +
           variation + R"(\",\"variationId\":\")" + id + R"(\"}")";
  };
  const std::pair<std::string, std::string> users[] = {
      {"left", "{\"SwitchA\":" + record("challenger", "a1") +
                   ",\"SwitchB\":" + record("challenger", "b1") + "}"},
      {"right", "{\"SwitchA\":" + record("challenger", "a2") +
                    ",\"SwitchB\":" + record("intended_control", "b2") + "}"},
  };
  for (const auto& [user, text] : users) {
    std::filesystem::create_directories(docs / "Users" / user);
    testsupport::WriteAll(docs / "Users" / user / "ABExperiment", text);
  }
  UIErrors errors;
  std::atomic<long> reads{0};
  {
    kelscripting::threads::UIThreadRunner ui(errors.Handler());
    std::atomic<bool> done{false};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
      readers.emplace_back([&] {
        while (!done.load(std::memory_order_relaxed)) {
          for (const char* name : watched) {
            kelappsupport::feature::ReadIntFeature(FromStd(name), 0);
          }
          kelappsupport::feature::ReadIntFeature(FromStd("SwitchUnwatched_variation"), 0);
          reads.fetch_add(1, std::memory_order_relaxed);
        }
      });
    }
    for (int i = 0; i < kSwitches; ++i) CallInitialize(users[i % 2].first);
    done = true;
    for (auto& reader : readers) reader.join();
  }  // the UI thread runs what is still queued, then stops
  EXPECT_TRUE(errors.Said().empty()) << errors.Said().front();
  EXPECT_GT(reads.load(), 0);
  for (const auto& [user, text] : users) {
    EXPECT_EQ(testsupport::ReadAll(docs / "Users" / user / "ABExperiment"), text) << user;
  }
}

}  // namespace
