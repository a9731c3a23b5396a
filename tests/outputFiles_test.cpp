#include "outputFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The split file of an index: its path below the search-path entry under the
// directory and the entry's name, ".txt" in place of its last extension;
// no name from the file system leaves the directory or reads as an option.
TEST(SplitFileName, IsTheIndexPathBelowTheEntryWithTxt) {
  const struct {
    const char16_t *directory, *entry, *indexDirectory, *index, *expected;
  } rows[] = {
      {u"out", u"/srv/d", u"/srv/d/2004", u"X.IDX", u"out/d/2004/X.txt"},
      {u"out/", u"/srv/d/", u"/srv/d", u"A.IDX", u"out/d/A.txt"},        // separators at the ends
      {u"out", u"/srv/d", u"/srv/dd", u"A.IDX", u"out/d/A.txt"},         // "/srv/dd" is not below "/srv/d"
      {u"out", u"/srv/d", u"/srv/e/sub", u"B.idx", u"out/d/B.txt"},      // found elsewhere: its name alone
      {u"out", u"/srv/d", u"/srv/d/v.1", u"NOEXT", u"out/d/v.1/NOEXT.txt"},  // a dot of the directory is none
      {u"out", u"/srv/d", u"/srv/d", u"a.b.IDX", u"out/d/a.b.txt"},
      {u"out", u"/", u"/srv", u"Y.IDX", u"out/d/srv/Y.txt"},
      {u"out", u"/srv/d", u"/srv/d/-x/..", u"-n\n%:\x7F.IDX", u"out/d/%2Dx/%2E%2E/%2Dn%0A%25%3A%7F.txt"},
  };
  for (const auto& r : rows) {
    const mstr name = splitFileName(mstr(r.directory), mstr(u"d"), mFileObject(mstr(r.entry)),
                                    mFileObject(r.index, mstr(r.indexDirectory)));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name.c_str())), r.expected) << r.index;
  }
}

}  // namespace
