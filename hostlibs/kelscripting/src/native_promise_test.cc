#include "kelscripting/native_promise.h"

#include <thread>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "kelscripting/types/property_type.h"

namespace kelscripting {
namespace {

// Wait blocks until another thread settles the promise; what that first
// settlement gave stays, whatever comes after.
TEST(NativePromiseTest, WaitGivesTheFirstSettlementMadeOnAnotherThread) {
  NativePromise promise(12);
  EXPECT_EQ(promise.GetContextHandle(), 12);
  EXPECT_EQ(promise.GetState(), NativePromise::State::kPending);
  const PropertyType<bool> type;
  std::thread settler([&] {
    ScriptValueMap payload;
    type.Validate(true, &payload);
    EXPECT_TRUE(promise.Reject(payload, type.GetTransferTypeInfo()));
  });
  promise.Wait();
  settler.join();
  EXPECT_FALSE(promise.Resolve(ScriptValueMap(), ScriptTransferTypeInfo()));
  EXPECT_FALSE(promise.Reject(ScriptValueMap(), ScriptTransferTypeInfo()));
  const auto outcome = promise.Wait();
  EXPECT_EQ(outcome.state, NativePromise::State::kRejected);
  EXPECT_EQ(outcome.type, type.GetTransferTypeInfo());
  EXPECT_TRUE(boost::any_cast<bool>(*GetScriptResult(outcome.payload)));
}

}  // namespace
}  // namespace kelscripting
