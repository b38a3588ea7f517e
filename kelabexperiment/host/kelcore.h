#pragma once

// The host core's text and identity types, which the library names without
// qualification everywhere. Anything else of kelcore is included directly
// where it is used.

#include "kelcore/allocator/stl_allocator.h"
#include "kelcore/locale.h"  // byte strings' character traits need its facet
#include "kelcore/string/string_types.h"
#include "kelcore/threads/mutex.h"
#include "kelcore/utility/immutable_string.h"

namespace kelabexperiment {

using kelcore::UTF16String;
using kelcore::UTF8String;
using kelcore::allocator::STLAllocator;
using kelcore::threads::Mutex;
using kelcore::threads::MutexLock;
using kelcore::utility::ImmutableString;

}  // namespace kelabexperiment
