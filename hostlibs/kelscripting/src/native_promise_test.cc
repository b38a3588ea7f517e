#include "kelscripting/native_promise.h"

#include <thread>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "kelscripting/types/property_type.h"

namespace kelscripting {
namespace {

TEST(NativePromiseTest, OnlyTheFirstSettlementCounts) {
  NativePromise promise(12);
  EXPECT_EQ(promise.GetContextHandle(), 12);
  EXPECT_EQ(promise.GetState(), NativePromise::State::kPending);
  ScriptValueMap payload;
  const PropertyType<bool> type;
  type.Validate(true, &payload);
  EXPECT_TRUE(promise.Reject(payload, type.GetTransferTypeInfo()));
  EXPECT_FALSE(promise.Resolve(ScriptValueMap(), ScriptTransferTypeInfo()));
  EXPECT_FALSE(promise.Reject(ScriptValueMap(), ScriptTransferTypeInfo()));
  const auto outcome = promise.Wait();
  EXPECT_EQ(outcome.state, NativePromise::State::kRejected);
  EXPECT_EQ(outcome.type, type.GetTransferTypeInfo());
  EXPECT_TRUE(boost::any_cast<bool>(*GetScriptResult(outcome.payload)));
}

TEST(NativePromiseTest, WaitReturnsTheOutcomeSettledOnAnotherThread) {
  NativePromise promise(1);
  std::thread settler([&] {
    ScriptValueMap payload;
    PropertyType<bool>().Validate(false, &payload);
    promise.Resolve(payload, PropertyType<bool>().GetTransferTypeInfo());
  });
  const auto outcome = promise.Wait();
  settler.join();
  EXPECT_EQ(outcome.state, NativePromise::State::kResolved);
  EXPECT_FALSE(boost::any_cast<bool>(*GetScriptResult(outcome.payload)));
}

}  // namespace
}  // namespace kelscripting
