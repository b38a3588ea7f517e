#pragma once

#include <vector>

#include <boost/intrusive_ptr.hpp>

#include "kelcore/string/string_types.h"
#include "kelcore/threads/mutex.h"
#include "kelscripting/kelscripting_export.h"
#include "kelscripting/script_adapter.h"
#include "kelscripting/script_object_base.h"

namespace kelscripting {

namespace definition {
class ScriptObjectDefinitionBase;
class ScriptComponentDefinition;
}  // namespace definition

// A native object of a script class, made through the class's definition.
//
// Its definition does the making: SetContext, SetDefinition, the flags and
// components, then Finalize. Until Finalize returns the object belongs to the
// making thread; afterwards everything but the adapter is read-only, and the
// adapter calls are thread-safe.
class KELSCRIPTING_EXPORT ScriptObject : public ScriptObjectBase {
 public:
  using ComponentList = std::vector<boost::intrusive_ptr<definition::ScriptComponentDefinition>>;

  // `className` is the script class's name ("Foo" for `new Foo`).
  explicit ScriptObject(const char* className);
  ~ScriptObject() override;

  const kelcore::UTF8String& GetClassName() const noexcept { return className_; }

  virtual void SetDefinition(boost::intrusive_ptr<definition::ScriptObjectDefinitionBase> def);
  virtual boost::intrusive_ptr<definition::ScriptObjectDefinitionBase> GetDefinition() const;
  virtual void AddComponent(boost::intrusive_ptr<definition::ScriptComponentDefinition> component);
  const ComponentList& GetComponents() const noexcept { return components_; }
  // Made by the engine itself rather than by script code.
  virtual void SetFactoryObject();
  virtual bool IsFactoryObject() const;
  // Sends events to script handlers.
  virtual void SetEventTarget();
  virtual bool IsEventTarget() const;

  virtual void SetAdapter(boost::intrusive_ptr<ScriptAdapter> adapter) KEL_EXCLUDES(adapterMutex_);
  // The adapter; a pending object gets its adapter made here, once.
  virtual boost::intrusive_ptr<ScriptAdapter> GetAdapter() KEL_EXCLUDES(adapterMutex_);
  virtual bool HasAdapter() const KEL_EXCLUDES(adapterMutex_);

  // Ends the making.
  void Finalize() noexcept { finalized_ = true; }
  // A finalized factory object whose adapter is not made yet: the engine made
  // it without wrapping it, so the adapter waits for GetAdapter.
  bool IsPending() const KEL_EXCLUDES(adapterMutex_);

 protected:
  // Makes the adapter of a pending object; the default knows the class and
  // context. Called with the adapter lock held: must not call adapter calls.
  virtual boost::intrusive_ptr<ScriptAdapter> DoCreatePendingAdapter() KEL_REQUIRES(adapterMutex_);
  // Prepares a newly made pending adapter; the default does nothing more.
  // Called with the adapter lock held.
  virtual void InitializePendingAdapter(ScriptAdapter& adapter) KEL_REQUIRES(adapterMutex_);

 private:
  const kelcore::UTF8String className_;
  boost::intrusive_ptr<definition::ScriptObjectDefinitionBase> definition_;
  ComponentList components_;
  bool factoryObject_ = false;
  bool eventTarget_ = false;
  bool finalized_ = false;
  mutable kelcore::threads::Mutex adapterMutex_;
  boost::intrusive_ptr<ScriptAdapter> adapter_ KEL_GUARDED_BY(adapterMutex_);
};

}  // namespace kelscripting
