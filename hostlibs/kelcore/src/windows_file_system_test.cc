// What only the Windows file system does: replaces that wait for another
// program to let go, pipes and devices, extended-length paths.

#include <string>

#include <gtest/gtest.h>

#include "kelcore/config/windows_api.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file_system.h"
#include "testsupport/temp_dir.h"
#include "windows_replace.h"

namespace kelcore::filesupport {
namespace {

using testsupport::Wide;

class WindowsFileSystemTest : public ::testing::Test {
 protected:
  testsupport::TempDir temp_;
};

TEST_F(WindowsFileSystemTest, AReplaceWaitsForAHolderWithoutDeleteSharing) {
  const auto target = temp_ / "target";
  const auto source = temp_ / "source";
  testsupport::WriteAll(target, "old");
  testsupport::WriteAll(source, "new");
  // As a virus scanner holds a file it examines.
  const HANDLE holder =
      ::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  int pauses = 0;
  const unsigned long error =
      MoveReplacingRetrying(source.c_str(), target.c_str(), [&] { ++pauses; });
  EXPECT_TRUE(error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) << error;
  EXPECT_EQ(pauses, kReplaceTries - 1);
  EXPECT_EQ(testsupport::ReadAll(target), "old");
  EXPECT_EQ(testsupport::ReadAll(source), "new");

  // Let go during the first pause: the next try replaces the file.
  pauses = 0;
  EXPECT_EQ(MoveReplacingRetrying(source.c_str(), target.c_str(),
                                  [&] {
                                    if (pauses++ == 0) ::CloseHandle(holder);
                                  }),
            static_cast<unsigned long>(ERROR_SUCCESS));
  EXPECT_EQ(pauses, 1);
  EXPECT_EQ(testsupport::ReadAll(target), "new");
  EXPECT_FALSE(std::filesystem::exists(source));

  // Any other failure is final at once.
  EXPECT_EQ(MoveReplacingRetrying(source.c_str(), target.c_str(), [&] { ++pauses; }),
            static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(pauses, 1);
}

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
  EXPECT_THROW(fs.LockFile(nul), FileError);
  ::CloseHandle(server);
}

// Past MAX_PATH, with forward slashes and dot components that the
// extended-length form would otherwise take literally.
TEST_F(WindowsFileSystemTest, LongPathsWorkWithEitherSlash) {
  FileSystem& fs = PlatformFileSystem();
  UTF16String deep = Wide(temp_.path());
  for (wchar_t letter = L'a'; letter < L'g'; ++letter) deep += L'/' + UTF16String(50, letter);
  Dir(deep).Create();
  const UTF16String viaDots = deep + L"/./missing/../state";
  ASSERT_GT(viaDots.size(), 300u);
  auto out = fs.CreateNewFile(viaDots, UTF16String());
  out->Append("abc", 3);
  out->Close();

  const UTF16String state = deep + L"\\state";
  EXPECT_EQ(fs.Stat(state), PathKind::kFile);
  EXPECT_EQ(fs.OpenForRead(state)->Size(), 3u);
  const auto lock = fs.LockFile(deep + L"/state.lock");
  fs.RenameFile(state, deep + L"/renamed");
  EXPECT_EQ(fs.ListDirectory(deep).size(), 2u);  // renamed, state.lock
  EXPECT_EQ(fs.Stat(state), PathKind::kMissing);
  EXPECT_EQ(fs.Stat(deep + L"\\renamed"), PathKind::kFile);
}

}  // namespace
}  // namespace kelcore::filesupport
