#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "file_system.h"
#include "kelcore/config/windows_api.h"
#include "kelcore/filesupport/byte_streams.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file.h"
#include "testsupport/error_of.h"
#include "testsupport/scoped_environment.h"
#include "testsupport/scoped_user_docs_dir.h"
#include "testsupport/temp_dir.h"

namespace kelcore::filesupport {
namespace {

using ::testing::HasSubstr;
constexpr auto FileErrorOf = [](auto call) { return testsupport::ErrorOf<FileError>(call); };
using testsupport::Wide;

UTF16String Ascii(const std::string& text) {
  return string::AsciiToUTF16(text.data(), text.size());
}

class FileTest : public ::testing::Test {
 protected:
  testsupport::TempDir temp_;
  FileSystem& fs_ = PlatformFileSystem();
};

TEST_F(FileTest, DirCreatesMissingParentsDurablyAndRefusesToCreateOverAFile) {
  const Dir root(Wide(temp_.path()));
  const Dir nested(Dir(root, Ascii("a")), Ascii("b"));
  EXPECT_FALSE(nested.Exists());
  nested.Create();
  nested.Create();                         // existing: fine
  fs_.CreateDirectory(Wide(temp_ / "a"));  // made by another process since it was missing
  EXPECT_TRUE(std::filesystem::is_directory(temp_ / "a" / "b"));

  testsupport::WriteAll(temp_ / "plain", "x");
  const Dir blocked(root, Ascii("plain"));
  EXPECT_FALSE(blocked.Exists());
  EXPECT_THAT(FileErrorOf([&] { blocked.Create(); }), HasSubstr("plain"));
}

TEST_F(FileTest, JoinAddsOneSeparatorWhereNoneIs) {
  const std::string s(1, static_cast<char>(kPathSeparator));
  const struct {
    std::string folder, joined;
  } joins[] = {{"", "n"}, {"d", "d" + s + "n"}, {"d" + s, "d" + s + "n"}, {"d/", "d/n"}};
  for (const auto& row : joins) {
    SCOPED_TRACE(row.folder);
    EXPECT_EQ(File(Dir(Ascii(row.folder)), Ascii("n")).FullPath(), Ascii(row.joined));
    EXPECT_EQ(Dir(Dir(Ascii(row.folder)), Ascii("n")).FullPath(), Ascii(row.joined));
  }
}

// Each read and write starts with errno at EINTR, as an earlier interrupted
// call may leave it: a transfer that is over must not start again.
TEST_F(FileTest, CreateWriteReadAndReplaceAndCreateOnlyNewFiles) {
  const Dir dir(Wide(temp_.path()));
  const File file(dir, Ascii("state"));
  EXPECT_FALSE(file.Exists());
  EXPECT_TRUE(file.Create(false));
  EXPECT_TRUE(file.Exists());
  EXPECT_TRUE(file.Create(false));  // present already: fine
  EXPECT_FALSE(file.Create(true));  // exclusive: refused
  {
    OPlatformByteStream out(file, kStreamBinary);
    errno = EINTR;
    out.WriteBlock("hello", 5);
    out.Close();
  }
  {
    IPlatformByteStream in(file, kStreamBinary);
    ASSERT_EQ(in.Length(), 5u);
    char buffer[5];
    errno = EINTR;
    in.ReadBlock(buffer, 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    errno = EINTR;
    EXPECT_THAT(FileErrorOf([&] { in.ReadBlock(buffer, 1); }), HasSubstr("ended early"));
  }
  EXPECT_TRUE(file.Delete());
  EXPECT_FALSE(file.Delete());
}

// A lone surrogate would reach the disk as some other name, if at all.
TEST_F(FileTest, NeitherAFolderNorAPathThatIsNotUTF16IsTakenForAFile) {
  std::filesystem::create_directory(temp_ / "folder");
  testsupport::WriteAll(temp_ / "folder" / "inside", "x");
  const UTF16String folder = Wide(temp_ / "folder");
  const UTF16String bad = Wide(temp_.path()) + kPathSeparator + static_cast<wchar_t>(0xD800);
  std::vector<UTF16String> notFiles{folder, bad};
#ifndef _WIN32
  notFiles.push_back(Ascii("/dev/null"));  // opens as a file would, then is refused by its type
#endif
  for (const UTF16String& path : notFiles) {
    EXPECT_FALSE(fs_.CreateFile(path, false));
    EXPECT_THROW(fs_.OpenForRead(path), FileError);
    EXPECT_THROW(fs_.OpenForWrite(path), FileError);
  }
  EXPECT_FALSE(File(folder, StorageType::kLocal).Exists());
  EXPECT_FALSE(File(folder, StorageType::kLocal).Delete());
  EXPECT_THAT(FileErrorOf([&] { fs_.OpenForRead(folder); }), HasSubstr("not a regular file"));
  EXPECT_THROW(fs_.Stat(bad), FileError);
  EXPECT_THROW(fs_.CreateDirectory(bad), FileError);
  EXPECT_THROW(IPlatformByteStream(File(Wide(temp_ / "missing"), StorageType::kLocal), 1),
               FileError);
  EXPECT_EQ(testsupport::ReadAll(temp_ / "folder" / "inside"), "x");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp_.path()), {}), 1);
}

