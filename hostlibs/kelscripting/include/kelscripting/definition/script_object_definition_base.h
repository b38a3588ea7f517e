#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <typeinfo>
#include <vector>

#include <boost/intrusive_ptr.hpp>

#include "kelcore/string/string_types.h"
#include "kelcore/utility/ref_counted_object.h"
#include "kelscripting/kelscripting_export.h"
#include "kelscripting/script_context.h"
#include "kelscripting/script_object.h"

namespace kelscripting::definition {

class ScriptComponentDefinition;
class ScriptItemDefinitionBase;
class ScriptObjectDefinitionBase;

// The definition being declared on the calling thread (see
// ScriptDefinitionContext); each thread has its own.
class KELSCRIPTING_EXPORT CurrentDefinition {
 public:
  ScriptObjectDefinitionBase* Get() const noexcept;
  explicit operator bool() const noexcept { return Get() != nullptr; }
};

// A script class: its name, namespace, flags, members and components, and how
// to make its objects. Reference-counted, not copyable.
//
// Declared on one thread (the one that runs the class's definer); once added
// to a registry it is sealed: read-only, safe to read from any thread, and
// every change throws ScriptException.
class KELSCRIPTING_EXPORT ScriptObjectDefinitionBase : public kelcore::utility::RefCountedObject {
 public:
  using Flags = std::uint32_t;
  // Object flag: objects of the class send events to script handlers.
  static constexpr Flags kEventTarget = 0x400;
  using ComponentList = std::vector<boost::intrusive_ptr<ScriptComponentDefinition>>;

  ScriptObjectDefinitionBase(kelcore::UTF8String name, kelcore::UTF8String description);
  ~ScriptObjectDefinitionBase() override;

  const kelcore::UTF8String& GetName() const noexcept { return name_; }
  const kelcore::UTF8String& GetDescription() const noexcept { return description_; }

  // The native class of the objects; null until set.
  void SetObjectType(const std::type_info& type);
  const std::type_info* GetObjectType() const noexcept { return objectType_; }

  // Puts the class into the script namespace `name` with the namespace's
  // `flags`, replacing an earlier namespace.
  void AddOrModifyNamespace(const kelcore::UTF8String& name, Flags flags);
  const kelcore::UTF8String& GetNamespace() const noexcept { return namespace_; }

  void SetObjectFlags(Flags flags);
  // The class's object flags, with the namespace's flags or'ed in when asked.
  Flags GetObjectFlags(bool withNamespaceFlags) const noexcept;

  void AddComponent(boost::intrusive_ptr<ScriptComponentDefinition> component);
  ComponentList::const_iterator ComponentsBegin() const noexcept { return components_.begin(); }
  ComponentList::const_iterator ComponentsEnd() const noexcept { return components_.end(); }

  // Adds a member (method or property), replacing one of the same name.
  void AddProperty(boost::intrusive_ptr<ScriptItemDefinitionBase> item);
  // The member named `name`; null when there is none.
  boost::intrusive_ptr<ScriptItemDefinitionBase> FindProperty(
      const kelcore::UTF8String& name) const;

  // Declares the members; runs inside a ScriptDefinitionContext of its own.
  virtual void DefineMembers() = 0;
  // Receives a hook the engine offers the class.
  virtual void AcceptHook(std::function<void()> hook) = 0;
  // An object made at script code's request in `context`; null for a null
  // context.
  virtual boost::intrusive_ptr<ScriptObject> CreateInstance(
      const boost::intrusive_ptr<ScriptContext>& context) = 0;
  // An object the engine makes for itself; this base makes none (null).
  virtual boost::intrusive_ptr<ScriptObject> CreateFactoryInstance(
      const boost::intrusive_ptr<ScriptContext>& context);

  // Called by the registry that takes the definition; irreversible.
  void Seal() noexcept { sealed_.store(true, std::memory_order_release); }
  bool IsSealed() const noexcept { return sealed_.load(std::memory_order_acquire); }

  // The definition being declared on this thread, if any.
  static const CurrentDefinition sCurrent;

 private:
  void RequireUnsealed() const;

  const kelcore::UTF8String name_;
  const kelcore::UTF8String description_;
  const std::type_info* objectType_ = nullptr;
  kelcore::UTF8String namespace_;
  Flags namespaceFlags_ = 0;
  Flags objectFlags_ = 0;
  ComponentList components_;
  std::map<kelcore::UTF8String, boost::intrusive_ptr<ScriptItemDefinitionBase>, std::less<void>>
      items_;
  std::atomic<bool> sealed_{false};
};

}  // namespace kelscripting::definition
