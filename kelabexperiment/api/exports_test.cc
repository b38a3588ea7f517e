#include <thread>

#include <gtest/gtest.h>

#include "kelabexperiment/kelabexperiment.h"
#include "manager/ab_experiment_manager.h"
#include "registry/identifier_registry.h"

namespace kelabexperiment {
namespace {

ImmutableString Id(const char* text) { return ImmutableString::_PrivateCreateStatic(text); }

TEST(ExportsTest, RegistrationGoesThroughTheSingleRegistryOneKindEach) {
  RegisterExperimentIdentifier(Id("ExportExp"));
  RegisterExperimentIdentifier(Id("ExportExp"));
  RegisterMessagingIdentifier(Id("ExportMsg"));
  const ImmutableStringSet ids = GetRegisteredExperimentIdentifiers();
  EXPECT_EQ(ids.count(Id("ExportExp")), 1u);
  EXPECT_EQ(ids.count(Id("ExportMsg")), 0u);
  EXPECT_EQ(IdentifierRegistry::Instance().CopyMessaging().count(Id("ExportMsg")), 1u);
  EXPECT_EQ(IdentifierRegistry::Instance().CopyMessaging().count(Id("ExportExp")), 0u);
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

}  // namespace
}  // namespace kelabexperiment
