// The current directory, the lexical full path, and which arguments are
// switches.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "temp_tree.h"
#include "win32.h"

namespace {

TEST(CurrentDirectory, SizeThenText) {
  TempTree dir{"platform"};
  dir.dir("Отчёты");
  InDirectory inside(dir.path("Отчёты"));
  const std::u16string expected = dir.wide("Отчёты");
  const DWORD needed = GetCurrentDirectoryW(0, nullptr);
  EXPECT_EQ(needed, expected.size() + 1);  // with the terminator
  std::u16string buffer(needed, u'#');
  EXPECT_EQ(GetCurrentDirectoryW(needed - 1, &buffer[0]), needed);  // one unit short
  EXPECT_EQ(GetCurrentDirectoryW(needed, &buffer[0]), needed - 1);  // without the terminator
  EXPECT_EQ(buffer, expected + u'\0');
}

TEST(CurrentDirectory, RemovedDirectoryFails) {
  TempTree dir{"platform"};
  dir.dir("gone");
  InDirectory inside(dir.path("gone"));
  ASSERT_EQ(rmdir(dir.path("gone").c_str()), 0);
  SetLastError(0);
  EXPECT_EQ(GetCurrentDirectoryW(0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), 2u);
}

std::u16string fullPath(const std::u16string& name) {
  const DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return u"<failed>";
  std::u16string buffer(needed, u'\0');
  LPWSTR filePart = nullptr;
  EXPECT_EQ(GetFullPathNameW(name.c_str(), needed, &buffer[0], &filePart), needed - 1);
  buffer.resize(needed - 1);
  // The file part is the last component, none after a final separator.
  const std::size_t last = buffer.rfind(u'/') + 1;
  EXPECT_EQ(filePart, last < buffer.size() ? &buffer[last] : nullptr);
  return buffer;
}

TEST(FullPath, IsWorkedOutFromTheTextAlone) {
  EXPECT_EQ(fullPath(u"/srv/a"), u"/srv/a");
  EXPECT_EQ(fullPath(u"/srv//arch/./x/../a"), u"/srv/arch/a");
  EXPECT_EQ(fullPath(u"/../.."), u"/");
  EXPECT_EQ(fullPath(u"/"), u"/");
  EXPECT_EQ(fullPath(u"/srv/sub/"), u"/srv/sub/");
  EXPECT_EQ(fullPath(u"/no/such/dir/../file"), u"/no/such/file");  // nothing is looked up
  TempTree dir{"platform"};
  InDirectory inside(dir.path());
  EXPECT_EQ(fullPath(u"sub//arch"), dir.wide("sub/arch"));
  EXPECT_EQ(fullPath(u"./a/../b"), dir.wide("b"));
  SetLastError(0);
  EXPECT_EQ(GetFullPathNameW(u"", 0, nullptr, nullptr), 0u);
  EXPECT_EQ(GetLastError(), 87u);
}

}  // namespace
