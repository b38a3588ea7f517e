#include "scripting/ab_experiment_script_definition.h"

#include <gtest/gtest.h>

namespace kelabexperiment::scripting {
namespace {

using kelcore::string::FromStd;
using kelscripting::ScriptTransferTypeInfo;
using kelscripting::definition::ScopedScriptDefinitions;
using kelscripting::definition::ScriptComponentDefinition;

TEST(ABExperimentScriptDefinitionTest, DefinesTheClassScriptCodeExpects) {
  ScopedScriptDefinitions scope;
  const std::string typeName = "class kelabexperiment::scripting::ABExperimentScriptObject";
  for (const char* name : {"first", "second"}) {
    scope.Get()->AddScriptComponentGroupDefinition(typeName,
                                                   new ScriptComponentDefinition(FromStd(name)));
  }
  scope.Get()->DefineObject<ABExperimentScriptObject>();

  const auto definition = scope.Get()->FindObjectDefinition(FromStd("ABExperimentScript"));
  ASSERT_TRUE(definition);
  EXPECT_EQ(definition->GetDescription(), FromStd("ABExperimentScript script object"));
  EXPECT_EQ(*definition->GetObjectType(), typeid(ABExperimentScriptObject));
  EXPECT_EQ(definition->GetNamespace(), FromStd("kelabexperiment"));
  EXPECT_EQ(definition->GetObjectFlags(true), 0u);
  ASSERT_EQ(definition->ComponentsEnd() - definition->ComponentsBegin(), 2);
  EXPECT_EQ((*definition->ComponentsBegin())->GetName(), FromStd("first"));

  const auto initialize = definition->FindProperty(FromStd("initialize"));
  ASSERT_TRUE(initialize);
  EXPECT_EQ(initialize->GetFlags(), 0x80004u);
  EXPECT_EQ(initialize->GetDescription(), FromStd("called to Initialize"));
  EXPECT_EQ(initialize->GetTransferTypeInfo(), ScriptTransferTypeInfo::Of<bool>());
  const auto& parameters = initialize->GetParameters();
  ASSERT_EQ(parameters.size(), 4u);
  const char* names[] = {"quillUserID", "deviceType", "storeType", "freeUser"};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(parameters[i].GetName(), FromStd(names[i]));
    EXPECT_EQ(parameters[i].GetType(), i < 3 ? ScriptTransferTypeInfo::Of<UTF8String>()
                                             : ScriptTransferTypeInfo::Of<bool>());
  }
}

TEST(ABExperimentScriptDefinitionTest, WithoutACurrentDefinitionTheClassHasNoInitialize) {
  ScopedScriptDefinitions scope;
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
