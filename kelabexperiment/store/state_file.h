#pragma once

#include "host/kelcore.h"

namespace kelabexperiment {

// The whole content of the file at `path` (UTF-8); empty when there is no
// such regular file or it is empty. Host read errors pass through.
UTF8String ReadStateFile(const UTF8String& path);

// Replaces the file at `path` by `text` so that a reader, or a process that
// starts after a crash, finds either the old complete file or the new one:
// the text goes to "<path>.tmp" in the same folder, is flushed to disk, and
// is renamed over the file. Returns false, writing nothing, when the
// temporary file cannot be created or `path` names a folder. A failed write
// throws the host's FileError after removing the temporary file; the old
// file is then untouched.
bool WriteStateFileAtomically(const UTF8String& path, const UTF8String& text);

}  // namespace kelabexperiment
