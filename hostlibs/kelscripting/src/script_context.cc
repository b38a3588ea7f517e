#include "kelscripting/script_context.h"

#include <atomic>

namespace kelscripting {
namespace {

std::int32_t NextContextHandle() {
  static std::atomic<std::int32_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

ScriptContext::ScriptContext(Flags flags) : flags_(flags), handle_(NextContextHandle()) {}

}  // namespace kelscripting
