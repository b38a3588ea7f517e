// The Win32 Env through DefaultEnv(), against a real (Wine's) file system:
// replaces that wait for another program, pipes and devices, long paths,
// lock files, links, and names that cannot be converted exactly.

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include <gmock/gmock.h>

#include "kelcore/config/windows_api.h"
#include "platform/env.h"
#include "platform/windows_replace.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment::platform {
namespace {

using ::testing::AllOf;
using ::testing::AnyOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;

std::string U8(const std::filesystem::path& path) { return path.u8string(); }

// what() of the FileError that `action` throws; fails the test without one.
template <typename Action>
std::string FileErrorOf(Action&& action) {
  try {
    action();
  } catch (const FileError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no FileError";
  return std::string();
}

void Write(Env& env, const std::string& path, const std::string& text) {
  auto out = env.CreateExclusive(path, std::string());
  out->Append(text.data(), text.size());
  out->Sync();
  out->Close();
}

std::string Read(Env& env, const std::string& path) {
  auto in = env.OpenForRead(path);
  std::string text(in->Size(), '\0');
  in->Read(text.data(), text.size());
  return text;
}

// As a virus scanner holds a file it examines: reading, without delete sharing.
HANDLE HoldWithoutDeleteSharing(const std::filesystem::path& path) {
  return ::CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

class WindowsEnvTest : public ::testing::Test {
 protected:
  Env& env_ = DefaultEnv();
  testsupport::TempDir temp_;
};

TEST_F(WindowsEnvTest, AReplaceIsTriedAgainOnlyWhileAHolderBlocksIt) {
  const auto target = temp_ / "target";
  const auto source = temp_ / "source";
  testsupport::WriteAll(target, "old");
  testsupport::WriteAll(source, "new");
  const HANDLE holder = HoldWithoutDeleteSharing(target);
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

TEST_F(WindowsEnvTest, AReplaceBlockedByAHolderFailsNamingTheFileAndWorksOnceItLetsGo) {
  const auto target = temp_ / "target";
  const auto source = temp_ / "source";
  testsupport::WriteAll(target, "old");
  testsupport::WriteAll(source, "new");
  const HANDLE holder = HoldWithoutDeleteSharing(target);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  EXPECT_THAT(FileErrorOf([&] { env_.Replace(U8(source), U8(target)); }),
              HasSubstr("cannot replace '" + U8(target) + "'"));
  EXPECT_EQ(testsupport::ReadAll(target), "old");
  EXPECT_EQ(testsupport::ReadAll(source), "new");

  ::CloseHandle(holder);
  env_.Replace(U8(source), U8(target));
  EXPECT_EQ(Read(env_, U8(target)), "new");
  EXPECT_EQ(env_.Stat(U8(source)), EntryKind::kMissing);
}

TEST_F(WindowsEnvTest, PipesAndDevicesAreRefusedWithoutWaiting) {
  const std::wstring pipeName =
      L"\\\\.\\pipe\\" + temp_.path().filename().wstring();  // unique to this test run
  const HANDLE server =
      ::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                         PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const std::string pipe = U8(std::filesystem::path(pipeName));
  // Reading from the pipe or the device would wait for ever; each is refused
  // once opened, by its type.
  for (const std::string& path : {pipe, std::string(R"(\\.\NUL)"), std::string("NUL")}) {
    EXPECT_THAT(FileErrorOf([&] { env_.OpenForRead(path); }), HasSubstr("not a regular file"))
        << path;
    // The pipe's one instance is taken now: busy, it is still a pipe.
    EXPECT_EQ(env_.Stat(path), EntryKind::kOther) << path;
    EXPECT_THAT(FileErrorOf([&] { env_.TryLock(path); }), HasSubstr("'" + path + "'")) << path;
    EXPECT_FALSE(env_.Remove(path)) << path;
  }
  // A device opens whatever the disposition; nothing may be written to it.
  EXPECT_THAT(FileErrorOf([&] { env_.CreateExclusive("NUL", std::string()); }),
              HasSubstr("cannot create 'NUL': not a regular file"));
  EXPECT_THROW(env_.OpenForRead("CON"), FileError);
  ::CloseHandle(server);
}

// Past MAX_PATH, with forward slashes and dot components that the
// extended-length form would otherwise take literally.
TEST_F(WindowsEnvTest, LongPathsWorkWithEitherSlash) {
  std::string deep = U8(temp_.path());
  for (char letter = 'a'; letter < 'g'; ++letter) {
    deep += '/' + std::string(50, letter);
    env_.CreateFolder(deep + "/.");
  }
  const std::string viaDots = deep + "/./missing/../state";
  ASSERT_GT(viaDots.size(), 300u);
  Write(env_, viaDots, "abc");

  const std::string state = deep + "\\state";
  EXPECT_EQ(env_.Stat(state), EntryKind::kFile);
  EXPECT_EQ(env_.Stat(deep), EntryKind::kDirectory);
  EXPECT_EQ(Read(env_, state), "abc");
  const auto lock = env_.TryLock(deep + "/state.lock");
  EXPECT_NE(lock, nullptr);
  Write(env_, deep + "/new", "defg");
  env_.Replace(deep + "/new", state);
  EXPECT_EQ(Read(env_, state), "defg");
  env_.Replace(state, deep + "/renamed");
  EXPECT_THAT(env_.List(deep + "/"), UnorderedElementsAre("renamed", "state.lock"));
  EXPECT_EQ(env_.Stat(state), EntryKind::kMissing);
  EXPECT_TRUE(env_.Remove(deep + "/renamed"));
  EXPECT_EQ(env_.Stat(deep + "\\renamed"), EntryKind::kMissing);
}

TEST_F(WindowsEnvTest, TheLockFileStaysWhileLockedAndExcludesEveryOtherHolder) {
  const auto path = temp_ / "state.lock";
  const std::string lockPath = U8(path);
  auto lock = env_.TryLock(lockPath);
  ASSERT_NE(lock, nullptr);
  EXPECT_EQ(env_.Stat(lockPath), EntryKind::kFile);  // created when missing
  EXPECT_EQ(env_.TryLock(lockPath), nullptr);        // another handle, this process

  // Neither deleted nor replaced, so the next holder finds the locked file.
  EXPECT_FALSE(env_.Remove(lockPath));
  EXPECT_FALSE(::DeleteFileW(path.wstring().c_str()));
  testsupport::WriteAll(temp_ / "other", "x");
  EXPECT_THAT(FileErrorOf([&] { env_.Replace(U8(temp_ / "other"), lockPath); }),
              HasSubstr(lockPath));
  EXPECT_EQ(env_.Stat(lockPath), EntryKind::kFile);
  // Readers may open it meanwhile: only the lock is exclusive.
  EXPECT_EQ(Read(env_, lockPath), "");

  lock.reset();
  auto again = env_.TryLock(lockPath);
  EXPECT_NE(again, nullptr);
  again.reset();
  EXPECT_TRUE(env_.Remove(lockPath));

  // A folder is no lock file.
  env_.CreateFolder(U8(temp_ / "folder"));
  EXPECT_THAT(FileErrorOf([&] { env_.TryLock(U8(temp_ / "folder")); }),
              HasSubstr("not a regular file"));
}

// Without delete sharing the lock file itself stays, but its folder may still
// be moved away on some file systems (Wine's among them), and another file
// then takes the name.
TEST_F(WindowsEnvTest, ALockNoLongerNamedByItsPathSaysSo) {
  const auto folder = temp_ / "folder";
  env_.CreateFolder(U8(folder));
  const auto lock = env_.TryLock(U8(folder / "state.lock"));
  ASSERT_NE(lock, nullptr);
  if (!::MoveFileW(folder.wstring().c_str(), (temp_ / "moved").wstring().c_str())) {
    GTEST_SKIP() << "a folder with an open file cannot move here: error " << ::GetLastError();
  }
  env_.CreateFolder(U8(folder));
  testsupport::WriteAll(folder / "state.lock", "");
  EXPECT_FALSE(lock->StillNamed());
}

TEST_F(WindowsEnvTest, StatTellsAMissingFileFromAFailure) {
  const std::string folder = U8(temp_.path());
  testsupport::WriteAll(temp_ / "file", "x");
  EXPECT_EQ(env_.Stat(folder + "\\file"), EntryKind::kFile);
  EXPECT_EQ(env_.Stat(folder), EntryKind::kDirectory);
  EXPECT_EQ(env_.Stat(folder + "\\missing"), EntryKind::kMissing);
  EXPECT_EQ(env_.Stat(folder + "\\missing\\below"), EntryKind::kMissing);
  // Names no file can have say nothing about whether a file is there. (Wine
  // takes a component over 255 characters for a missing file; Windows refuses
  // it as a name.)
  for (const std::string& name :
       {std::string("a<b"), std::string("a|b"), std::string("a*b"), std::string("a\"b")}) {
    EXPECT_THAT(FileErrorOf([&] { env_.Stat(folder + "\\" + name); }),
                HasSubstr("cannot stat '" + folder + "\\" + name + "'"))
        << name;
  }
}

// Only a folder is told apart; any other failure keeps the system's reason.
TEST_F(WindowsEnvTest, AFileThatCannotBeOpenedIsReportedWithTheSystemsReason) {
  const std::string missing = U8(temp_ / "missing");
  EXPECT_THAT(FileErrorOf([&] { env_.OpenForRead(missing); }),
              AllOf(StartsWith("cannot open '" + missing + "': "), EndsWith(" (error 2)")));
}

TEST_F(WindowsEnvTest, CreateExclusiveRefusesAnythingAlreadyThere) {
  const std::string file = U8(temp_ / "file");
  Write(env_, file, "first");
  EXPECT_THAT(FileErrorOf([&] { env_.CreateExclusive(file, std::string()); }),
              HasSubstr("cannot create '" + file + "'"));
  EXPECT_EQ(Read(env_, file), "first");
  env_.CreateFolder(U8(temp_ / "folder"));
  EXPECT_THROW(env_.CreateExclusive(U8(temp_ / "folder"), std::string()), FileError);
  EXPECT_THROW(env_.CreateExclusive(U8(temp_ / "missing" / "file"), std::string()), FileError);
}

// Hidden carries over from the file replaced; read-only does not, or the new
// file could be neither replaced nor removed.
TEST_F(WindowsEnvTest, ANewFileTakesTheHiddenAttributeButNeverReadOnly) {
  const auto hidden = temp_ / "hidden";
  const auto readOnly = temp_ / "read-only";
  testsupport::WriteAll(hidden, "x");
  testsupport::WriteAll(readOnly, "x");
  ASSERT_TRUE(::SetFileAttributesW(hidden.wstring().c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(::SetFileAttributesW(readOnly.wstring().c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  const auto attributesOf = [&](const std::string& name) {
    return ::GetFileAttributesW((temp_ / name).wstring().c_str());
  };

  env_.CreateExclusive(U8(temp_ / "from-hidden"), U8(hidden))->Close();
  EXPECT_NE(attributesOf("from-hidden") & FILE_ATTRIBUTE_HIDDEN, 0u);
  env_.CreateExclusive(U8(temp_ / "from-read-only"), U8(readOnly))->Close();
  EXPECT_EQ(attributesOf("from-read-only") & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_NE(attributesOf("from-read-only") & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_TRUE(env_.Remove(U8(temp_ / "from-read-only")));
  for (const std::string& none : {std::string(), U8(temp_ / "missing"), U8(temp_.path())}) {
    const std::string name = "plain" + std::to_string(none.size());
    env_.CreateExclusive(U8(temp_ / name), none)->Close();
    EXPECT_EQ(attributesOf(name) & FILE_ATTRIBUTE_HIDDEN, 0u) << none;
  }
  ::SetFileAttributesW(readOnly.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Converted loosely, the bytes would name another file (U+FFFD in place of
// each bad sequence, or the name cut at the NUL).
TEST_F(WindowsEnvTest, APathThatIsNotExactlyUTF8IsRefusedAndTouchesNothing) {
  const std::string folder = U8(temp_.path()) + "\\";
  const struct {
    std::string name;
    const char* shown;  // escaped in the message
  } cases[] = {
      {"bad\xFF", R"(\x5Cbad\xFF')"},
      {"bad\xC0\xAF", R"(\x5Cbad\xC0\xAF')"},          // an overlong "/"
      {"bad\xED\xA0\x80", R"(\x5Cbad\xED\xA0\x80')"},  // a lone surrogate
      {std::string("bad\0tail", 8), R"(\x5Cbad\x00tail')"},
  };
  for (const auto& c : cases) {
    const std::string path = folder + c.name;
    EXPECT_THAT(FileErrorOf([&] { env_.CreateExclusive(path, std::string()); }), HasSubstr(c.shown))
        << c.shown;
    EXPECT_THROW(env_.Stat(path), FileError);
    EXPECT_THROW(env_.OpenForRead(path), FileError);
    EXPECT_THROW(env_.TryLock(path), FileError);
    EXPECT_THROW(env_.CreateFolder(path), FileError);
    EXPECT_THROW(env_.List(path), FileError);
    EXPECT_THROW(env_.Replace(path, folder + "other"), FileError);
    EXPECT_FALSE(env_.Remove(path));
  }
  EXPECT_THAT(env_.List(folder), ::testing::IsEmpty());
}

TEST_F(WindowsEnvTest, ListGivesEveryNameInUTF8) {
  const std::string folder = U8(temp_.path());
  const std::string unicode = "\xC3\xBC-\xF0\x9F\x98\x80";  // ü, then a pair of surrogates
  Write(env_, folder + "\\" + unicode, "x");
  env_.CreateFolder(folder + "\\sub");
  EXPECT_EQ(env_.Stat(folder + "\\" + unicode), EntryKind::kFile);
  EXPECT_THAT(env_.List(folder), UnorderedElementsAre(unicode, "sub"));
  EXPECT_THAT(env_.List(folder + "\\sub"), ::testing::IsEmpty());

  // The system's reason, on the same line: "...': <reason> (error 3)".
  const std::string error = FileErrorOf([&] { env_.List(folder + "\\missing"); });
  const std::string named = "cannot list folder '" + folder + "\\missing': ";
  ASSERT_THAT(error, StartsWith(named));
  const std::string reason = error.substr(named.size());
  EXPECT_THAT(reason, EndsWith(" (error 3)"));
  EXPECT_GT(reason.size(), std::strlen(" (error 3)"));
  EXPECT_THAT(reason, Not(AnyOf(StartsWith("system error"), HasSubstr("\n"), HasSubstr("\r"),
                                HasSubstr(". ("))));
}

TEST_F(WindowsEnvTest, CreateFolderAcceptsOnlyAFolderAlreadyThere) {
  const std::string folder = U8(temp_ / "folder");
  env_.CreateFolder(folder);
  EXPECT_EQ(env_.Stat(folder), EntryKind::kDirectory);
  env_.CreateFolder(folder);
  testsupport::WriteAll(temp_ / "file", "x");
  EXPECT_THAT(FileErrorOf([&] { env_.CreateFolder(U8(temp_ / "file")); }),
              HasSubstr("cannot create folder '" + U8(temp_ / "file") + "'"));
  EXPECT_THROW(env_.CreateFolder(U8(temp_ / "missing" / "folder")), FileError);
  // Remove takes files and links, never a folder.
  EXPECT_FALSE(env_.Remove(folder));
  EXPECT_EQ(env_.Stat(folder), EntryKind::kDirectory);
}

TEST_F(WindowsEnvTest, LinksAreNeverFollowed) {
  const auto target = temp_ / "target";
  const auto link = temp_ / "link";
  testsupport::WriteAll(target, "target");
  if (!::CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(),
                             SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    GTEST_SKIP() << "no symbolic links here: error " << ::GetLastError();
  }
  if (::GetFileAttributesW(link.wstring().c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "CreateSymbolicLinkW succeeds but makes no link (Wine)";
  }
  EXPECT_EQ(env_.Stat(U8(link)), EntryKind::kLink);
  EXPECT_THAT(FileErrorOf([&] { env_.OpenForRead(U8(link)); }), HasSubstr("not a regular file"));
  EXPECT_THROW(env_.CreateExclusive(U8(link), std::string()), FileError);
  EXPECT_THAT(FileErrorOf([&] { env_.TryLock(U8(link)); }), HasSubstr("not a regular file"));
  EXPECT_TRUE(env_.Remove(U8(link)));
  EXPECT_EQ(env_.Stat(U8(link)), EntryKind::kMissing);
  EXPECT_EQ(testsupport::ReadAll(target), "target");
}

TEST_F(WindowsEnvTest, TheProcessServicesWork) {
  // Two draws alike would be a one in 2^64 chance.
  EXPECT_NE(env_.Random64(), env_.Random64());

  env_.PinModule(reinterpret_cast<const void*>(&DefaultEnv));
  int onTheStack = 0;
  EXPECT_THAT(FileErrorOf([&] { env_.PinModule(&onTheStack); }),
              HasSubstr("cannot pin the module"));

  // Microseconds: at least the pause, and never more than a clock that
  // started before and stopped after.
  const auto outerStart = std::chrono::steady_clock::now();
  const std::uint64_t start = env_.NowMicros();
  env_.SleepForMicros(20000);
  const std::uint64_t elapsed = env_.NowMicros() - start;
  const auto outer = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - outerStart);
  EXPECT_GE(elapsed, 10000u);
  EXPECT_LE(elapsed, static_cast<std::uint64_t>(outer.count()));
}

}  // namespace
}  // namespace kelabexperiment::platform
