#pragma once

#include <functional>

namespace kelabexperiment::platform {

// A replace that another program blocks is tried this often in all, this far
// apart: about a second before the save fails.
inline constexpr int kReplaceTries = 20;
inline constexpr unsigned long kReplacePauseMilliseconds = 50;

// Moves the file `from` over the file `to` (paths as the wide API takes
// them), durably. A virus scanner, an indexer or a backup tool that holds
// `to` open without delete sharing makes the move fail with
// ERROR_ACCESS_DENIED or ERROR_SHARING_VIOLATION until it lets go; such a
// failure is tried again, kReplaceTries times in all, running `pause` between
// tries. Returns 0 (ERROR_SUCCESS) or the last attempt's error. Windows only.
unsigned long MoveReplacingRetrying(const wchar_t* from, const wchar_t* to,
                                    const std::function<void()>& pause);

}  // namespace kelabexperiment::platform
