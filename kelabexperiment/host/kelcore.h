#pragma once

// What the library uses of the host core library.

#include "kelcore/allocator/stl_allocator.h"
#include "kelcore/debug/debug_database.h"
#include "kelcore/filesupport/byte_streams.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file.h"
#include "kelcore/filesupport/file_system.h"
#include "kelcore/locale.h"
#include "kelcore/serialization/json.h"
#include "kelcore/serialization/json_object_writer.h"
#include "kelcore/serialization/json_text_members.h"
#include "kelcore/string/conversions.h"
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
