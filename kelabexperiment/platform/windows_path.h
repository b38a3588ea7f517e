#pragma once

#include <string>

namespace kelabexperiment::platform {

// The form in which `path` reaches the Windows wide API. An absolute path
// ("C:\a", "\\server\share\a", either slash) becomes an extended-length path
// ("\\?\C:\a", "\\?\UNC\server\share\a"), which is not limited to MAX_PATH.
// Windows leaves such paths as they are, so the normalisation it would do
// happens here first: forward slashes become backslashes, repeated
// separators, "." and ".." go (".." stops at the drive or the share).
// Returned unchanged: relative and drive-relative paths, paths already in a
// device form ("\\?\", "\\.\", "\??\"), and paths with a component that ends
// in a dot or a space, which Windows trims by rules not repeated here.
// Pure: it only rewrites text, so it needs no <windows.h>.
std::wstring ExtendedLengthPath(const std::wstring& path);

}  // namespace kelabexperiment::platform
