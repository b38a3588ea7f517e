#include <algorithm>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "kelcore/filesupport/byte_streams.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file.h"
#include "kelcore/filesupport/file_system.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/scoped_environment.h"
#include "testsupport/scoped_user_docs_dir.h"
#include "testsupport/temp_dir.h"
#include "testsupport/windows_api.h"

namespace kelcore::filesupport {
namespace {

using testsupport::Wide;

class FileTest : public ::testing::Test {
 protected:
  testsupport::TempDir temp_;
};

// Whether another handle of the file could lock it now, asked without waiting.
bool LockIsFree(const std::filesystem::path& path) {
#ifdef _WIN32
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) ADD_FAILURE() << "cannot open " << path;
  OVERLAPPED whole{};
  const bool free = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                                 MAXDWORD, MAXDWORD, &whole);
  if (free) ::UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
  ::CloseHandle(file);
#else
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) ADD_FAILURE() << "cannot open " << path;
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
#endif
  return free;
}

TEST_F(FileTest, DirCreatesMissingParentsAndJoinsNames) {
  const Dir root(Wide(temp_.path()));
  const Dir nested(Dir(root, string::AsciiToUTF16("a", 1)), string::AsciiToUTF16("b", 1));
  EXPECT_FALSE(nested.Exists());
  nested.Create();
  EXPECT_TRUE(nested.Exists());
  EXPECT_TRUE(std::filesystem::is_directory(temp_ / "a" / "b"));
  nested.Create();  // existing: fine
}

TEST_F(FileTest, DirCreateOverAFileThrowsNamingThePath) {
  testsupport::WriteAll(temp_ / "plain", "x");
  const Dir blocked(Dir(Wide(temp_.path())), string::AsciiToUTF16("plain", 5));
  EXPECT_FALSE(blocked.Exists());
  try {
    blocked.Create();
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("plain"), std::string::npos) << e.what();
  }
}

TEST_F(FileTest, CreateWriteReadAndReplace) {
  const Dir dir(Wide(temp_.path()));
  const File file(dir, string::AsciiToUTF16("state", 5));
  EXPECT_FALSE(file.Exists());
  EXPECT_TRUE(file.Create(false));
  EXPECT_TRUE(file.Exists());
  EXPECT_TRUE(file.Create(false));  // present already: fine
  EXPECT_FALSE(file.Create(true));  // exclusive: refused
  {
    OPlatformByteStream out(file, kStreamBinary);
    out.WriteBlock("hello", 5);
    out.Flush();
    out.Close();
  }
  {
    IPlatformByteStream in(file, kStreamBinary);
    ASSERT_EQ(in.Length(), 5u);
    char buffer[5];
    in.ReadBlock(buffer, 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_THROW(in.ReadBlock(buffer, 1), FileError);  // past the end
  }
  const File next(dir, string::AsciiToUTF16("next", 4));
  testsupport::WriteAll(temp_ / "next", "bye");
  file.ReplaceWith(next);
  EXPECT_EQ(testsupport::ReadAll(temp_ / "state"), "bye");
  EXPECT_FALSE(next.Exists());
  EXPECT_TRUE(file.Delete());
  EXPECT_FALSE(file.Delete());
}

TEST_F(FileTest, AFolderIsNotAFile) {
  std::filesystem::create_directory(temp_ / "folder");
  testsupport::WriteAll(temp_ / "folder" / "inside", "x");
  const File file(Wide(temp_ / "folder"), StorageType::kLocal);
  EXPECT_FALSE(file.Exists());
  EXPECT_FALSE(file.Create(false));
  EXPECT_FALSE(file.Delete());
  EXPECT_THROW(IPlatformByteStream(File(Wide(temp_ / "missing"), StorageType::kLocal), 1),
               FileError);
  FileSystem& fs = PlatformFileSystem();
  try {
    fs.OpenForRead(file.FullPath());
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
  }
  EXPECT_THROW(fs.OpenForWrite(file.FullPath()), FileError);
  EXPECT_THROW(fs.CreateNewFile(file.FullPath(), UTF16String()), FileError);
  EXPECT_THROW(fs.LockFile(file.FullPath()), FileError);
  EXPECT_EQ(testsupport::ReadAll(temp_ / "folder" / "inside"), "x");
}

TEST_F(FileTest, CreateNewFileNeverOpensWhatIsThere) {
  FileSystem& fs = PlatformFileSystem();
  const UTF16String path = Wide(temp_ / "new");
  auto out = fs.CreateNewFile(path, UTF16String());
  out->Append("abc", 3);
  out->Close();
  EXPECT_EQ(testsupport::ReadAll(temp_ / "new"), "abc");
  EXPECT_THROW(fs.CreateNewFile(path, UTF16String()), FileError);
  EXPECT_EQ(testsupport::ReadAll(temp_ / "new"), "abc");
}

TEST_F(FileTest, ListDirectoryNamesEveryEntryOnce) {
  FileSystem& fs = PlatformFileSystem();
  EXPECT_TRUE(fs.ListDirectory(Wide(temp_.path())).empty());
  testsupport::WriteAll(temp_ / "a", "");
  std::filesystem::create_directory(temp_ / "sub");
  const UTF16String emoji{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  ASSERT_TRUE(fs.CreateFile(Wide(temp_.path()) + kPathSeparator + emoji, true));
  std::vector<UTF16String> names = fs.ListDirectory(Wide(temp_.path()));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<UTF16String>{UTF16String(L"a"), UTF16String(L"sub"), emoji}));
  EXPECT_THROW(fs.ListDirectory(Wide(temp_ / "missing")), FileError);
}

