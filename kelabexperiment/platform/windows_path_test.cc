#include "platform/windows_path.h"

#include <string>

#include <gtest/gtest.h>

#include "kelcore/string/conversions.h"

namespace kelabexperiment::platform {
namespace {

// Both ways in UTF-8, so that a failure prints readable paths.
std::string Extended(const std::string& path) {
  namespace text = kelcore::string;
  const kelcore::UTF16String wide = text::UTF8to16(text::FromStd(path));
  const std::wstring extended = ExtendedLengthPath(std::wstring(wide.begin(), wide.end()));
  return text::ToStd(text::UTF16to8(kelcore::UTF16String(extended.begin(), extended.end())));
}

TEST(WindowsPathTest, AbsolutePathsBecomeExtendedLengthPathsNormalisedFirst) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {R"(C:\a\b)", R"(\\?\C:\a\b)"},
      {R"(c:/a/b\c)", R"(\\?\c:\a\b\c)"},
      {R"(C:\\a//b\)", R"(\\?\C:\a\b)"},
      {R"(C:\a\.\b\..\c)", R"(\\?\C:\a\c)"},
      {R"(C:\..\..\a)", R"(\\?\C:\a)"},  // ".." stops at the drive
      {R"(C:\)", R"(\\?\C:\)"},          // a drive's root keeps its backslash
      {R"(U:\a\..)", R"(\\?\U:\)"},
      {R"(A:\x)", R"(\\?\A:\x)"},  // the drive letters' ends
      {R"(Z:\x)", R"(\\?\Z:\x)"},
      {R"(a:\x)", R"(\\?\a:\x)"},
      {R"(z:\x)", R"(\\?\z:\x)"},
      {R"(C:\a\...b\c..d)", R"(\\?\C:\a\...b\c..d)"},
      {"C:\\d\xF0\x9F\x98\x80\\x", "\\\\?\\C:\\d\xF0\x9F\x98\x80\\x"},
      {R"(\\server\share\x)", R"(\\?\UNC\server\share\x)"},
      {R"(//server/share/x/../y)", R"(\\?\UNC\server\share\y)"},
      {R"(\\server\share\..\..\x)", R"(\\?\UNC\server\share\x)"},  // nor above the share
      {R"(\\server\share)", R"(\\?\UNC\server\share)"},
      {R"(\\s\h\x)", R"(\\?\UNC\s\h\x)"},  // one-letter names are no device prefix
  };
  for (const auto& c : cases) EXPECT_EQ(Extended(c.in), c.out) << c.in;

  // No limit of its own: a path far over MAX_PATH keeps every component.
  std::string longPath = "C:";
  for (int i = 0; i < 30; ++i) longPath += "\\folder" + std::to_string(i);
  EXPECT_EQ(Extended(longPath), R"(\\?\)" + longPath);
}

TEST(WindowsPathTest, EverythingElseIsLeftToWindows) {
  for (const char* path : {
           "",
           R"(a\b)",
           R"(..\a)",
           R"(C:a)",   // relative to the drive's current folder
           R"(1:\a)",  // no drive letter: neither a digit ...
           R"(@:\a)",  // ... nor the neighbours of the letters
           R"([:\a)",
           R"(`:\a)",
           R"({:\a)",
           R"(\a\b)",        // relative to the current drive
           R"(\\?\C:\a/b)",  // already extended: taken literally
           R"(\\.\pipe\name)",
           R"(\??\C:\a)",
           R"(\\server)",
           R"(\\server\)",
           R"(\\server\..\x)",
           R"(C:\a\b.)",  // Windows would trim the dot ...
           R"(C:\a \b)",  // ... and the space
           R"(C:\a\...\b)",
       }) {
    EXPECT_EQ(Extended(path), path);
  }
}

}  // namespace
}  // namespace kelabexperiment::platform
