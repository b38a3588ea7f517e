// Script code's view of the library: the class "ABExperimentScript" that the
// module registers at load, made and called the way a script engine does.

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "kelabexperiment/kelabexperiment.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/testing/feature_service_testing.h"
#include "kelscripting/engine/script_calls.h"
#include "kelscripting/factory/script_object_definition_registrar.h"
#include "kelscripting/script_exception.h"
#include "kelscripting/threads/ui_thread.h"
#include "testsupport/error_of.h"
#include "testsupport/scoped_feature_service.h"
#include "testsupport/scoped_ui_queue.h"
#include "testsupport/scoped_user_docs_dir.h"

namespace {

using kelcore::UTF8String;
using kelscripting::ScriptArgumentList;
using kelscripting::ScriptContext;
using ::testing::HasSubstr;

UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }

kelscripting::ScriptValue Value(const boost::any& value) {
  return boost::make_shared<boost::any>(value);
}

ScriptArgumentList Arguments(const boost::any& user, const boost::any& freeUser = false) {
  return {Value(user), Value(T("desktop")), Value(T("retail")), Value(freeUser)};
}

class ScriptBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kelscripting::factory::RunRegisteredDefiners(), 1u);  // into scope_'s registry
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
  testsupport::ScopedUserDocsDir docsScope_{docs_.path()};
  kelscripting::definition::ScopedScriptDefinitions scope_;
  testsupport::ScopedFeatureService features_;
  testsupport::ScopedUIQueue uiQueue_;
};

// A bad argument ends the call before initialize runs. A good call runs the
// whole initialisation on the calling thread and answers a bool at once, also
// where script code takes promises.
TEST_F(ScriptBridgeTest, InitializeChecksItsArgumentsThenRunsTheWholeInitialisation) {
  kelabexperiment::RegisterExperimentIdentifier(
      kelcore::utility::ImmutableString::Create(T("BridgeExp")));
  const auto definition = scope_.Get()->FindObjectDefinition(T("ABExperimentScript"));
  ASSERT_TRUE(definition);  // registered by the module as it loaded
  EXPECT_EQ(definition->GetNamespace(), T("kelabexperiment"));
  // The item's flag word: a method (4) with method flag 0x80000, no option
  // and no extra flags, so that every call runs at once on the caller's thread.
  const auto method = definition->FindProperty(T("initialize"));
  ASSERT_TRUE(method);
  EXPECT_EQ(method->GetFlags(), 0x80004u);
  ScriptArgumentList missingFlag = Arguments(T("badUser"));
  missingFlag.pop_back();
  const std::pair<ScriptArgumentList, const char*> bad[] = {
      {missingFlag, "argument 3 (\"freeUser\") is missing; expected bool"},
      {Arguments(T("badUser"), T("false")), "argument 3 (\"freeUser\") must be bool, got string"},
      {Arguments(true), "argument 0 (\"quillUserID\") must be string, got bool"},
  };
  for (const auto& [arguments, message] : bad) {
    kelappsupport::feature::ScopedCallRecorder recorder;
    EXPECT_THAT(testsupport::ErrorOf<kelscripting::ScriptArgumentException>(
                    [&] { CallInitialize(0, arguments); }),
                HasSubstr(message));
    EXPECT_TRUE(recorder.Calls().empty()) << message;  // no override withdrawn
  }
  EXPECT_FALSE(std::filesystem::exists(docs_ / "Users"));

  // The bad calls registered no handler; the good ones one for the feature.
  EXPECT_EQ(kelappsupport::feature::CountNotifications(T("BridgeExp_variation")), 0u);
  for (const ScriptContext::Flags flags :
       {ScriptContext::Flags{0}, ScriptContext::kTakesPromises}) {
    const std::string user = "user" + std::to_string(flags);
    const auto call = CallInitialize(flags, Arguments(T(user)));
    EXPECT_EQ(call.type, kelscripting::ScriptTransferTypeInfo::Of<bool>());
    EXPECT_TRUE(boost::any_cast<bool>(*kelscripting::GetScriptResult(call.values)));
    EXPECT_TRUE(std::filesystem::is_regular_file(StateFile(user))) << flags;
    EXPECT_EQ(kelappsupport::feature::CountNotifications(T("BridgeExp_variation")), 1u);
    EXPECT_EQ(kelscripting::threads::PendingUITaskCount(), 0u);
  }
}

}  // namespace
