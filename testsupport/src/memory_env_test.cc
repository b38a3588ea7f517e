#include "testsupport/memory_env.h"

#include <gtest/gtest.h>

namespace testsupport {
namespace {

using kelabexperiment::FileError;
using kelabexperiment::platform::EntryKind;

// Without this the power-loss tests could pass on a disk that keeps everything.
TEST(MemoryEnvTest, TheDiskKeepsOnlyWhatWasSynced) {
  MemoryEnv env;
  const std::string folder = "/docs", kept = "/docs/kept", moved = "/docs/moved",
                    fresh = "/docs/fresh", sub = "/docs/sub", inSub = "/docs/sub/file",
                    scratch = "/docs/scratch";
  const auto create = [&env](const std::string& path, const std::string& text, bool sync) {
    const auto file = env.CreateExclusive(path, std::string());
    file->Append(text.data(), text.size());
    if (sync) file->Sync();
  };
  env.CreateFolder(folder);
  env.PutFile(kept, "old");
  env.SyncEverything();
  std::string content;

  create(scratch, "new", true);
  env.Replace(scratch, kept);  // the data is durable, the rename is not
  env.Replace(kept, moved);
  create(fresh, "x", true);
  env.CreateFolder(sub);
  create(inSub, "x", true);
  env.SyncFolder(sub);  // durable in a folder whose own entry is not
  env.SimulatePowerLoss();
  EXPECT_TRUE(env.GetFile(kept, &content) && content == "old") << content;
  for (const std::string& lost : {moved, fresh, sub, inSub, scratch}) {
    EXPECT_EQ(env.Stat(lost), EntryKind::kMissing) << lost;
  }

  create(fresh, "x", false);
  env.Replace(kept, moved);
  env.SyncFolder(folder);  // the entries are durable, fresh's data is not
  env.Remove(moved);
  env.SimulatePowerLoss();
  EXPECT_TRUE(env.GetFile(moved, &content) && content == "old") << content;
  EXPECT_TRUE(env.GetFile(fresh, &content) && content.empty()) << content;
  EXPECT_EQ(env.Stat(kept), EntryKind::kMissing);
}

TEST(MemoryEnvTest, OperationsFromTheCrashPointOnFailAndChangeNothing) {
  MemoryEnv env;
  const std::string path = "/docs/file";
  env.CrashAtOperation(1);
  auto file = env.CreateExclusive(path, std::string());
  EXPECT_THROW(file->Append("x", 1), FileError);
  EXPECT_THROW(env.Replace(path, "/docs/other"), FileError);
  EXPECT_FALSE(env.Remove(path));
  EXPECT_THROW(env.TryLock("/docs/lock"), FileError);
  EXPECT_EQ(env.Operations(), 5u);
  std::string content = "?";
  EXPECT_TRUE(env.GetFile(path, &content) && content.empty()) << content;
  EXPECT_FALSE(env.GetFile("/docs/lock", &content));
}

// The fakes stand in for the real seam in the store's tests: what those
// tests rely on must hold here as it does on a disk.
TEST(MemoryEnvTest, LinksAreNeverFollowedAndALockExcludesTheNextUntilReleased) {
  MemoryEnv env;
  env.PutLink("/docs/link");
  EXPECT_EQ(env.Stat("/docs/link"), EntryKind::kLink);
  EXPECT_THROW(env.OpenForRead("/docs/link"), FileError);
  EXPECT_THROW(env.CreateExclusive("/docs/link", std::string()), FileError);
  EXPECT_THROW(env.TryLock("/docs/link"), FileError);
  EXPECT_TRUE(env.Remove("/docs/link"));
  EXPECT_EQ(env.Stat("/docs/link"), EntryKind::kMissing);

  auto held = env.TryLock("/docs/lock");
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(env.TryLock("/docs/lock"), nullptr);
  held.reset();
  EXPECT_NE(env.TryLock("/docs/lock"), nullptr);
}

}  // namespace
}  // namespace testsupport
