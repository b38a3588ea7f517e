// Defining script classes, registering them and making their objects.

#include <algorithm>
#include <tuple>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "kelscripting/definition/script_definition_context.h"
#include "kelscripting/definition/script_object_definition.h"
#include "kelscripting/engine/script_calls.h"
#include "kelscripting/factory/script_object_definition_registrar.h"
#include "kelscripting/script_exception.h"
#include "testsupport/error_of.h"

namespace kelscripting {
namespace {

using definition::ScopedScriptDefinitions;
using definition::ScriptComponentDefinition;
using definition::ScriptDefinitionContext;
using definition::ScriptDefinitions;
using definition::ScriptObjectDefinition;
using definition::ScriptObjectDefinitionBase;
using kelcore::string::FromStd;

// A script class that counts what its definition asks of it.
class Widget : public ScriptObject {
 public:
  static constexpr const char* kScriptClassName = "Widget";
  Widget() : ScriptObject(kScriptClassName) {}

  bool echo(bool value) { return value; }

  void SetFactoryObject() override {
    ++factoryCalls;
    ScriptObject::SetFactoryObject();
  }
  boost::intrusive_ptr<ScriptAdapter> GetAdapter() override {
    ++adapterRequests;
    return ScriptObject::GetAdapter();
  }

  int factoryCalls = 0;
  int adapterRequests = 0;
};

// A definition of some other class, to be current while Widget's members are
// declared.
class OtherDefinition : public ScriptObjectDefinitionBase {
 public:
  OtherDefinition() : ScriptObjectDefinitionBase(FromStd("Other"), FromStd("")) {}
  void DefineMembers() override {}
  void AcceptHook(std::function<void()>) override {}
  boost::intrusive_ptr<ScriptObject> CreateInstance(
      const boost::intrusive_ptr<ScriptContext>&) override {
    return nullptr;
  }
};

}  // namespace

template <>
void definition::ScriptObjectDefinition<Widget>::DefineMembers() {
  const ScriptDefinitionContext context(this);
  if (sCurrent) sCurrent.Get()->AddOrModifyNamespace(FromStd("widgets"), 0x10);
  // 0x200000 lies outside the method-flag mask and must not reach the item.
  AddMethod("echo", std::make_tuple(ParameterType<bool>("value")), PropertyType<bool>(),
            &Widget::echo, true, 0x380000, "echoes its argument", 0x20000);
}

namespace {

boost::intrusive_ptr<ScriptComponentDefinition> Component(const char* name) {
  return new ScriptComponentDefinition(FromStd(name));
}

boost::intrusive_ptr<ScriptContext> Context() { return new ScriptContext(0); }

std::vector<std::string> Names(const ScriptObject::ComponentList& components) {
  std::vector<std::string> names;
  for (const auto& c : components) names.push_back(kelcore::string::ToStd(c->GetName()));
  return names;
}

// The class is registered sealed, with its members and the components added
// for it in order; its objects carry those components, and only factory
// objects have their pending adapter made, once.
TEST(ScriptDefinitionsTest, DefineObjectRegistersTheClassAndOnlyFactoryObjectsGetAnAdapter) {
  ScopedScriptDefinitions scope;
  ScriptDefinitions& registry = *scope.Get();
  const std::string typeName = ReadableTypeName(typeid(Widget));
  EXPECT_EQ(typeName.rfind("class ", 0), 0u) << typeName;
  registry.AddScriptComponentGroupDefinition(typeName, Component("second-added-first"));
  registry.AddScriptComponentGroupDefinition("class Unrelated", Component("unrelated"));
  registry.AddScriptComponentGroupDefinition(typeName, Component("then-this"));
  EXPECT_FALSE(registry.TakeDefinitionsChanged());

  registry.DefineObject<Widget>();

  EXPECT_TRUE(registry.TakeDefinitionsChanged());
  EXPECT_FALSE(registry.TakeDefinitionsChanged());
  const auto def = registry.FindObjectDefinition(FromStd("Widget"));
  ASSERT_TRUE(def);
  EXPECT_TRUE(def->IsSealed());
  EXPECT_EQ(def->GetNamespace(), FromStd("widgets"));
  EXPECT_EQ(def->GetObjectFlags(true), 0x10u);
  EXPECT_EQ(def->GetObjectFlags(false), 0u);
  const std::vector<std::string> components{"second-added-first", "then-this"};
  EXPECT_EQ(Names({def->ComponentsBegin(), def->ComponentsEnd()}), components);
  const auto echo = def->FindProperty(FromStd("echo"));
  ASSERT_TRUE(echo);
  EXPECT_EQ(echo->GetFlags(), 0x1A0044u);  // option bit 6, masked flags, method bit 2
  // Sealed: every change is refused.
  EXPECT_THROW(def->AddComponent(Component("late")), ScriptException);
  EXPECT_THROW(def->AddProperty(echo), ScriptException);
  EXPECT_THROW(def->SetObjectFlags(0), ScriptException);
  EXPECT_THROW(def->SetObjectType(typeid(int)), ScriptException);
  EXPECT_THROW(def->AddOrModifyNamespace(FromStd("late"), 0), ScriptException);

  const auto context = Context();
  const auto plain = def->CreateInstance(context);
  auto* widget = dynamic_cast<Widget*>(plain.get());
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget->GetDefinition(), def);
  EXPECT_EQ(widget->GetContextHdl(), context->GetHandle());
  EXPECT_EQ(Names(widget->GetComponents()), components);
  EXPECT_EQ(widget->factoryCalls, 0);
  EXPECT_EQ(widget->adapterRequests, 0);
  EXPECT_FALSE(widget->IsPending());
  EXPECT_FALSE(widget->HasAdapter());
  EXPECT_FALSE(widget->IsEventTarget());
  EXPECT_FALSE(widget->GetAdapter());  // not a factory object: never one

