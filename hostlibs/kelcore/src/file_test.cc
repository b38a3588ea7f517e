#include <gtest/gtest.h>

#include "kelcore/filesupport/byte_streams.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file.h"
#include "kelcore/filesupport/file_system.h"
#include "testsupport/temp_dir.h"

namespace kelcore::filesupport {
namespace {

using testsupport::Wide;

class FileTest : public ::testing::Test {
 protected:
  testsupport::TempDir temp_;
};

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
  const File file(Wide(temp_ / "folder"), StorageType::kLocal);
  EXPECT_FALSE(file.Exists());
  EXPECT_FALSE(file.Create(false));
  EXPECT_FALSE(file.Delete());
  EXPECT_TRUE(std::filesystem::is_directory(temp_ / "folder"));
  EXPECT_THROW(IPlatformByteStream(File(Wide(temp_ / "missing"), StorageType::kLocal), 1),
               FileError);
}

TEST_F(FileTest, NonAsciiNamesReachTheDiskAsUTF8) {
  // U+1F600 is a surrogate pair in UTF-16 and four bytes in UTF-8.
  const UTF16String name{L'u', static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  const File file(Dir(Wide(temp_.path())), name);
  ASSERT_TRUE(file.Create(false));
  EXPECT_TRUE(std::filesystem::exists(temp_ / "u\xF0\x9F\x98\x80"));
  EXPECT_EQ(file.Parent().FullPath(), Wide(temp_.path()));
}

TEST_F(FileTest, UserDocsDirFollowsTheHostsChoice) {
  Dir::SetUserDocsDir(Wide(temp_.path()));
  EXPECT_EQ(Dir::UserDocsDir().FullPath(), Wide(temp_.path()));
  Dir::SetUserDocsDir(UTF16String());
  EXPECT_FALSE(Dir::UserDocsDir().FullPath().empty());
}

// A file system that fails every write, to check the seam reaches all calls.
class FailingWrites : public FileSystem {
 public:
  PathKind Stat(const UTF16String& p) override { return PlatformFileSystem().Stat(p); }
  void CreateDirectory(const UTF16String& p) override { PlatformFileSystem().CreateDirectory(p); }
  bool CreateFile(const UTF16String&, bool) override { return false; }
  bool DeleteFile(const UTF16String&) override { return false; }
  void RenameFile(const UTF16String&, const UTF16String&) override { throw FileError("rename"); }
  void SyncDirectory(const UTF16String&) override {}
  std::unique_ptr<ReadableFile> OpenForRead(const UTF16String& p) override {
    return PlatformFileSystem().OpenForRead(p);
  }
  std::unique_ptr<WritableFile> OpenForWrite(const UTF16String&) override {
    throw FileError("disk full");
  }
  UTF16String UserDocumentsPath() override { return UTF16String(); }
};

TEST_F(FileTest, ScopedFileSystemRoutesEveryCallAndRestores) {
  const File file(Wide(temp_ / "f"), StorageType::kLocal);
  FailingWrites failing;
  {
    ScopedFileSystem scope(failing);
    EXPECT_FALSE(file.Create(false));
    EXPECT_THROW(OPlatformByteStream(file, kStreamBinary), FileError);
  }
  EXPECT_TRUE(file.Create(false));
}

}  // namespace
}  // namespace kelcore::filesupport
