// Directory search: patterns, letter case, order, attributes, and names that
// are not valid UTF-8.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "temp_tree.h"
#include "wildcard.h"
#include "win32.h"

namespace {

using platform::matchesWildcard;

struct Found {
  std::u16string name;
  DWORD attributes;
};

// Every entry a search delivers, in order; empty when the search fails.
std::vector<Found> findAll(const std::u16string& pattern, FINDEX_SEARCH_OPS op = FindExSearchNameMatch) {
  std::vector<Found> found;
  WIN32_FIND_DATAW data;
  HANDLE search = op == FindExSearchNameMatch
                      ? FindFirstFileW(pattern.c_str(), &data)
                      : FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, op, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    found.push_back({data.cFileName, data.dwFileAttributes});
  } while (FindNextFileW(search, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(search));
  return found;
}

std::vector<std::u16string> namesOf(const std::u16string& pattern, FINDEX_SEARCH_OPS op = FindExSearchNameMatch) {
  std::vector<std::u16string> names;
  for (const Found& entry : findAll(pattern, op)) names.push_back(entry.name);
  return names;
}

DWORD failure(const std::u16string& pattern) {
  WIN32_FIND_DATAW data;
  SetLastError(0);
  HANDLE search = FindFirstFileW(pattern.c_str(), &data);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return GetLastError();
}

class Find : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"ARCHIVE.IDX", "b.idx", "c.dat", "README", "ab.txt", "a.txt",
                             "abc.txt", "ОТЧЁТ.txt"}) {
      dir.file(name, "12345");
    }
    dir.dir("Sub");
  }
  TempTree dir{"platform"};
};

TEST_F(Find, StarDotIdxIgnoresCase) {
  EXPECT_EQ(namesOf(dir.wide("*.idx")), (std::vector<std::u16string>{u"ARCHIVE.IDX", u"b.idx"}));
  EXPECT_EQ(namesOf(dir.wide("отчё*")), std::vector<std::u16string>{u"ОТЧЁТ.txt"});
}

TEST_F(Find, QuestionMarkIsExactlyOneUnit) {
  EXPECT_EQ(namesOf(dir.wide("a?.txt")), std::vector<std::u16string>{u"ab.txt"});
  EXPECT_EQ(namesOf(dir.wide("?.txt")), std::vector<std::u16string>{u"a.txt"});
}

TEST_F(Find, DotsComeFirstThenNamesInOrder) {
  const std::vector<std::u16string> all = {u".",      u"..",    u"a.txt", u"ab.txt",
                                           u"abc.txt", u"ARCHIVE.IDX", u"b.idx", u"c.dat",
                                           u"README", u"Sub",   u"ОТЧЁТ.txt"};
  EXPECT_EQ(namesOf(dir.wide("*")), all);
  EXPECT_EQ(namesOf(dir.wide("*.*")), all);  // names without a dot too
  EXPECT_EQ(namesOf(dir.wide("R*")), std::vector<std::u16string>{u"README"});
}

TEST_F(Find, ExactNamesAndTheirCase) {
  EXPECT_EQ(namesOf(dir.wide("README")), std::vector<std::u16string>{u"README"});
  // Not there as written: the entry is found by its case-blind match.
  EXPECT_EQ(namesOf(dir.wide("archive.idx")), std::vector<std::u16string>{u"ARCHIVE.IDX"});
  const std::vector<Found> sub = findAll(dir.wide("Sub"));
  ASSERT_EQ(sub.size(), 1u);
  EXPECT_EQ(sub[0].attributes, FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Find, Failures) {
  EXPECT_EQ(failure(dir.wide("*.zip")), 2u);
  EXPECT_EQ(failure(dir.wide("missing")), 2u);
  EXPECT_EQ(failure(dir.wide("Sub/")), 2u);
  EXPECT_EQ(failure(dir.wide("nowhere/*.idx")), 3u);
  EXPECT_EQ(failure(dir.wide("nowhere/x.idx")), 3u);
  EXPECT_EQ(failure(dir.wide("README/*")), 267u);  // a file is no directory name
  EXPECT_EQ(failure(dir.wide("README/x/*")), 3u);
}

TEST_F(Find, NamesThatAreNotUtf8CanBeOpenedAgain) {
  const std::string bad = "bad\xFF\xC0name";
  dir.file(bad, "content");
  const std::vector<std::u16string> names = namesOf(dir.wide("bad*"));
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], (std::u16string{u'b', u'a', u'd', 0xDCFF, 0xDCC0, u'n', u'a', u'm', u'e'}));
  const std::u16string path = dir.wide() + u"/" + names[0];
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[16];
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "content");
  CloseHandle(file);
}

