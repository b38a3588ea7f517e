#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kelcore/kelcore_export.h"

namespace kelcore::config {

// Where an initializer is meant to run; a bit set.
enum EInitializerContextFlags : std::uint32_t {
  kInitializerContextNone = 0,
  kInitializerContextApplication = 4,  // the application process proper
};

// Names another initializer that must run first. A null name names none.
struct DependencyNamePacket {
  const char* name = nullptr;
};

// A module's entry in the host's start-up registry: constructing one registers
// it, destroying it unregisters it. The registry keeps copies of the
// callbacks. Registration and unregistration are thread-safe.
class KELCORE_EXPORT InitializerRegistrar {
 public:
  // `name` must be static text. `init` runs during the host's start-up and
  // reports success; `shutdown` runs when the host shuts down, `ready` after
  // every initializer ran. Empty callbacks are skipped. Throws kel_exception
  // when `name` is null or empty, or already registered.
  InitializerRegistrar(const char* name, EInitializerContextFlags contexts,
                       std::function<bool()> init, std::function<void()> shutdown,
                       std::function<void()> ready,
                       const std::array<DependencyNamePacket, 16>& dependencies);
  virtual ~InitializerRegistrar();
  InitializerRegistrar(const InitializerRegistrar&) = delete;
  InitializerRegistrar& operator=(const InitializerRegistrar&) = delete;

  // Whether the host may go on when `init` reports failure.
  virtual bool CanBeSkipped() const;
};

// The host's start-up registry. Thread-safe.
class KELCORE_EXPORT StartupRegistry {
 public:
  struct Entry {
    std::string name;
    EInitializerContextFlags contexts;
    std::vector<std::string> dependencies;
  };

  static std::vector<Entry> List();
  // Runs the init callback of `name` and returns its result. Throws
  // kel_exception for an unknown name.
  static bool RunInit(const std::string& name);
  // Runs every init callback (dependencies first, otherwise in registration
  // order), then every `ready` callback. Returns false when an init that
  // cannot be skipped failed; the others still run.
  static bool RunAll();
  // Runs every `shutdown` callback, in reverse order of RunAll.
  static void ShutdownAll();
};

}  // namespace kelcore::config
