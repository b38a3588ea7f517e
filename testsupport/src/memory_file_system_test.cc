#include "testsupport/memory_file_system.h"

#include <gtest/gtest.h>

#include "kelcore/filesupport/file_system.h"
#include "kelcore/string/conversions.h"

namespace testsupport {
namespace {

using kelcore::filesupport::FileError;

kelcore::UTF16String Path16(const char* path) {
  return kelcore::string::UTF8to16(kelcore::string::FromStd(path));
}

// Without this the power-loss tests could pass on a disk that keeps everything.
TEST(MemoryFileSystemTest, TheDiskKeepsOnlyWhatWasSynced) {
  MemoryFileSystem fs;
  const auto folder = Path16("/docs");
  const auto kept = Path16("/docs/kept");
  const auto moved = Path16("/docs/moved");
  const auto fresh = Path16("/docs/fresh");
  const auto sub = Path16("/docs/sub");
  const auto inSub = Path16("/docs/sub/file");
  const auto create = [&fs](const kelcore::UTF16String& path, bool sync) {
    const auto file = fs.CreateNewFile(path, path);
    file->Append("x", 1);
    if (sync) file->Sync();
  };
  fs.CreateDirectory(folder);
  fs.PutFile(kept, "old");
  fs.SyncEverything();
  std::string content;

  fs.OpenForWrite(kept)->Append("new", 3);
  fs.RenameFile(kept, moved);
  create(fresh, true);  // the data is durable, the entry is not
  fs.CreateDirectory(sub);
  create(inSub, true);
  fs.SyncDirectory(sub);  // durable in a folder whose own entry is not
  fs.SimulatePowerLoss();
  EXPECT_TRUE(fs.GetFile(kept, &content) && content == "old") << content;
  for (const auto& lost : {moved, fresh, sub, inSub}) {
    EXPECT_EQ(fs.Stat(lost), kelcore::filesupport::PathKind::kMissing);
  }

  create(fresh, false);
  fs.RenameFile(kept, moved);
  fs.SyncDirectory(folder);  // the entries are durable, fresh's data is not
  fs.DeleteFile(moved);
  fs.SimulatePowerLoss();
  EXPECT_TRUE(fs.GetFile(moved, &content) && content == "old") << content;
  EXPECT_TRUE(fs.GetFile(fresh, &content) && content.empty()) << content;
  EXPECT_EQ(fs.Stat(kept), kelcore::filesupport::PathKind::kMissing);
}

TEST(MemoryFileSystemTest, OperationsFromTheCrashPointOnFailAndChangeNothing) {
  MemoryFileSystem fs;
  const auto path = Path16("/docs/file");
  fs.CrashAtOperation(1);
  auto file = fs.CreateNewFile(path, path);
  EXPECT_THROW(file->Append("x", 1), FileError);
  EXPECT_THROW(fs.RenameFile(path, Path16("/docs/other")), FileError);
  EXPECT_FALSE(fs.DeleteFile(path));
  EXPECT_FALSE(fs.CreateFile(Path16("/docs/more"), false));
  EXPECT_EQ(fs.Operations(), 5u);
  std::string content = "?";
  EXPECT_TRUE(fs.GetFile(path, &content) && content.empty()) << content;
  EXPECT_FALSE(fs.GetFile(Path16("/docs/more"), &content));
}

}  // namespace
}  // namespace testsupport
