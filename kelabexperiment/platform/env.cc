#include "platform/env.h"

#include <atomic>

namespace kelabexperiment::platform {
namespace {
std::atomic<Env*> gCurrent{nullptr};
}  // namespace

ReadableFile::~ReadableFile() = default;
WritableFile::~WritableFile() = default;
FileLock::~FileLock() = default;
Env::~Env() = default;

Env& CurrentEnv() {
  Env* env = gCurrent.load(std::memory_order_acquire);
  return env != nullptr ? *env : DefaultEnv();
}

ScopedEnv::ScopedEnv(Env& env) : previous_(gCurrent.exchange(&env, std::memory_order_acq_rel)) {}

ScopedEnv::~ScopedEnv() { gCurrent.store(previous_, std::memory_order_release); }

}  // namespace kelabexperiment::platform
