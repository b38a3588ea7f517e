#ifdef _WIN32

#include "platform/windows_replace.h"

#include "kelcore/config/windows_api.h"

namespace kelabexperiment::platform {

unsigned long MoveReplacingRetrying(const wchar_t* from, const wchar_t* to,
                                    const std::function<void()>& pause) {
  for (int attempt = 1;; ++attempt) {
    if (::MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return ERROR_SUCCESS;
    }
    const DWORD error = ::GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
        attempt == kReplaceTries) {
      return error;
    }
    pause();
  }
}

}  // namespace kelabexperiment::platform

#endif  // _WIN32
