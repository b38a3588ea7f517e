// What only the Windows file system does: pipes and devices.

#include <string>

#include <gtest/gtest.h>

#include "file_system.h"
#include "kelcore/config/windows_api.h"
#include "testsupport/temp_dir.h"

namespace kelcore::filesupport {
namespace {

class WindowsFileSystemTest : public ::testing::Test {
 protected:
  testsupport::TempDir temp_;
};

TEST_F(WindowsFileSystemTest, PipesAndDevicesAreRefusedWithoutWaiting) {
  FileSystem& fs = PlatformFileSystem();
  const std::wstring pipeName =
      L"\\\\.\\pipe\\" + temp_.path().filename().wstring();  // unique to this test run
  const UTF16String pipe(pipeName.c_str());
  const UTF16String nul(L"\\\\.\\NUL");
  const HANDLE server =
      ::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                         PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  // Reading from the pipe or the device would wait for ever; each is refused
  // once opened, by its type.
  for (const UTF16String& path : {pipe, nul}) {
    try {
      fs.OpenForRead(path);
      ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(fs.OpenForWrite(nul), FileError);
  EXPECT_FALSE(fs.CreateFile(nul, false));
  ::CloseHandle(server);
}

}  // namespace
}  // namespace kelcore::filesupport