TEST_F(Find, PathsLongerThanPathMaxAreReached) {
  // 1000 levels of "level": a path of 6000 bytes and more, which the system
  // takes in no single call.
  std::string deep = "level";
  for (int i = 1; i < 1000; ++i) deep += "/level";
  dir.file(deep + "/R.IDX", "report");
  const std::u16string at = dir.wide(deep);
  EXPECT_EQ(namesOf(at + u"/*.idx"), std::vector<std::u16string>{u"R.IDX"});
  EXPECT_EQ(namesOf(at + u"/R.IDX"), std::vector<std::u16string>{u"R.IDX"});
  EXPECT_EQ(namesOf(at + u"/../level/r.idx"), std::vector<std::u16string>{u"R.IDX"});
  // Opened, and a missing file told from a missing directory on the way.
  for (const auto& [name, error] : {std::pair{u"/R.IDX", 0u}, {u"/gone.idx", 2u}, {u"/gone/x.idx", 3u}}) {
    SetLastError(0);
    HANDLE opened = CreateFileW((at + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    EXPECT_EQ(opened != INVALID_HANDLE_VALUE, error == 0);
    if (opened != INVALID_HANDLE_VALUE) CloseHandle(opened);
    EXPECT_EQ(GetLastError(), error);
  }
}

TEST_F(Find, LinksAreReparsePoints) {
  dir.link("Sub", "toSub");
  dir.link("README", "toFile");
  dir.link("nothing", "toNothing");
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(dir.wide("toFile").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(data.nFileSizeLow, 5u);  // the size of what it leads to
  FindClose(search);
  const std::vector<Found> links = findAll(dir.wide("to*"));
  ASSERT_EQ(links.size(), 3u);
  EXPECT_EQ(links[0].attributes, FILE_ATTRIBUTE_REPARSE_POINT);  // toFile
  EXPECT_EQ(links[1].attributes, FILE_ATTRIBUTE_REPARSE_POINT);  // toNothing
  EXPECT_EQ(links[2].attributes, FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY);
  const std::vector<Found> plain = findAll(dir.wide("c.dat"));
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_EQ(plain[0].attributes, FILE_ATTRIBUTE_NORMAL);
  // A search for directories alone: a link to one is one, as are the dots.
  const auto directories = FindExSearchLimitToDirectories;
  EXPECT_EQ(namesOf(dir.wide("*"), directories), (std::vector<std::u16string>{u".", u"..", u"Sub", u"toSub"}));
  EXPECT_EQ(namesOf(dir.wide("toSub"), directories), std::vector<std::u16string>{u"toSub"});
  EXPECT_EQ(namesOf(dir.wide("toFile"), directories), std::vector<std::u16string>{});
}

TEST_F(Find, SearchHandles) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(dir.wide("README").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_FALSE(FindNextFileW(search, &data));
  EXPECT_EQ(GetLastError(), 18u);
  EXPECT_FALSE(CloseHandle(search));  // not a file handle
  EXPECT_TRUE(FindClose(search));
  SetLastError(0);
  EXPECT_FALSE(FindClose(search));
  EXPECT_EQ(GetLastError(), 6u);
}

TEST(Wildcard, MatchesAsWindowsDoes) {
  struct Case {
    const char16_t* name;
    const char16_t* pattern;
    bool matches;
  };
  const Case cases[] = {
      {u"report.idx", u"*.idx", true},    {u"report.idx.bak", u"*.idx", false},
      {u"a.b.idx", u"*.idx", true},       {u".idx", u"*.idx", true},
      {u"abc", u"*", true},               {u"abc", u"***", true},
      {u"abc", u"a*c", true},             {u"ac", u"a*c", true},
      {u"abcbd", u"a*b?", true},          {u"abcbd", u"a*b", false},
      {u"aXbXc", u"*x*x*", true},         {u"abc", u"??", false},
      {u"abc", u"???", true},             {u"README", u"*.*", true},
      {u"Ёлка", u"ёЛКА", true},           {u"Ёлка", u"елка", false},
      {u"ARCHIVE", u"archive", true},     {u"Ж", u"ж", true},
      {u"Є", u"є", false},                {u"ab", u"abc", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(matchesWildcard(c.name, c.pattern), c.matches)
        << testing::PrintToString(std::u16string(c.name)) << " "
        << testing::PrintToString(std::u16string(c.pattern));
  }
}

}  // namespace
