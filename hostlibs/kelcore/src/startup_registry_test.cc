#include "kelcore/config/initializer_registrar.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "kelcore/config/kel_exception.h"

namespace kelcore::config {
namespace {

bool Listed(const std::string& name) {
  const auto entries = StartupRegistry::List();
  return std::any_of(entries.begin(), entries.end(),
                     [&](const StartupRegistry::Entry& e) { return e.name == name; });
}

TEST(StartupRegistryTest, RegistrationLivesAsLongAsTheRegistrar) {
  int runs = 0;
  {
    InitializerRegistrar registrar("test.lifetime", kInitializerContextApplication,
                                   [&] { return ++runs > 0; }, {}, {}, {});
    EXPECT_TRUE(Listed("test.lifetime"));
    EXPECT_TRUE(StartupRegistry::RunInit("test.lifetime"));
    EXPECT_TRUE(StartupRegistry::RunInit("test.lifetime"));
    EXPECT_EQ(runs, 2);
    for (const char* taken : {"test.lifetime", "", static_cast<const char*>(nullptr)}) {
      EXPECT_THROW(InitializerRegistrar(taken, kInitializerContextNone, {}, {}, {}, {}),
                   kel_exception);
    }
  }
  EXPECT_FALSE(Listed("test.lifetime"));
  EXPECT_THROW(StartupRegistry::RunInit("test.lifetime"), kel_exception);
}

class Skippable : public InitializerRegistrar {
 public:
  using InitializerRegistrar::InitializerRegistrar;
  bool CanBeSkipped() const override { return true; }
};

TEST(StartupRegistryTest, RunAllOrdersDependenciesAndShutsDownInReverse) {
  std::string trace;
  const auto note = [&trace](const char* step) {
    return [&trace, step] {
      trace += step;
      return true;
    };
  };
  std::array<DependencyNamePacket, 16> needsBase{};
  needsBase[0].name = "test.base";
  InitializerRegistrar top("test.top", kInitializerContextApplication, note("init-top "),
                           note("down-top "), note("ready-top "), needsBase);
  InitializerRegistrar base("test.base", kInitializerContextApplication, note("init-base "),
                            note("down-base "), {}, {});
  Skippable optional("test.optional", kInitializerContextNone, [] { return false; }, {}, {}, {});
  EXPECT_TRUE(StartupRegistry::RunAll());
  StartupRegistry::ShutdownAll();
  EXPECT_EQ(trace, "init-base init-top ready-top down-top down-base ");

  InitializerRegistrar failing("test.failing", kInitializerContextNone, [] { return false; }, {},
                               {}, {});
  EXPECT_FALSE(StartupRegistry::RunAll());
}

}  // namespace
}  // namespace kelcore::config
