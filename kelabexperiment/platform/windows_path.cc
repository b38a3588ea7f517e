#include "platform/windows_path.h"

#include <vector>

namespace kelabexperiment::platform {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Whether a path that begins with two separators is a device path ("\\?\",
// "\\.\"), which Windows takes as it is.
bool IsDevicePath(const std::wstring& path) {
  return path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') && IsSeparator(path[3]);
}

// A name Windows takes as it is: not empty, not "." or "..", and not one it
// would trim.
bool IsPlainName(const std::wstring& name) {
  return !name.empty() && name.back() != L'.' && name.back() != L' ';
}

std::vector<std::wstring> Split(const std::wstring& path, std::size_t from) {
  std::vector<std::wstring> parts;
  while (from <= path.size()) {
    std::size_t end = from;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    parts.push_back(path.substr(from, end - from));
    from = end + 1;
  }
  return parts;
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path) {
  std::wstring out;
  std::vector<std::wstring> parts;
  const bool drive =
      path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]);
  if (drive) {
    out = std::wstring(L"\\\\?\\") + path.substr(0, 2);
    parts = Split(path, 3);
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
             !IsDevicePath(path)) {
    // The server and the share form the root: ".." never climbs above them.
    parts = Split(path, 2);
    if (parts.size() < 2 || !IsPlainName(parts[0]) || !IsPlainName(parts[1])) return path;
    out = std::wstring(L"\\\\?\\UNC\\") + parts[0] + L'\\' + parts[1];
    parts.erase(parts.begin(), parts.begin() + 2);
  } else {
    return path;
  }
  std::vector<std::wstring> names;
  for (std::wstring& part : parts) {
    if (part.empty() || part == L".") continue;
    if (part == L"..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    if (!IsPlainName(part)) return path;
    names.push_back(std::move(part));
  }
  for (const std::wstring& name : names) out += L'\\' + name;
  // A drive's root needs its backslash: "\\?\C:" is the volume itself.
  if (drive && names.empty()) out += L'\\';
  return out;
}

}  // namespace kelabexperiment::platform