  const auto made = def->CreateFactoryInstance(context);
  auto* factoryWidget = dynamic_cast<Widget*>(made.get());
  ASSERT_NE(factoryWidget, nullptr);
  EXPECT_EQ(factoryWidget->factoryCalls, 1);
  EXPECT_EQ(factoryWidget->adapterRequests, 1);
  EXPECT_FALSE(factoryWidget->IsPending());
  const auto adapter = factoryWidget->GetAdapter();
  ASSERT_TRUE(adapter);
  EXPECT_EQ(factoryWidget->GetAdapter(), adapter);
  EXPECT_EQ(adapter->GetClassName(), FromStd("Widget"));
  EXPECT_EQ(adapter->GetContextHandle(), context->GetHandle());

  EXPECT_FALSE(def->CreateInstance(nullptr));
  EXPECT_FALSE(def->CreateFactoryInstance(nullptr));
}

TEST(ScriptDefinitionsTest, MembersGoOnlyToTheCurrentUnsealedDefinitionOfTheirClass) {
  // Registered before its members were declared: it is sealed, so it never
  // becomes current and gets nothing. Its flags were set before: its objects
  // send events.
  ScopedScriptDefinitions scope;
  boost::intrusive_ptr<ScriptObjectDefinition<Widget>> sealed(
      new ScriptObjectDefinition<Widget>(FromStd("Widget"), FromStd("")));
  sealed->SetObjectFlags(ScriptObjectDefinitionBase::kEventTarget);
  scope.Get()->AddObjectDefinition(FromStd("Widget"), sealed);
  sealed->DefineMembers();
  EXPECT_FALSE(sealed->FindProperty(FromStd("echo")));
  EXPECT_TRUE(sealed->GetNamespace().empty());
  EXPECT_TRUE(sealed->CreateInstance(Context())->IsEventTarget());

  // Another class's definition is current: Widget's method does not go there.
  boost::intrusive_ptr<OtherDefinition> other(new OtherDefinition);
  {
    const ScriptDefinitionContext context(other);
    EXPECT_EQ(ScriptObjectDefinitionBase::sCurrent.Get(), other.get());
    definition::ScriptObjectDefinitionBaseT<Widget>::AddMethod(
        "echo", std::make_tuple(ParameterType<bool>("value")), PropertyType<bool>(), &Widget::echo,
        false, 0, "", 0);
  }
  EXPECT_FALSE(other->FindProperty(FromStd("echo")));
  EXPECT_FALSE(ScriptObjectDefinitionBase::sCurrent);
}

TEST(ScriptDefinitionsTest, ARegistrarHandsTheHostItsInitiatorUntilDestroyed) {
  const std::string typeName = ReadableTypeName(typeid(Widget));
  auto registered = [&] {
    const auto types = factory::RegisteredObjectTypes();
    return std::count(types.begin(), types.end(), typeName);
  };
  boost::intrusive_ptr<factory::ScriptObjectDefinitionInitiator<Widget>> initiator(
      new factory::ScriptObjectDefinitionInitiator<Widget>);
  std::function<void()> definer;
  boost::intrusive_ptr<ScriptDefinitions> first;
  {
    const factory::ScriptObjectDefinitionRegistrar registrar(initiator);
    EXPECT_EQ(registered(), 1);
    ScopedScriptDefinitions scope;
    EXPECT_GE(factory::RunRegisteredDefiners(), 1u);
    EXPECT_TRUE(scope.Get()->FindObjectDefinition(FromStd("Widget")));
    first = scope.Get();
    definer = initiator->GetDefiner();  // bound to the registry current now
  }
  EXPECT_EQ(registered(), 0);
  ScopedScriptDefinitions later;
  first->AddObjectDefinition(FromStd("Widget"), new OtherDefinition);
  definer();
  EXPECT_TRUE(first->FindObjectDefinition(FromStd("Widget"))->FindProperty(FromStd("echo")));
  EXPECT_FALSE(later.Get()->FindObjectDefinition(FromStd("Widget")));
  EXPECT_THROW(factory::ScriptObjectDefinitionRegistrar(nullptr), ScriptException);
}

TEST(ScriptCallsTest, ScriptCodeMakesObjectsAndCallsMethodsByName) {
  ScopedScriptDefinitions scope;
  scope.Get()->DefineObject<Widget>();
  EXPECT_EQ(testsupport::ErrorOf<ScriptException>(
                [&] { engine::CreateScriptObject(*scope.Get(), FromStd("Gadget"), Context()); }),
            "no script class named \"Gadget\"");
  EXPECT_THROW(engine::CreateScriptObject(*scope.Get(), FromStd("Widget"), nullptr),
               ScriptException);

  const auto object = engine::CreateScriptObject(*scope.Get(), FromStd("Widget"), Context());
  const auto call = engine::CallScriptMethod(
      *object, FromStd("echo"), ScriptArgumentList{boost::make_shared<boost::any>(true)});
  EXPECT_EQ(call.type, ScriptTransferTypeInfo::Of<bool>());
  EXPECT_TRUE(boost::any_cast<bool>(*GetScriptResult(call.values)));
  EXPECT_THROW(engine::CallScriptMethod(*object, FromStd("echo"), {}), ScriptArgumentException);
  EXPECT_EQ(testsupport::ErrorOf<ScriptException>(
                [&] { engine::CallScriptMethod(*object, FromStd("nope"), {}); }),
            "\"Widget\" has no method \"nope\"");
}

}  // namespace
}  // namespace kelscripting
