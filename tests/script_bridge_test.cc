// Script code's view of the library: the class "ABExperimentScript" that the
// module registers at load, made and called the way a script engine does.

#include <algorithm>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "kelabexperiment/kelabexperiment.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelcore/filesupport/dir.h"
#include "kelscripting/engine/script_calls.h"
#include "kelscripting/factory/script_object_definition_registrar.h"
#include "kelscripting/script_exception.h"
#include "kelscripting/threads/ui_thread.h"
#include "testsupport/temp_dir.h"

namespace {

using kelcore::UTF8String;
using kelscripting::ScriptArgumentList;
using kelscripting::ScriptContext;
using ::testing::HasSubstr;

UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }

kelscripting::ScriptValue Value(const boost::any& value) {
  return boost::make_shared<boost::any>(value);
}

ScriptArgumentList Arguments(const std::string& user) {
  return {Value(T(user)), Value(T("desktop")), Value(T("retail")), Value(false)};
}

class ScriptBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kelappsupport::feature::ResetFeatureService();
    kelcore::filesupport::Dir::SetUserDocsDir(testsupport::Wide(docs_.path()));
    ASSERT_EQ(kelscripting::factory::RunRegisteredDefiners(), 1u);  // into scope_'s registry
  }
  void TearDown() override {
    kelappsupport::feature::ResetFeatureService();
    while (kelscripting::threads::PendingUITaskCount() > 0) {
      kelscripting::threads::RunPendingUITasks();
    }
    kelcore::filesupport::Dir::SetUserDocsDir(kelcore::UTF16String());
  }

  boost::intrusive_ptr<kelscripting::ScriptObject> NewObject(ScriptContext::Flags flags) {
    return kelscripting::engine::CreateScriptObject(*scope_.Get(), T("ABExperimentScript"),
                                                    new ScriptContext(flags));
  }
  kelscripting::engine::ScriptCallResult CallInitialize(ScriptContext::Flags flags,
                                                        ScriptArgumentList arguments) {
    return kelscripting::engine::CallScriptMethod(*NewObject(flags), T("initialize"),
                                                  std::move(arguments));
  }
  std::filesystem::path StateFile(const std::string& user) const {
    return docs_ / "Users" / user / "ABExperiment";
  }

  testsupport::TempDir docs_;
  kelscripting::definition::ScopedScriptDefinitions scope_;
};

TEST_F(ScriptBridgeTest, LoadingTheLibraryRegistersTheClass) {
  const auto types = kelscripting::factory::RegisteredObjectTypes();
  EXPECT_EQ(std::count(types.begin(), types.end(),
                       "class kelabexperiment::scripting::ABExperimentScriptObject"),
            1);
  const auto definition = scope_.Get()->FindObjectDefinition(T("ABExperimentScript"));
  ASSERT_TRUE(definition);
  EXPECT_EQ(definition->GetNamespace(), T("kelabexperiment"));
  EXPECT_TRUE(definition->FindProperty(T("initialize")));
}

TEST_F(ScriptBridgeTest, InitializeRunsTheWholeInitialisationAndAnswersTrue) {
  kelabexperiment::RegisterExperimentIdentifier(
      kelcore::utility::ImmutableString::Create(T("BridgeExp")));
  kelappsupport::feature::ScopedCallRecorder recorder;
  const auto call = CallInitialize(0, Arguments("bridgeUser"));
  EXPECT_EQ(call.type, kelscripting::ScriptTransferTypeInfo::Of<bool>());
  EXPECT_TRUE(boost::any_cast<bool>(*kelscripting::GetScriptResult(call.values)));
  EXPECT_TRUE(std::filesystem::is_regular_file(StateFile("bridgeUser")));
  EXPECT_EQ(kelappsupport::feature::CountNotifications(T("BridgeExp_variation")), 1u);
  EXPECT_FALSE(recorder.Calls().empty());  // overrides withdrawn, the handler registered
}

TEST_F(ScriptBridgeTest, InAPromiseContextInitializeStillAnswersABoolAtOnce) {
  const auto call = CallInitialize(ScriptContext::kTakesPromises, Arguments("promiseUser"));
  EXPECT_EQ(call.type, kelscripting::ScriptTransferTypeInfo::Of<bool>());
  EXPECT_TRUE(boost::any_cast<bool>(*kelscripting::GetScriptResult(call.values)));
  EXPECT_TRUE(std::filesystem::is_regular_file(StateFile("promiseUser")));  // already done
  EXPECT_EQ(kelscripting::threads::PendingUITaskCount(), 0u);
}

TEST_F(ScriptBridgeTest, ABadArgumentEndsTheCallBeforeInitializeRuns) {
  kelabexperiment::RegisterExperimentIdentifier(
      kelcore::utility::ImmutableString::Create(T("BadArgExp")));
  ScriptArgumentList missingFlag = Arguments("badUser");
  missingFlag.pop_back();
  ScriptArgumentList textFlag = Arguments("badUser");
  textFlag[3] = Value(T("false"));
  ScriptArgumentList flagUser = Arguments("badUser");
  flagUser[0] = Value(true);
  const struct {
    ScriptArgumentList arguments;
    const char* message;
  } cases[] = {
      {missingFlag, "argument 3 (\"freeUser\") is missing; expected bool"},
      {textFlag, "argument 3 (\"freeUser\") must be bool, got string"},
      {flagUser, "argument 0 (\"quillUserID\") must be string, got bool"},
      {{}, "is missing; expected string"},
  };
  for (const auto& c : cases) {
    kelappsupport::feature::ScopedCallRecorder recorder;
    try {
      CallInitialize(0, c.arguments);
      ADD_FAILURE() << "a bad call ran: " << c.message;
    } catch (const kelscripting::ScriptArgumentException& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message));
    }
    EXPECT_TRUE(recorder.Calls().empty()) << c.message;  // no override withdrawn
  }
  EXPECT_FALSE(std::filesystem::exists(docs_ / "Users"));
  EXPECT_EQ(kelappsupport::feature::CountNotifications(T("BadArgExp_variation")), 0u);
}

}  // namespace
