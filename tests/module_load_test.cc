// Loads the module the way a host does at run time and checks what its
// load-time objects do.

#include <algorithm>
#include <functional>
#include <utility>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "kelabexperiment/errors.h"
#include "kelabexperiment/kelabexperiment.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelcore/config/initializer_registrar.h"
#include "kelcore/utility/immutable_string.h"
#include "kelscripting/factory/script_object_definition_registrar.h"
#include "kelscripting/threads/ui_thread.h"
#include "testsupport/error_of.h"
#include "testsupport/loaded_module.h"
#include "testsupport/scoped_feature_service.h"
#include "testsupport/scoped_user_docs_dir.h"

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

// A host that loads a second copy of the module (another file name) keeps
// running: the start-up registry refuses the copy, which then registers
// nothing and whose every export throws ModuleRefusedError, while the first copy
// goes on working, also after the copy is unloaded.
TEST(ModuleLoadTest, ASecondCopyIsRefusedWithoutEndingTheHost) {
  using kelcore::utility::ImmutableString;
  using Register = void (*)(const ImmutableString&);
  using Registered = bool (*)();
  const char kRegister[] =
      "_ZN15kelabexperiment28RegisterExperimentIdentifierERKN7kelcore7utility15ImmutableStringE";
  using Initialize =
      int (*)(const ImmutableString&, const ImmutableString&, const ImmutableString&, bool);
  using Identifiers = kelabexperiment::ImmutableStringSet (*)();
  using ::testing::AllOf;
  using ::testing::HasSubstr;
  const char kIsComplete[] = "_ZN15kelabexperiment24IsESDKInitializeCompleteEv";
  const char kRegisterMessaging[] =
      "_ZN15kelabexperiment27RegisterMessagingIdentifierERKN7kelcore7utility15ImmutableStringE";
  const char kInitialize[] =
      "_ZN15kelabexperiment10InitializeERKN7kelcore7utility15ImmutableStringES4_S4_b";
  const char kIdentifiers[] = "_ZN15kelabexperiment34GetRegisteredExperimentIdentifiersEv";
  testsupport::TempDir temp;
  // Were the copy's Initialize to run, it would write here.
  testsupport::ScopedUserDocsDir docsScope(temp.path());
  testsupport::ScopedFeatureService features;
  testsupport::LoadedModule first(KELAB_MODULE_PATH);
  ASSERT_TRUE(first.Loaded()) << first.Error();
  const std::filesystem::path copyFile = temp / ("copy-" + first.File().filename().u8string());
  std::filesystem::copy_file(first.File(), copyFile);
  {
    testsupport::LoadedModule copy(copyFile.u8string());
    ASSERT_TRUE(copy.Loaded()) << copy.Error();
    const auto entries = StartupRegistry::List();
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const auto& e) { return e.name == "kelabexperiment"; }),
              1);
    EXPECT_TRUE(ScriptClassRegistered());  // the first copy's, once
    const auto id = ImmutableString::Create(kelcore::string::FromStd("CopyExp"));
    const std::pair<const char*, std::function<void()>> exports[] = {
        {"register", [&] { copy.Symbol<Register>(kRegister)(id); }},
        {"register messaging", [&] { copy.Symbol<Register>(kRegisterMessaging)(id); }},
        {"is complete", [&] { copy.Symbol<Registered>(kIsComplete)(); }},
        {"initialize", [&] { copy.Symbol<Initialize>(kInitialize)(id, id, id, false); }},
        {"identifiers", [&] { copy.Symbol<Identifiers>(kIdentifiers)(); }},
    };
    for (const auto& [name, call] : exports) {
      EXPECT_THAT(testsupport::ErrorOf<kelabexperiment::ModuleRefusedError>(call),
                  AllOf(HasSubstr("another copy of kelabexperiment is loaded"),
                        HasSubstr("initializer 'kelabexperiment' is registered already")))
          << name;
    }
    EXPECT_FALSE(first.Symbol<Registered>(kIsComplete)());
    ASSERT_TRUE(copy.Unload());
  }
  EXPECT_TRUE(Registered("kelabexperiment"));
  EXPECT_TRUE(ScriptClassRegistered());
  EXPECT_FALSE(first.Symbol<Registered>(kIsComplete)());
}

// A host may unload the module while the feature service still holds the
// handlers it registered; a later fallback must not call into unmapped code.
TEST(ModuleLoadTest, HandlersStayCallableAfterTheHostUnloadsTheModule) {
  using kelcore::utility::ImmutableString;
  using Register = void (*)(const ImmutableString&);
  using Initialize =
      int (*)(const ImmutableString&, const ImmutableString&, const ImmutableString&, bool);
  testsupport::TempDir docs;
  testsupport::ScopedUserDocsDir docsScope(docs.path());
  testsupport::ScopedFeatureService features;
  {
    testsupport::LoadedModule module(KELAB_MODULE_PATH);
    ASSERT_TRUE(module.Loaded()) << module.Error();
    const auto registerExperiment = module.Symbol<Register>(
        "_ZN15kelabexperiment28RegisterExperimentIdentifierERKN7kelcore7utility15ImmutableStringE");
    const auto initialize = module.Symbol<Initialize>(
        "_ZN15kelabexperiment10InitializeERKN7kelcore7utility15ImmutableStringES4_S4_b");
    ASSERT_NE(registerExperiment, nullptr);
    ASSERT_NE(initialize, nullptr);
    const auto id = [](const char* text) {
      return ImmutableString::Create(kelcore::string::FromStd(text));
    };
    registerExperiment(id("Exp"));
    initialize(id("u"), id(""), id(""), false);
    ASSERT_TRUE(module.Unload());
  }
  kelappsupport::feature::ReadIntFeature(kelcore::string::FromStd("Exp_variation"), 0);
  EXPECT_EQ(kelscripting::threads::RunPendingUITasks(), 1u);
  EXPECT_NE(testsupport::ReadAll(docs / "Users" / "u" / "ABExperiment").find("forced_control"),
            std::string::npos);
}

}  // namespace