// A lone surrogate would reach the disk as some other name, if at all.
TEST_F(FileTest, PathsThatAreNotUTF16AreRefused) {
  FileSystem& fs = PlatformFileSystem();
  const UTF16String bad = Wide(temp_.path()) + kPathSeparator + static_cast<wchar_t>(0xD800);
  EXPECT_THROW(fs.Stat(bad), FileError);
  EXPECT_FALSE(fs.CreateFile(bad, false));
  EXPECT_THROW(fs.CreateDirectory(bad), FileError);
  EXPECT_THROW(fs.OpenForRead(bad), FileError);
  EXPECT_THROW(fs.OpenForWrite(bad), FileError);
  EXPECT_THROW(fs.CreateNewFile(bad, UTF16String()), FileError);
  EXPECT_THROW(fs.LockFile(bad), FileError);
  EXPECT_THROW(fs.ListDirectory(bad), FileError);
  EXPECT_TRUE(std::filesystem::is_empty(temp_.path()));
}

TEST_F(FileTest, LockFileExcludesEveryOtherHandleUntilReleased) {
  FileSystem& fs = PlatformFileSystem();
  const auto lockPath = temp_ / "state.lock";
  auto first = fs.LockFile(Wide(lockPath));  // creates the file
  EXPECT_FALSE(LockIsFree(lockPath));

  // The second taker logs under the lock; the first logs before releasing.
  std::mutex logMutex;
  std::vector<std::string> log;
  const auto note = [&](const char* line) {
    std::lock_guard<std::mutex> guard(logMutex);
    log.emplace_back(line);
  };
  std::promise<void> started;
  bool freeWhileSecondHeld = true;
  std::thread second([&] {
    started.set_value();
    const auto lock = fs.LockFile(Wide(lockPath));
    note("second locked");
    freeWhileSecondHeld = LockIsFree(lockPath);
  });
  started.get_future().wait();
  note("first releasing");
  first.reset();
  second.join();
  EXPECT_EQ(log, (std::vector<std::string>{"first releasing", "second locked"}));
  EXPECT_FALSE(freeWhileSecondHeld);
  EXPECT_TRUE(LockIsFree(lockPath));
}

// U+1F600, outside the Basic Multilingual Plane: a surrogate pair in UTF-16.
// On disk it must be that one character on every platform (Linux stores the
// four UTF-8 bytes, Windows the pair), never the pair's halves taken as two
// characters, which is what handing the 32-bit wchar_t units of Linux to the
// system as UTF-32 would produce.
const UTF16String kEmoji{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
const char kEmojiUTF8[] = "\xF0\x9F\x98\x80";

TEST_F(FileTest, NamesOutsideTheBasicPlaneReachTheDiskAsTheSameText) {
  const UTF16String name = string::AsciiToUTF16("d", 1) + kEmoji;
  const Dir folder(Dir(Wide(temp_.path())), name);
  folder.Create();
  ASSERT_TRUE(folder.Exists());
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(temp_.path())) {
    found.push_back(entry.path().filename().u8string());
  }
  EXPECT_EQ(found, std::vector<std::string>{std::string("d") + kEmojiUTF8});
  EXPECT_EQ(Wide(std::filesystem::u8path(found.at(0))), name);

  const File file(folder, kEmoji);
  ASSERT_TRUE(file.Create(false));
  EXPECT_TRUE(std::filesystem::is_regular_file(temp_.path() / std::filesystem::u8path(found[0]) /
                                               std::filesystem::u8path(kEmojiUTF8)));
  EXPECT_EQ(file.Parent().FullPath(), folder.FullPath());
}

