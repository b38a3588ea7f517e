#pragma once

// The library's interface to native host code.
//
// Threading: every export may be called from any thread, also at once.
// Registration and GetRegisteredExperimentIdentifiers take the identifier
// registry's lock. Initialize, IsESDKInitializeComplete and each
// forced-control update (run by whoever runs the UI queue) take the
// experiment manager's lock, which runs them one after the other: an update
// never overlaps an Initialize, and one queued before an Initialize that runs
// after it is dropped. Feature reads never wait for that lock: the
// default-value handler runs on the reading thread and only queues the
// update. Initialize watches only experiments already registered, so
// register them first.

#include <functional>
#include <set>

#include "kelabexperiment/errors.h"
#include "kelabexperiment/kelabexperiment_export.h"
#include "kelcore/allocator/stl_allocator.h"
#include "kelcore/utility/immutable_string.h"

namespace kelabexperiment {

using ImmutableStringSet =
    std::set<kelcore::utility::ImmutableString, std::less<kelcore::utility::ImmutableString>,
             kelcore::allocator::STLAllocator<kelcore::utility::ImmutableString>>;

// Prepares the library for the user `quillUserID`: withdraws the overrides of
// registered experiments, loads the user's state file under the documents
// folder (creating it when missing), re-applies the stored assignments as
// feature overrides, and watches each registered experiment's variation
// feature. `deviceType`, `storeType` and `freeUser` are accepted and unused.
// Always returns 0xA00F0001. Throws on failure: InvalidUserIdentifierError for
// a user identifier that is not a single safe folder name, StateFileError for
// malformed content (errors.h), kelabexperiment::FileError for a file
// that cannot be read, is not a regular file or is over the limits. A failed
// call leaves no override of the user's file applied. Updates queued
// for the UI thread before a call are dropped when they run after it. The
// first call keeps the module loaded until the process ends, since the
// feature service keeps the handlers it registers.
//
// The UI-thread updates save the user's state file under a per-user lock, so
// several processes may serve one user at once. A save that fails throws
// kelabexperiment::FileError to whoever runs the UI queue and keeps
// nothing, so the next fallback of the feature tries again.
KELABEXPERIMENT_EXPORT int Initialize(const kelcore::utility::ImmutableString& quillUserID,
                                      const kelcore::utility::ImmutableString& deviceType,
                                      const kelcore::utility::ImmutableString& storeType,
                                      bool freeUser);

// Always false: no operation of the library completes this step.
KELABEXPERIMENT_EXPORT bool IsESDKInitializeComplete();

// Records an experiment identifier, unless the debug-database switch
// "ABExperiment.enable" was other than "true" when the library first needed it.
// Throws InvalidExperimentIdentifierError (errors.h), recording nothing, for
// an identifier that is not valid UTF-8.
KELABEXPERIMENT_EXPORT void RegisterExperimentIdentifier(
    const kelcore::utility::ImmutableString& experimentId);

// Records an in-app message identifier, unless "InAppMessaging.enable" was
// other than "true" when the library first needed it.
KELABEXPERIMENT_EXPORT void RegisterMessagingIdentifier(
    const kelcore::utility::ImmutableString& messagingId);

// A copy of the registered experiment identifiers, in handle order.
KELABEXPERIMENT_EXPORT ImmutableStringSet GetRegisteredExperimentIdentifiers();

}  // namespace kelabexperiment