#ifndef _WIN32
// A host started without standard input gets descriptor 0 for the next file
// it opens, and that descriptor is as good as any other.
TEST_F(FileTest, DescriptorZeroServesLikeAnyOther) {
  testsupport::WriteAll(temp_ / "f", "x");
  const int input = ::dup(0);  // -1 when this process has none either
  ::close(0);
  const std::string error = FileErrorOf([&] {
    EXPECT_EQ(fs_.OpenForRead(Wide(temp_ / "f"))->Size(), 1u);
    fs_.OpenForWrite(Wide(temp_ / "f"));  // closed by its destructor
    EXPECT_TRUE(fs_.CreateFile(Wide(temp_ / "h"), true));
    EXPECT_EQ(::fcntl(0, F_GETFD), -1);  // free again: each of them closed it
  });
  if (input >= 0) {
    ::dup2(input, 0);
    ::close(input);
  }
  EXPECT_EQ(error, "no error");
}

// Past the file-size limit (SIGXFSZ ignored) a write fails for good with
// EFBIG: the error must end the write, not repeat it.
TEST_F(FileTest, AWriteThatFailsThrowsInsteadOfRetrying) {
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 2;
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  auto out = fs_.OpenForWrite(Wide(temp_ / "f"));
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string error = FileErrorOf([&] { out->Append("abcd", 4); });
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_THAT(error, HasSubstr("cannot write"));
  EXPECT_EQ(testsupport::ReadAll(temp_ / "f"), "ab");
}
#endif

// U+1F600, outside the Basic Multilingual Plane: a surrogate pair in UTF-16.
// On disk it must be that one character on every platform (Linux stores the
// four UTF-8 bytes, Windows the pair), never the pair's halves taken as two
// characters, which is what handing the 32-bit wchar_t units of Linux to the
// system as UTF-32 would produce.
const UTF16String kEmoji{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
const char kEmojiUTF8[] = "\xF0\x9F\x98\x80";

TEST_F(FileTest, NamesOutsideTheBasicPlaneReachTheDiskAsTheSameText) {
  const Dir folder(Dir(Wide(temp_.path())), Ascii("d") + kEmoji);
  folder.Create();
  ASSERT_TRUE(File(folder, kEmoji).Create(false));
  testsupport::WriteAll(temp_ / "a", "");
  const auto onDisk = temp_.path() / std::filesystem::u8path(std::string("d") + kEmojiUTF8);
  EXPECT_TRUE(std::filesystem::is_regular_file(onDisk / std::filesystem::u8path(kEmojiUTF8)));
  EXPECT_TRUE(File(folder, kEmoji).Exists());
}

TEST_F(FileTest, UserDocsDirIsTheHostsChoiceThenTheEnvironmentAsUnicodeText) {
  const std::string folder = (temp_ / "docs").u8string() + kEmojiUTF8;
  testsupport::ScopedEnvironmentVariable docs("KEL_USER_DOCS_DIR", folder.c_str());
  EXPECT_EQ(Dir::UserDocsDir().FullPath(), Wide(temp_ / "docs") + kEmoji);
  {
    testsupport::ScopedUserDocsDir chosen(temp_.path());
    EXPECT_EQ(Dir::UserDocsDir().FullPath(), Wide(temp_.path()));
  }
  EXPECT_EQ(Dir::UserDocsDir().FullPath(), Wide(temp_ / "docs") + kEmoji);
}

#ifdef _WIN32
TEST_F(FileTest, PlatformDocumentsFolderIsTheWindowsDocumentsFolder) {
  testsupport::ScopedEnvironmentVariable docs("KEL_USER_DOCS_DIR", nullptr);
  const UTF16String path = fs_.UserDocumentsPath();
  ASSERT_GE(path.size(), 3u) << string::ToStd(string::UTF16to8(path));
  EXPECT_EQ(path.substr(1, 2), Ascii(":\\"));  // a drive's absolute path
  EXPECT_TRUE(Dir(path).Exists());
  EXPECT_EQ(Dir::UserDocsDir().FullPath(), path);
}
#else
TEST_F(FileTest, PlatformDocumentsFolderFollowsTheXdgConvention) {
  const std::string t = temp_.path().string();
  std::filesystem::create_directory(temp_ / "config");
  testsupport::WriteAll(temp_ / "config" / "user-dirs.dirs",
                        "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\n"
                        "XDG_DOCUMENTS_DIR=\"relative\"\nXDG_DOCUMENTS_DIR=\"$HOME/Open\n"
                        "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
  std::filesystem::create_directory(temp_ / ".config");
  testsupport::WriteAll(temp_ / ".config" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/d\"\n");
  const std::string account = ::getpwuid(::getuid())->pw_dir;
  const std::string unset = "(unset)", config = t + "/config";
  const auto env = [&](const std::string& value) {
    return value == unset ? nullptr : value.c_str();
  };
  const struct {
    std::string home, configHome, documents, expected;
  } rows[] = {
      {t, "/nonexistent", unset, t + "/Documents"},  // nothing configured
      {t, config, unset, t + "/Papers"},
      {t, unset, unset, "/srv/d"},     // $HOME/.config by default ...
      {t, "config", unset, "/srv/d"},  // ... and instead of a relative one
      {t, config, t + "/Direct", t + "/Direct"},
      {t, config, "Direct", t + "/Papers"},
      {"", "/nonexistent", unset, account + "/Documents"},  // the account's home
  };
  testsupport::ScopedEnvironmentVariable noHostChoice("KEL_USER_DOCS_DIR", nullptr);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected);
    testsupport::ScopedEnvironmentVariable home("HOME", env(row.home));
    testsupport::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", env(row.configHome));
    testsupport::ScopedEnvironmentVariable documents("XDG_DOCUMENTS_DIR", env(row.documents));
    EXPECT_EQ(fs_.UserDocumentsPath(), Wide(row.expected));
    EXPECT_EQ(Dir::UserDocsDir().FullPath(), Wide(row.expected));
  }
}
#endif

}  // namespace
}  // namespace kelcore::filesupport
