#include "shared_call_result.h"

#include <thread>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

namespace kelscripting::definition {
namespace {

using kelcore::string::FromStd;

// A caller that stops waiting copies the map while the UI task may be storing
// into it: every copy must be all or nothing (ThreadSanitizer checks that the
// two never touch the map at once).
TEST(SharedCallResultTest, ACopyNeverOverlapsTheStore) {
  for (int round = 0; round < 200; ++round) {
    SharedCallResult shared;
    std::thread task([&] {
      ScriptValueMap local;
      local[FromStd("a")] = boost::make_shared<boost::any>(1);
      local[FromStd("b")] = boost::make_shared<boost::any>(2);
      shared.Store(std::move(local));
    });
    const ScriptValueMap copy = shared.Copy();
    task.join();
    EXPECT_TRUE(copy.empty() || copy.size() == 2u) << copy.size();
    EXPECT_EQ(shared.Copy().size(), 2u);
  }
}

}  // namespace
}  // namespace kelscripting::definition
