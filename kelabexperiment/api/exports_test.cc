#include <thread>

#include <gtest/gtest.h>

#include "kelabexperiment/kelabexperiment.h"
#include "manager/ab_experiment_manager.h"
#include "registry/identifier_registry.h"

namespace kelabexperiment {
namespace {

ImmutableString Id(const char* text) { return ImmutableString::_PrivateCreateStatic(text); }

TEST(IdentifierRegistryTest, DuplicatesCollapseAndCopiesAreIndependent) {
  IdentifierRegistry registry;
  registry.RegisterExperiment(Id("RegB"));
  registry.RegisterExperiment(Id("RegA"));
  registry.RegisterExperiment(ImmutableString::Create(kelcore::string::FromStd("RegB")));
  ImmutableStringSet copy = registry.CopyExperiments();
  ASSERT_EQ(copy.size(), 2u);
  EXPECT_EQ(*copy.begin(), Id("RegB"));  // handle order: RegB was interned first

  copy.insert(Id("RegC"));
  registry.RegisterExperiment(Id("RegD"));
  EXPECT_EQ(copy.size(), 3u);
  EXPECT_EQ(copy.count(Id("RegD")), 0u);
  EXPECT_EQ(registry.CopyExperiments().size(), 3u);
  EXPECT_EQ(registry.CopyExperiments().count(Id("RegC")), 0u);
  EXPECT_TRUE(registry.CopyMessaging().empty());  // messaging untouched
}

TEST(ExportsTest, RegistrationGoesThroughTheSingleRegistry) {
  RegisterExperimentIdentifier(Id("ExportExp"));
  RegisterExperimentIdentifier(Id("ExportExp"));
  RegisterMessagingIdentifier(Id("ExportMsg"));
  const ImmutableStringSet ids = GetRegisteredExperimentIdentifiers();
  EXPECT_EQ(ids.count(Id("ExportExp")), 1u);
  EXPECT_EQ(ids.count(Id("ExportMsg")), 0u);
  EXPECT_EQ(IdentifierRegistry::Instance().CopyMessaging().count(Id("ExportMsg")), 1u);
}

TEST(ExportsTest, FirstCallsFromTwoThreadsShareOneInstanceEach) {
  IdentifierRegistry* registries[2];
  ABExperimentManager* managers[2];
  std::thread a([&] {
    registries[0] = &IdentifierRegistry::Instance();
    managers[0] = &ABExperimentManager::Instance();
  });
  std::thread b([&] {
    managers[1] = &ABExperimentManager::Instance();
    registries[1] = &IdentifierRegistry::Instance();
  });
  a.join();
  b.join();
  EXPECT_EQ(registries[0], registries[1]);
  EXPECT_EQ(managers[0], managers[1]);
}

TEST(IdentifierRegistryTest, ConcurrentRegistrationAndCopyingNeverTear) {
  IdentifierRegistry registry;
  constexpr int kIds = 3000;
  std::vector<ImmutableString> ids;
  for (int i = 0; i < kIds; ++i) {
    ids.push_back(ImmutableString::Create(kelcore::string::FromStd("Con" + std::to_string(i))));
  }
  std::thread writer([&] {
    for (const auto& id : ids) registry.RegisterExperiment(id);
  });
  std::size_t last = 0;
  while (last < static_cast<std::size_t>(kIds)) {
    const ImmutableStringSet copy = registry.CopyExperiments();
    ASSERT_GE(copy.size(), last);  // the set only grows
    ASSERT_TRUE(std::is_sorted(copy.begin(), copy.end()));
    last = copy.size();
  }
  writer.join();
}

}  // namespace
}  // namespace kelabexperiment
