#include "platform/env.h"

#include <cerrno>
#include <set>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/folders.h"
#include "testsupport/error_of.h"
#include "testsupport/temp_dir.h"

namespace kelabexperiment::platform {
namespace {

using ::testing::HasSubstr;
using testsupport::ErrorOf;

TEST(FoldersTest, TheFolderOfAPathAndEveryMissingFolderAboveIt) {
  EXPECT_EQ(FolderOf("a/b/c"), "a/b");
  EXPECT_EQ(FolderOf("/c"), "/");
  EXPECT_EQ(FolderOf("c"), ".");
  testsupport::TempDir temp;
  const std::string deep = (temp / "x" / "y" / "z").u8string();
  CreateFolders(DefaultEnv(), deep);
  EXPECT_EQ(DefaultEnv().Stat(deep), EntryKind::kDirectory);
  CreateFolders(DefaultEnv(), deep);  // there already: fine
  testsupport::WriteAll(temp / "file", "x");
  EXPECT_THROW(CreateFolders(DefaultEnv(), (temp / "file" / "sub").u8string()), FileError);
}

#ifndef _WIN32
class PosixEnvTest : public ::testing::Test {
 protected:
  std::string At(const std::string& name) const { return (temp_ / name).u8string(); }
  Env& env_ = DefaultEnv();
  testsupport::TempDir temp_;
};

TEST_F(PosixEnvTest, StatTellsWhatIsThereAndAFailureFromAMissingFile) {
  testsupport::WriteAll(temp_ / "file", "x");
  ASSERT_EQ(::mkfifo(At("fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink(temp_ / "nowhere", temp_ / "dangling");
  std::filesystem::create_symlink(temp_ / "loop", temp_ / "loop");
  EXPECT_EQ(env_.Stat(At("file")), EntryKind::kFile);
  EXPECT_EQ(env_.Stat(temp_.path().u8string()), EntryKind::kDirectory);
  EXPECT_EQ(env_.Stat(At("fifo")), EntryKind::kOther);
  EXPECT_EQ(env_.Stat(At("dangling")), EntryKind::kLink);
  EXPECT_EQ(env_.Stat(At("missing")), EntryKind::kMissing);
  // Nothing there can be told of these: errors naming the path and why.
  const std::string looped = At("loop") + "/x";
  const std::string tooLong = At(std::string(300, 'n'));
  EXPECT_THAT(ErrorOf<FileError>([&] { env_.Stat(looped); }),
              HasSubstr("'" + looped + "': Too many levels of symbolic links"));
  EXPECT_THAT(ErrorOf<FileError>([&] { env_.Stat(tooLong); }), HasSubstr("File name too long"));
}

TEST_F(PosixEnvTest, NothingIsReadOrCreatedThroughALinkNorBlockedOnByAFifo) {
  testsupport::WriteAll(temp_ / "victim", "precious");
  std::filesystem::create_symlink(temp_ / "victim", temp_ / "link");
  std::filesystem::create_symlink(temp_ / "new", temp_ / "dangling");
  ASSERT_EQ(::mkfifo(At("fifo").c_str(), 0600), 0);
  EXPECT_THROW(env_.OpenForRead(At("link")), FileError);
  EXPECT_THAT(ErrorOf<FileError>([&] { env_.OpenForRead(At("fifo")); }),
              HasSubstr("not a regular file"));
  for (const char* name : {"link", "dangling", "victim", "fifo"}) {
    EXPECT_THROW(env_.CreateExclusive(At(name), std::string()), FileError) << name;
  }
  for (const char* name : {"link", "dangling", "fifo"}) {
    EXPECT_THROW(env_.TryLock(At(name)), FileError) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(temp_ / "new"));
  EXPECT_EQ(testsupport::ReadAll(temp_ / "victim"), "precious");
  EXPECT_TRUE(env_.Remove(At("link")));  // the link goes, not what it points to
  EXPECT_EQ(testsupport::ReadAll(temp_ / "victim"), "precious");
  EXPECT_FALSE(env_.Remove(At("link")));
}

TEST_F(PosixEnvTest, ANewFileTakesTheModelsModeOwnerAndGroupButNeverSetuidOrSetgid) {
  testsupport::WriteAll(temp_ / "model", "x");
  ASSERT_EQ(::chmod(At("model").c_str(), 06740), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(At("model").c_str(), 12345, 12346), 0);
  }
  env_.CreateExclusive(At("new"), At("model"))->Close();
  struct stat st;
  ASSERT_EQ(::stat(At("new").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0740u);
  EXPECT_EQ(st.st_uid, root ? 12345u : ::geteuid());
  EXPECT_EQ(st.st_gid, root ? 12346u : ::getegid());
  // Without a model: read-write for the owner, read-only for others.
  const mode_t umask = ::umask(0);
  env_.CreateExclusive(At("plain"), At("missing"))->Close();
  ::umask(umask);
  ASSERT_EQ(::stat(At("plain").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

// Whether a process that may only read the lock file can take its lock.
bool LockableReadOnly(Env& env, const std::string& lock) {
  if (::geteuid() != 0) {
    ::chmod(lock.c_str(), 0444);  // not even its owner may write it
    return env.TryLock(lock) != nullptr;
  }
  // Root may write anything: a child that is nobody tries instead.
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    try {
      ::_exit(env.TryLock(lock) != nullptr ? 0 : 3);
    } catch (...) {
      ::_exit(4);
    }
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST_F(PosixEnvTest, TheLockNeedsOnlyReadAccessAndKnowsWhenItsFileIsGone) {
  ASSERT_EQ(::chmod(temp_.path().c_str(), 0755), 0);  // reachable by the child
  const std::string lock = At("state.lock");
  const mode_t umask = ::umask(077);  // the lock file is readable by all anyway
  env_.TryLock(lock).reset();
  ::umask(umask);
  struct stat st;
  ASSERT_EQ(::stat(lock.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  // One readable by all already keeps the mode it was given.
  ASSERT_EQ(::chmod(lock.c_str(), 0664), 0);
  env_.TryLock(lock).reset();
  ASSERT_EQ(::stat(lock.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0664u);
  EXPECT_TRUE(LockableReadOnly(env_, lock));

  auto held = env_.TryLock(lock);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(env_.TryLock(lock), nullptr);  // another lock in this process waits too
  EXPECT_TRUE(held->StillNamed());
  std::filesystem::remove(lock);
  EXPECT_FALSE(held->StillNamed());
  auto next = env_.TryLock(lock);  // a new file: the old lock excludes no one
  ASSERT_NE(next, nullptr);
  testsupport::WriteAll(temp_ / "other", "");
  std::filesystem::rename(temp_ / "other", lock);
  EXPECT_FALSE(next->StillNamed());
}

// A host started without standard input gets descriptor 0 for the next file
// it opens, and that descriptor is as good as any other.
// Also: reads and writes are not repeated once done.
TEST_F(PosixEnvTest, TransfersEndOnceDoneAndDescriptorZeroServesLikeAnyOther) {
  // Each transfer starts with errno at EINTR, as an earlier interrupted call
  // may leave it: a transfer that is over must not start again.
  {
    const auto out = env_.CreateExclusive(At("text"), std::string());
    errno = EINTR;
    out->Append("hello", 5);
    out->Close();
    const auto in = env_.OpenForRead(At("text"));
    char buffer[5];
    errno = EINTR;
    in->Read(buffer, 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    errno = EINTR;
    EXPECT_THAT(ErrorOf<FileError>([&] { in->Read(buffer, 1); }), HasSubstr("ended early"));
  }
  const int input = ::dup(0);  // -1 when this process has none either
  ::close(0);
  const std::string error = ErrorOf<FileError>([&] {
    env_.CreateExclusive(At("f"), std::string())->Close();
    EXPECT_EQ(env_.OpenForRead(At("f"))->Size(), 0u);
    EXPECT_NE(env_.TryLock(At("f.lock")), nullptr);
    EXPECT_EQ(::fcntl(0, F_GETFD), -1);  // free again: each of them closed it
  });
  if (input >= 0) {
    ::dup2(input, 0);
    ::close(input);
  }
  EXPECT_EQ(error, "no error");
}

TEST_F(PosixEnvTest, ReplaceListFolderAndRandomness) {
  testsupport::WriteAll(temp_ / "a", "new");
  testsupport::WriteAll(temp_ / "b", "old");
  env_.Replace(At("a"), At("b"));
  EXPECT_EQ(testsupport::ReadAll(temp_ / "b"), "new");
  EXPECT_THAT(ErrorOf<FileError>([&] { env_.Replace(At("a"), At("b")); }),
              HasSubstr("cannot replace '" + At("b") + "'"));
  env_.CreateFolder(At("sub"));
  env_.CreateFolder(At("sub"));
  EXPECT_THROW(env_.CreateFolder(At("b")), FileError);
  std::vector<std::string> names = env_.List(temp_.path().u8string());
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), (std::set<std::string>{"b", "sub"}));
  EXPECT_THROW(env_.List(At("missing")), FileError);
  env_.SyncFolder(temp_.path().u8string());
  EXPECT_THROW(env_.SyncFolder(At("missing")), FileError);
  std::set<std::uint64_t> draws;
  for (int i = 0; i < 100; ++i) draws.insert(env_.Random64());
  EXPECT_EQ(draws.size(), 100u);
  const std::uint64_t before = env_.NowMicros();
  env_.SleepForMicros(1'000);
  EXPECT_GE(env_.NowMicros(), before + 1'000);
}
#endif

}  // namespace
}  // namespace kelabexperiment::platform
