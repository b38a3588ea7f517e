// Where a call of a script member runs, for every combination of the item's
// flags and the context's.

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "kelcore/threads/cpu_bound_executor.h"
#include "kelscripting/definition/script_item_definition.h"
#include "kelscripting/native_promise.h"
#include "kelscripting/script_exception.h"
#include "kelscripting/script_object.h"
#include "kelscripting/threads/ui_thread.h"
#include "testsupport/error_of.h"
#include "testsupport/scoped_ui_queue.h"

namespace kelscripting::definition {
namespace {

using kelcore::string::FromStd;
using kelcore::threads::AsyncExecutor;
using kelcore::threads::ScopedExecutorFactory;
using threads::PendingUITaskCount;
using threads::RunPendingUITasks;
using threads::UIThreadRunner;

class Target : public ScriptObject {
 public:
  Target() : ScriptObject("Target") {}
};

using Item = ScriptItemDefinition<Target>;
constexpr Item::Flags kExecutor = ScriptItemDefinitionBase::kRunsOnExecutor;
constexpr Item::Flags kUI = ScriptItemDefinitionBase::kRunsOnUIThread;
constexpr ScriptContext::Flags kPromises = ScriptContext::kTakesPromises;

// Records the runs of a member function that answers true.
struct Probe {
  std::atomic<int> calls{0};
  std::atomic<bool> onUIThread{false};
  std::thread::id thread;  // read only after the call is known to be over

  Item::Function Function() {
    return [this](ScriptArgumentList*, ScriptValueMap* result, Target*) {
      thread = std::this_thread::get_id();
      onUIThread = threads::IsUIThread();
      ++calls;
      PropertyType<bool>().Validate(true, result);
    };
  }
};

// Keeps posted tasks until the test runs them.
class QueueExecutor : public AsyncExecutor {
 public:
  bool Post(const boost::function<void()>& task, std::uint32_t flags) override {
    if (!accepts || flags != 0) return false;
    tasks.push_back(task);
    return true;
  }
  void RunAll() {
    for (auto& task : std::exchange(tasks, {})) task();
  }
  bool accepts = true;
  std::vector<boost::function<void()>> tasks;
};

boost::intrusive_ptr<Item> MakeItem(Item::Flags flags, Item::Function primary) {
  boost::intrusive_ptr<Item> item(
      new Item(flags, FromStd("probe"), PropertyType<bool>(), {}, FromStd("")));
  item->SetPrimary(std::move(primary));
  return item;
}

boost::intrusive_ptr<Target> ObjectIn(ScriptContext::Flags contextFlags) {
  boost::intrusive_ptr<Target> object(new Target);
  object->SetContext(new ScriptContext(contextFlags));
  return object;
}

bool ResultIsTrue(const ScriptValueMap& map) {
  const ScriptValue result = GetScriptResult(map);
  return result && boost::any_cast<bool>(*result);
}

std::shared_ptr<NativePromise> PromiseIn(const ScriptValueMap& map) {
  const ScriptValue result = GetScriptResult(map);
  if (!result) return nullptr;
  return std::dynamic_pointer_cast<NativePromise>(
      boost::any_cast<std::shared_ptr<NativeObject>>(*result));
}

class ScriptCallDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(PendingUITaskCount(), 0u); }

  // Invokes `item` on `object` with no arguments.
  ScriptTransferTypeInfo Invoke(Item& item, ScriptObjectBase& object) {
    return item.Invoke(&arguments_, &result_, &object);
  }

  ScriptArgumentList arguments_;
  ScriptValueMap result_;
  Probe probe_;
  testsupport::ScopedUIQueue queue_;  // after probe_, whose function queued tasks call
};

