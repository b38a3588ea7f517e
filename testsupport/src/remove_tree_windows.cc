#include "kelcore/config/windows_api.h"
#include "testsupport/temp_dir.h"

namespace testsupport {
namespace {

void RemoveExtended(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  const HANDLE search = ::FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr, 0);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L'\\' + name;
      // A link to a folder goes without what it points to.
      const DWORD folder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
      if ((entry.dwFileAttributes & folder) == FILE_ATTRIBUTE_DIRECTORY) {
        RemoveExtended(child);
      } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ::RemoveDirectoryW(child.c_str());
      } else {
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(path.c_str());
}

}  // namespace

void RemoveTree(const std::filesystem::path& path) {
  // TempDir paths are absolute: under the system temporary folder.
  RemoveExtended(L"\\\\?\\" + path.lexically_normal().wstring());
}

}  // namespace testsupport
