#include "scripting/ab_experiment_script_definition.h"

#include <gtest/gtest.h>

namespace kelabexperiment::scripting {
namespace {

using kelcore::string::FromStd;

// What a host sees of the class through a script engine is tested across
// the module boundary (script_bridge_test); here, the one path a host does
// not take: members defined while the definition is not the current one.
TEST(ABExperimentScriptDefinitionTest, WithoutACurrentDefinitionTheClassHasNoInitialize) {
  kelscripting::definition::ScopedScriptDefinitions scope;
  // A registered definition is sealed and never becomes current.
  boost::intrusive_ptr<ABExperimentScriptDefinition> definition(
      new ABExperimentScriptDefinition(FromStd("ABExperimentScript"), FromStd("")));
  scope.Get()->AddObjectDefinition(definition->GetName(), definition);
  definition->DefineMembers();
  EXPECT_FALSE(definition->FindProperty(FromStd("initialize")));
  EXPECT_TRUE(definition->GetNamespace().empty());
  EXPECT_EQ(scope.Get()->FindObjectDefinition(FromStd("ABExperimentScript")), definition);
}

}  // namespace
}  // namespace kelabexperiment::scripting
