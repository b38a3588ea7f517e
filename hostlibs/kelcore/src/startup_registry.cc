#include <algorithm>
#include <cstring>
#include <set>

#include "kelcore/config/initializer_registrar.h"
#include "kelcore/config/kel_exception.h"
#include "kelcore/threads/mutex.h"

namespace kelcore::config {
namespace {

struct Registered {
  StartupRegistry::Entry entry;
  const InitializerRegistrar* owner;
  std::function<bool()> init;
  std::function<void()> shutdown;
  std::function<void()> ready;
};

struct Registry {
  threads::Mutex mutex;
  std::vector<Registered> items KEL_GUARDED_BY(mutex);        // registration order
  std::vector<std::string> ranInOrder KEL_GUARDED_BY(mutex);  // by RunAll, for ShutdownAll
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // outlives every module's statics
  return *registry;
}

std::vector<Registered> Snapshot() {
  Registry& r = TheRegistry();
  threads::MutexLock lock(&r.mutex);
  return r.items;
}

// Appends `index` after its registered dependencies; cycles are broken by
// ignoring the edge that closes them.
void Visit(const std::vector<Registered>& items, std::size_t index, std::set<std::size_t>& seen,
           std::vector<std::size_t>& order) {
  if (!seen.insert(index).second) return;
  for (const std::string& dependency : items[index].entry.dependencies) {
    for (std::size_t j = 0; j < items.size(); ++j) {
      if (items[j].entry.name == dependency) Visit(items, j, seen, order);
    }
  }
  order.push_back(index);
}

}  // namespace

InitializerRegistrar::InitializerRegistrar(
    const char* name, EInitializerContextFlags contexts, std::function<bool()> init,
    std::function<void()> shutdown, std::function<void()> ready,
    const std::array<DependencyNamePacket, 16>& dependencies) {
  if (name == nullptr || *name == '\0') throw kel_exception("initializer without a name");
  Registered item{
      {name, contexts, {}}, this, std::move(init), std::move(shutdown), std::move(ready)};
  for (const DependencyNamePacket& d : dependencies) {
    if (d.name != nullptr && *d.name != '\0') item.entry.dependencies.emplace_back(d.name);
  }
  Registry& r = TheRegistry();
  threads::MutexLock lock(&r.mutex);
  for (const Registered& existing : r.items) {
    if (existing.entry.name == name) {
      throw kel_exception(std::string("initializer '") + name + "' is registered already");
    }
  }
  r.items.push_back(std::move(item));
}

InitializerRegistrar::~InitializerRegistrar() {
  Registry& r = TheRegistry();
  threads::MutexLock lock(&r.mutex);
  r.items.erase(std::remove_if(r.items.begin(), r.items.end(),
                               [this](const Registered& item) { return item.owner == this; }),
                r.items.end());
}

bool InitializerRegistrar::CanBeSkipped() const { return false; }

std::vector<StartupRegistry::Entry> StartupRegistry::List() {
  std::vector<Entry> entries;
  for (const Registered& item : Snapshot()) entries.push_back(item.entry);
  return entries;
}

bool StartupRegistry::RunInit(const std::string& name) {
  for (const Registered& item : Snapshot()) {
    if (item.entry.name == name) return item.init ? item.init() : true;
  }
  throw kel_exception("no initializer named '" + name + "'");
}

bool StartupRegistry::RunAll() {
  const std::vector<Registered> items = Snapshot();
  std::set<std::size_t> seen;
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < items.size(); ++i) Visit(items, i, seen, order);

  bool ok = true;
  std::vector<std::string> ran;
  for (std::size_t i : order) {
    const Registered& item = items[i];
    const bool succeeded = !item.init || item.init();
    if (!succeeded && !item.owner->CanBeSkipped()) ok = false;
    ran.push_back(item.entry.name);
  }
  for (std::size_t i : order) {
    if (items[i].ready) items[i].ready();
  }
  Registry& r = TheRegistry();
  threads::MutexLock lock(&r.mutex);
  r.ranInOrder = std::move(ran);
  return ok;
}

void StartupRegistry::ShutdownAll() {
  std::vector<std::string> ran;
  {
    Registry& r = TheRegistry();
    threads::MutexLock lock(&r.mutex);
    ran.swap(r.ranInOrder);
  }
  const std::vector<Registered> items = Snapshot();
  for (auto name = ran.rbegin(); name != ran.rend(); ++name) {
    for (const Registered& item : items) {
      if (item.entry.name == *name && item.shutdown) item.shutdown();
    }
  }
}

}  // namespace kelcore::config
