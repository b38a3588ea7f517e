#include "kelscripting/factory/script_object_definition_registrar.h"

#include <algorithm>

#include "kelcore/threads/mutex.h"
#include "kelscripting/script_exception.h"
#include "kelscripting/script_type_name.h"

namespace kelscripting::factory {
namespace {

using Initiators = std::vector<boost::intrusive_ptr<ScriptObjectDefinitionInitiatorBase>>;

using kelcore::threads::MutexLock;

struct Registry {
  kelcore::threads::Mutex mutex;
  Initiators initiators KEL_GUARDED_BY(mutex);  // registration order
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // outlives every module's statics
  return *registry;
}

Initiators Snapshot() {
  Registry& r = TheRegistry();
  MutexLock lock(&r.mutex);
  return r.initiators;
}

}  // namespace

ScriptObjectDefinitionInitiatorBase::~ScriptObjectDefinitionInitiatorBase() = default;

ScriptObjectDefinitionRegistrar::ScriptObjectDefinitionRegistrar(
    boost::intrusive_ptr<ScriptObjectDefinitionInitiatorBase> initiator)
    : initiator_(std::move(initiator)) {
  if (!initiator_) throw ScriptException("a script class registrar needs an initiator");
  Registry& r = TheRegistry();
  MutexLock lock(&r.mutex);
  r.initiators.push_back(initiator_);
}

ScriptObjectDefinitionRegistrar::~ScriptObjectDefinitionRegistrar() {
  Registry& r = TheRegistry();
  MutexLock lock(&r.mutex);
  const auto it = std::find(r.initiators.begin(), r.initiators.end(), initiator_);
  if (it != r.initiators.end()) r.initiators.erase(it);
}

std::size_t RunRegisteredDefiners() {
  const Initiators initiators = Snapshot();  // definers may register more
  for (const auto& initiator : initiators) initiator->GetDefiner()();
  return initiators.size();
}

std::vector<std::string> RegisteredObjectTypes() {
  std::vector<std::string> types;
  for (const auto& initiator : Snapshot()) {
    types.push_back(ReadableTypeName(initiator->GetObjectType()));
  }
  return types;
}

}  // namespace kelscripting::factory
