// Loads the module the way a host does at run time and checks what its
// load-time objects do.

#include <algorithm>

#include <gtest/gtest.h>

#include "kelcore/config/initializer_registrar.h"
#include "kelscripting/factory/script_object_definition_registrar.h"
#include "testsupport/loaded_module.h"

namespace {

using kelcore::config::StartupRegistry;

bool ScriptClassRegistered() {
  const auto types = kelscripting::factory::RegisteredObjectTypes();
  return std::count(types.begin(), types.end(),
                    "class kelabexperiment::scripting::ABExperimentScriptObject") == 1;
}

bool Registered(const std::string& name) {
  const auto entries = StartupRegistry::List();
  return std::any_of(entries.begin(), entries.end(),
                     [&](const StartupRegistry::Entry& e) { return e.name == name; });
}

TEST(ModuleLoadTest, LoadingRegistersTheInitializerAndUnloadingRemovesIt) {
  ASSERT_FALSE(Registered("kelabexperiment"));
  ASSERT_FALSE(ScriptClassRegistered());
  for (int round = 0; round < 2; ++round) {  // the module can be loaded again
    testsupport::LoadedModule module(KELAB_MODULE_PATH);
    ASSERT_TRUE(module.Loaded()) << module.Error();
    ASSERT_TRUE(Registered("kelabexperiment"));
    EXPECT_TRUE(ScriptClassRegistered());
    const auto entries = StartupRegistry::List();
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [](const auto& e) { return e.name == "kelabexperiment"; });
    EXPECT_EQ(entry->contexts, 4u);
    EXPECT_TRUE(entry->dependencies.empty());
    EXPECT_TRUE(StartupRegistry::RunInit("kelabexperiment"));
    EXPECT_TRUE(StartupRegistry::RunInit("kelabexperiment"));  // any number of times
    EXPECT_TRUE(StartupRegistry::RunAll());
    ASSERT_TRUE(module.Unload());
    EXPECT_FALSE(Registered("kelabexperiment"));
    EXPECT_FALSE(ScriptClassRegistered());
  }
}

}  // namespace
