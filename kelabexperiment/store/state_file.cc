#include "store/state_file.h"

#include <limits>

namespace kelabexperiment {

using kelcore::filesupport::Dir;
using kelcore::filesupport::File;
using kelcore::filesupport::StorageType;

namespace {

constexpr kelcore::filesupport::Flags kStreamFlags = kelcore::filesupport::kStreamBinary;

File FileAt(const UTF8String& path) {
  return File(kelcore::string::UTF8to16(path), StorageType::kLocal);
}

}  // namespace

UTF8String ReadStateFile(const UTF8String& path) {
  const File file = FileAt(path);
  UTF8String text;
  if (!file.Exists()) return text;
  kelcore::filesupport::IPlatformByteStream in(file, kStreamFlags);
  const std::uint64_t length = in.Length();
  if (length > std::numeric_limits<std::uint32_t>::max()) {
    throw kelcore::filesupport::FileError("state file is too large: " +
                                          kelcore::string::ToStd(path));
  }
  if (length != 0) {
    text.resize(static_cast<std::size_t>(length));
    in.ReadBlock(text.data(), static_cast<std::uint32_t>(length));
  }
  in.Close();
  return text;
}

bool WriteStateFileAtomically(const UTF8String& path, const UTF8String& text) {
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw kelcore::filesupport::FileError("state is too large to write: " +
                                          kelcore::string::ToStd(path));
  }
  const File target = FileAt(path);
  if (Dir(target.FullPath()).Exists()) return false;
  UTF8String tempPath = path;
  tempPath.append(kelcore::string::FromStd(".tmp"));
  const File temp = FileAt(tempPath);
  if (!temp.Create(false)) return false;
  try {
    kelcore::filesupport::OPlatformByteStream out(temp, kStreamFlags);
    out.WriteBlock(text.data(), static_cast<std::uint32_t>(text.size()));
    out.Flush();
    out.Close();
    target.ReplaceWith(temp);
  } catch (...) {
    temp.Delete();
    throw;
  }
  // The rename is complete; making it durable is best effort.
  try {
    kelcore::filesupport::CurrentFileSystem().SyncDirectory(target.Parent().FullPath());
  } catch (const kelcore::filesupport::FileError&) {
  }
  return true;
}

}  // namespace kelabexperiment