// Outside promise contexts a call answers synchronously: at once on the
// calling thread, or on the UI thread while the caller waits. A secondary
// function answers so even in a promise context.
TEST_F(ScriptCallDispatchTest, SynchronousCallsRunOnTheCallingOrTheUIThread) {
  UIThreadRunner runner(nullptr);
  const struct {
    Item::Flags item;
    ScriptContext::Flags context;
    bool onUIThread, secondary;
  } rows[] = {
      {0, 0, false, false},  {kExecutor, 0, false, false},      {0, kPromises, false, false},
      {kUI, 0, true, false}, {kUI | kExecutor, 0, true, false}, {kUI, kPromises, true, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.item << "/" << row.context << "/" << row.secondary);
    result_.clear();
    const auto item = MakeItem(row.item, row.secondary ? Item::Function() : probe_.Function());
    if (row.secondary) item->SetSecondary(probe_.Function());
    item->SetSynchronousTimeout(-1);
    const auto object = ObjectIn(row.context);
    EXPECT_EQ(row.secondary ? item->InvokeSecondary(&arguments_, &result_, object.get())
                            : Invoke(*item, *object),
              ScriptTransferTypeInfo::Of<bool>());
    EXPECT_TRUE(ResultIsTrue(result_));  // from the UI thread: copied back
    EXPECT_EQ(probe_.onUIThread, row.onUIThread);
    EXPECT_EQ(probe_.thread == std::this_thread::get_id(), !row.onUIThread);
  }
  EXPECT_EQ(probe_.calls, 6);
}

// In a promise context an item that runs elsewhere answers at once with a
// pending promise; the executor runs it unless only the UI bit is set. A
// failure inside the call rejects the promise with its message.
TEST_F(ScriptCallDispatchTest, PromiseContextsGetAPendingPromiseSettledWhereTheItemRuns) {
  const auto executor = boost::make_shared<QueueExecutor>();
  const ScopedExecutorFactory factory([executor] { return executor; });
  for (const Item::Flags flags : {kExecutor, kExecutor | kUI, kUI}) {
    SCOPED_TRACE(flags);
    result_.clear();
    const auto object = ObjectIn(kPromises);
    EXPECT_EQ(Invoke(*MakeItem(flags, probe_.Function()), *object),
              ScriptTransferTypeInfo::Of<std::shared_ptr<NativeObject>>());
    const auto promise = PromiseIn(result_);
    ASSERT_TRUE(promise);
    EXPECT_EQ(promise->GetContextHandle(), object->GetContextHdl());
    EXPECT_EQ(promise->GetState(), NativePromise::State::kPending);
    const bool onUI = flags == kUI;
    EXPECT_EQ(executor->tasks.size(), onUI ? 0u : 1u);
    EXPECT_EQ(PendingUITaskCount(), onUI ? 1u : 0u);
    executor->RunAll();
    RunPendingUITasks();
    EXPECT_EQ(probe_.onUIThread, onUI);
    const auto outcome = promise->Wait();
    EXPECT_EQ(outcome.state, NativePromise::State::kResolved);
    EXPECT_EQ(outcome.type, ScriptTransferTypeInfo::Of<bool>());
    EXPECT_TRUE(ResultIsTrue(outcome.payload));
  }
  EXPECT_EQ(probe_.calls, 3);

  const std::pair<Item::Function, const char*> failures[] = {
      {[](ScriptArgumentList*, ScriptValueMap*, Target*) { throw std::runtime_error("disk full"); },
       "disk full"},
      {[](ScriptArgumentList*, ScriptValueMap*, Target*) { throw 42; }, "Error"}};
  for (const auto& [function, message] : failures) {
    Invoke(*MakeItem(kExecutor, function), *ObjectIn(kPromises));
    const auto promise = PromiseIn(result_);
    ASSERT_TRUE(promise);
    EXPECT_NO_THROW(executor->RunAll());
    const auto outcome = promise->Wait();
    EXPECT_EQ(outcome.state, NativePromise::State::kRejected);
    EXPECT_EQ(outcome.type, ScriptTransferTypeInfo::Of<UTF8String>());
    EXPECT_EQ(boost::any_cast<UTF8String>(*GetScriptResult(outcome.payload)), FromStd(message));
  }
}