TEST_F(FileTest, UserDocsDirFollowsTheHostsChoice) {
  {
    testsupport::ScopedUserDocsDir docs(temp_.path());
    EXPECT_EQ(Dir::UserDocsDir().FullPath(), Wide(temp_.path()));
  }
  EXPECT_FALSE(Dir::UserDocsDir().FullPath().empty());
}

TEST_F(FileTest, UserDocsDirTakesTheEnvironmentAsUnicodeText) {
  const std::string folder = (temp_ / "docs").u8string() + kEmojiUTF8;
  testsupport::ScopedEnvironmentVariable docs("KEL_USER_DOCS_DIR", folder.c_str());
  EXPECT_EQ(Dir::UserDocsDir().FullPath(), Wide(temp_ / "docs") + kEmoji);
}

#ifdef _WIN32
TEST_F(FileTest, PlatformDocumentsFolderIsTheWindowsDocumentsFolder) {
  testsupport::ScopedEnvironmentVariable docs("KEL_USER_DOCS_DIR", nullptr);
  const UTF16String path = PlatformFileSystem().UserDocumentsPath();
  ASSERT_GE(path.size(), 3u) << string::ToStd(string::UTF16to8(path));
  EXPECT_EQ(path.substr(1, 2), string::AsciiToUTF16(":\\", 2));  // a drive's absolute path
  EXPECT_TRUE(Dir(path).Exists());
  EXPECT_EQ(Dir::UserDocsDir().FullPath(), path);
}
#else
TEST_F(FileTest, PlatformDocumentsFolderFollowsTheXdgConvention) {
  testsupport::ScopedEnvironmentVariable docs("KEL_USER_DOCS_DIR", nullptr);
  testsupport::ScopedEnvironmentVariable home("HOME", temp_.path().c_str());
  testsupport::ScopedEnvironmentVariable config("XDG_CONFIG_HOME", (temp_ / "config").c_str());
  testsupport::ScopedEnvironmentVariable xdg("XDG_DOCUMENTS_DIR", nullptr);
  FileSystem& fs = PlatformFileSystem();
  EXPECT_EQ(fs.UserDocumentsPath(), Wide(temp_ / "Documents"));  // nothing configured

  std::filesystem::create_directory(temp_ / "config");
  testsupport::WriteAll(temp_ / "config" / "user-dirs.dirs",
                        "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\n"
                        "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
  EXPECT_EQ(fs.UserDocumentsPath(), Wide(temp_ / "Papers"));
  EXPECT_EQ(Dir::UserDocsDir().FullPath(), Wide(temp_ / "Papers"));

  testsupport::ScopedEnvironmentVariable set("XDG_DOCUMENTS_DIR", (temp_ / "Direct").c_str());
  EXPECT_EQ(fs.UserDocumentsPath(), Wide(temp_ / "Direct"));
}
#endif

TEST_F(FileTest, ScopedFileSystemRoutesEveryCallAndRestores) {
  const File file(Wide(temp_ / "f"), StorageType::kLocal);
  testsupport::FaultFileSystem faults;
  faults.failCreateFile = true;
  faults.writeBudget = 0;
  {
    ScopedFileSystem scope(faults);
    EXPECT_FALSE(file.Create(false));
    OPlatformByteStream out(file, kStreamBinary);
    EXPECT_THROW(out.WriteBlock("x", 1), FileError);
  }
  EXPECT_TRUE(file.Exists());  // opened for writing through the fault layer
  EXPECT_EQ(std::filesystem::file_size(temp_ / "f"), 0u);
  EXPECT_TRUE(File(Wide(temp_ / "g"), StorageType::kLocal).Create(false));
}

}  // namespace
}  // namespace kelcore::filesupport