// A call with nothing to run, or nothing to run it on, answers the declared
// type and does nothing; a promise call that cannot start throws. Neither
// touches the result.
TEST_F(ScriptCallDispatchTest, CallsThatCannotRunOrStartLeaveTheResultAlone) {
  result_[FromStd("kept")] = boost::make_shared<boost::any>(1);
  const auto item = MakeItem(0, probe_.Function());
  const auto target = ObjectIn(0);
  const boost::intrusive_ptr<ScriptObject> stranger(new ScriptObject("Stranger"));
  const auto boolType = ScriptTransferTypeInfo::Of<bool>();
  EXPECT_EQ(item->Invoke(nullptr, &result_, target.get()), boolType);
  EXPECT_EQ(item->Invoke(&arguments_, nullptr, target.get()), boolType);
  EXPECT_EQ(item->Invoke(&arguments_, &result_, nullptr), boolType);
  EXPECT_EQ(Invoke(*item, *stranger), boolType);
  EXPECT_EQ(Invoke(*MakeItem(0, Item::Function()), *target), boolType);
  EXPECT_EQ(item->InvokeSecondary(&arguments_, &result_, target.get()), boolType);  // none set

  const auto object = ObjectIn(kPromises);
  const auto refusing = boost::make_shared<QueueExecutor>();
  refusing->accepts = false;
  const struct {
    boost::shared_ptr<AsyncExecutor> executor;
    Item::Flags flags;
    const char* reason;
  } cases[] = {{nullptr, kExecutor, "no CPU-bound executor is available"},
               {refusing, kExecutor, "the CPU-bound executor refused it"},
               {refusing, kUI, "the UI thread refused it"}};
  threads::SetUIThreadAcceptsTasks(false);  // until queue_ ends
  for (const auto& c : cases) {
    const ScopedExecutorFactory factory([&c] { return c.executor; });
    EXPECT_EQ(testsupport::ErrorOf<InternalErrorException>(
                  [&] { Invoke(*MakeItem(c.flags, probe_.Function()), *object); }),
              std::string("cannot start the call of \"probe\": ") + c.reason);
  }
  EXPECT_EQ(result_.size(), 1u);
  EXPECT_EQ(result_.count(FromStd("kept")), 1u);
  EXPECT_EQ(probe_.calls, 0);
}

// Errors of a direct or a waited call reach the caller; a waited call that
// gives up leaves no answer, and its task then does not run.
TEST_F(ScriptCallDispatchTest, WaitedCallsAnswerInTimeOrNotAtAllAndLetErrorsReachTheCaller) {
  const auto throwing = MakeItem(0, [](ScriptArgumentList*, ScriptValueMap*, Target*) {
    throw std::runtime_error("bad call");
  });
  EXPECT_THROW(Invoke(*throwing, *ObjectIn(0)), std::runtime_error);

  const auto late = MakeItem(kUI, probe_.Function());
  late->SetSynchronousTimeout(0);
  result_[FromStd("stale")] = boost::make_shared<boost::any>(1);
  Invoke(*late, *ObjectIn(0));  // nobody runs the UI queue: the wait ends unanswered
  EXPECT_TRUE(result_.empty());
  EXPECT_EQ(RunPendingUITasks(), 1u);
  EXPECT_EQ(probe_.calls, 0);

  // A waited call's result is checked against the declared type.
  const auto wrongType = MakeItem(kUI, [](ScriptArgumentList*, ScriptValueMap* result, Target*) {
    PropertyType<UTF8String>().Validate(FromStd("text"), result);
  });
  wrongType->SetSynchronousTimeout(-1);
  UIThreadRunner runner(nullptr);
  EXPECT_THROW(Invoke(*wrongType, *ObjectIn(0)), ScriptException);
}

}  // namespace
}  // namespace kelscripting::definition
