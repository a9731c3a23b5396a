#include "mFileObject.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "capture.h"
#include "text.h"

namespace {

typedef std::vector<std::u16string> texts;

std::u16string fullPath(const mFileObject& f) {
  mstr out;
  return str(f.getFullPath(out));
}

// The list's full paths (or names) in list order.
texts walk(const mFileList& list, bool namesOnly = false) {
  texts out;
  for (auto it = list.begin(); auto* n = it.step();)
    out.push_back(namesOnly ? str(*n->value) : fullPath(*n->value));
  return out;
}

std::string twoDigits(int i) { return std::to_string(i / 10) + std::to_string(i % 10); }

// Runs the check in a child as the user nobody, for whom permissions hold
// even when the tests run as root; the child's exit code is the result.
void asNobody(const std::function<bool()>& check) {
  if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                         setresuid(65534, 65534, 65534) != 0))
    _exit(2);
  _exit(check() ? 0 : 1);
}

TEST(MFileObjectPath, SplitsIntoDirectoryAndName) {
  const struct {
    const char16_t *path, *dir, *name, *full;
  } cases[] = {
      {u"/srv/a", u"/srv", u"a", u"/srv/a"},   {u"/srv", u"", u"srv", u"/srv"},
      {u"/srv//", u"", u"srv", u"/srv"},       {u"/", u"", u"", u"/"},
      {u"//", u"", u"", u"/"},                 {u"a/b", u"a", u"b", u"a/b"},
      {u"Rep/2004/", u"Rep", u"2004", u"Rep/2004"}, {u"sub//arch", u"sub/", u"arch", u"sub//arch"},
      {u"./a", u".", u"a", u"./a"},
      // Spaces at either end and at the start of the name go; the directory is all before the last separator.
      {u"x/2005  ", u"x", u"2005", u"x/2005"}, {u"  /srv/a ", u"/srv", u"a", u"/srv/a"},
      {u"x/ 2005 / ", u"x", u"2005", u"x/2005"}, {u"x /2005", u"x ", u"2005", u"x /2005"},
      {u" /", u"", u"", u"/"},                 {u"/a/\"b/c\"", u"/a", u"\"b/c\"", u"/a/\"b/c\""},
  };
  mFileObject reused(mstr(u"/old/dir/x"));
  for (const auto& c : cases) {
    mFileObject f{mstr(c.path)};
    EXPECT_EQ(str(f.dir), c.dir);
    EXPECT_EQ(str(f), c.name);
    EXPECT_EQ(fullPath(f), c.full);
    reused.setPath(mstr(c.path));
    EXPECT_EQ(fullPath(reused), c.full);
    EXPECT_EQ(str(reused), c.name);
  }
}

TEST(MFileObjectPath, BareNameTakesTheCurrentDirectoryOfThatMoment) {
  TempTree t;
  t.dir("one");
  t.dir("two");
  InDirectory in(t.path("one"));
  const std::u16string one = widened(currentDirectory());
  mFileObject rep(mstr(u"Rep/")), drive(mstr(u"C:"));  // no drive letters here
  InDirectory::move(t.path("two"));
  EXPECT_EQ(fullPath(rep), one + u"/Rep");
  EXPECT_EQ(fullPath(drive), one + u"/C:");
  EXPECT_EQ(fullPath(mFileObject(mstr(u"Rep"))), widened(currentDirectory()) + u"/Rep");
  EXPECT_EQ(fullPath(mFileObject(mstr(u"  Rep "))), widened(currentDirectory()) + u"/Rep");
  EXPECT_EQ(fullPath(mFileObject(mstr(u"  "))), widened(currentDirectory()) + u"/  ");  // names nothing
}

TEST(MFileObjectPath, NameAndDirectoryAsGiven) {
  mFileObject f(u"a.idx", mstr(u"/srv/rep//"));
  EXPECT_EQ(str(f.dir), u"/srv/rep");
  EXPECT_EQ(fullPath(f), u"/srv/rep/a.idx");
  EXPECT_EQ(str(mFileObject(u"srv", mstr(u"/")).dir), u"");  // the root

  mFileObject copy, other(f);
  copy = f;
  mstr out;
  EXPECT_EQ(str(copy.getDir(out)), u"/srv/rep");
  EXPECT_EQ(str(copy.getName(out)), u"a.idx");
  // The full path may be composed into the object's own parts.
  EXPECT_EQ(str(copy.getFullPath(copy)), u"/srv/rep/a.idx");
  EXPECT_EQ(str(other.getFullPath(other.dir)), u"/srv/rep/a.idx");
}

TEST(MFileObjectPath, NameLessItsLastExtension) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"a.b.idx", u"a.b"}, {u"report", u"report"}, {u".idx", u""}, {u"x.", u""},
      {u"a.b.", u"a."},     {u"", u""},       {u"it\"s.idx", u"it\"s"}, {u" B .idx", u" B "},
  };
  for (const auto& c : cases) {
    mstr out(u"left over");
    EXPECT_EQ(str(mFileObject(c.first, mstr(u"/d")).getNameNoExt(out)), c.second);
  }
}

TEST(MFileObjectKind, ExactNamesOnly) {
  TempTree t;
  t.file("ARCHIVE.07");
  t.dir("Rep");
  auto kind = [&](const char16_t* name) { return mFileObject(name, text(t)).getKind(); };
  EXPECT_EQ(kind(u"ARCHIVE.07"), 1);
  EXPECT_EQ(kind(u"archive.07"), 0);
  EXPECT_EQ(kind(u"*.07"), -2);  // no pattern: a name that is not there
  t.link("nowhere", "LINK.07");
  EXPECT_EQ(kind(u"LINK.07"), -2);  // a link to nothing
  EXPECT_EQ(kind(u"Rep"), -1);
  EXPECT_EQ(kind(u"rep"), 0);
  EXPECT_EQ(kind(u"ARCHIVE.08"), -2);
  EXPECT_EQ(mFileObject(u"ARCHIVE.07", text(t, "missing")).getKind(), -2);
  t.file("archive.07");
  EXPECT_EQ(kind(u"archive.07"), 1);
  // A relative path cannot be resolved once the current directory is gone.
  t.dir("gone");
  InDirectory in(t.path("gone"));
  ASSERT_EQ(rmdir(t.path("gone").c_str()), 0);
  EXPECT_EQ(mFileObject(u"x", mstr(u"a")).getKind(), 0);
}

TEST(MFileObjectList, FilesAndDirectoriesByMask) {
  TempTree t;
  for (const char* name : {"ARCHIVE.IDX", "b.idx", "a.idxx", "c.txt"}) t.file(name);
  t.dir("d.idx");
  t.dir("sub");
  mFileObject here(text(t));
  const char16_t* everything = nullptr;
  mFileList idx, all, dirs, idxDirs, dots, missing, root;
  EXPECT_EQ(walk(here.listFiles(idx, u"*.idx")), (texts{t.wide("ARCHIVE.IDX"), t.wide("b.idx")}));
  EXPECT_EQ(walk(here.listFiles(all, everything), true),
            (texts{u"a.idxx", u"ARCHIVE.IDX", u"b.idx", u"c.txt"}));
  EXPECT_EQ(walk(here.listDirs(dirs, everything)), (texts{t.wide("d.idx"), t.wide("sub")}));
  EXPECT_EQ(walk(here.listDirs(idxDirs, u"*.idx"), true), texts{u"d.idx"});
  // The search delivers "." and "..", the listing never.
  here.listDirs(dots, u".*");
  EXPECT_EQ(here.listFiles(dots, u".*").get_count(), 0);
  EXPECT_EQ(mFileObject(text(t, "missing")).listFiles(missing, everything).get_count(), 0);
  // Entries of the root get an empty directory.
  mFileObject(mstr(u"/")).listDirs(root, u"tm?");
  ASSERT_EQ(root.get_count(), 1);
  EXPECT_EQ(str(root.first()->value->dir), u"");
  EXPECT_EQ(fullPath(*root.first()->value), u"/tmp");
}

TEST(MFileObjectList, ListingThatAddsMoreThan64IsRebalanced) {
  TempTree t;
  auto fill = [&](const std::string& dir, int count) {
    texts names;
    for (int i = 0; i < count; ++i) {
      t.file(dir + "/f" + twoDigits(i) + ".idx");
      names.push_back(widened("f" + twoDigits(i) + ".idx"));
    }
    return names;
  };
  const texts big = fill("big", 65), small = fill("small", 64);
  t.file("one/a.idx");
  // Entries arrive in name order, so without a rebalance they form a chain.
  mFileList list65, list64, grown;
  EXPECT_EQ(walk(mFileObject(text(t, "big")).listFiles(list65, u"*.idx"), true), big);
  EXPECT_EQ(depth(list65.top()), 7);
  EXPECT_EQ(walk(mFileObject(text(t, "small")).listFiles(list64, u"*.idx"), true), small);
  EXPECT_EQ(depth(list64.top()), 64);
  // What one call adds counts, not the size of the list.
  mFileObject(text(t, "one")).listFiles(grown, u"*.idx");
  mFileObject(text(t, "small")).listFiles(grown, u"*.idx");
  EXPECT_EQ(depth(grown.top()), 65);
}

// A listing of it is empty; the walk names it, and goes on.
TEST(MFileObjectList, UnreadableDirectoryListsAsEmpty) {
  TempTree t;
  t.file("root/a.idx");
  t.file("root/locked/inner/z.idx");
  t.file("root/open/b.idx");
  ASSERT_EQ(chmod(t.path("root/locked").c_str(), 0), 0);
  EXPECT_EXIT(asNobody([&] {
                if (access(t.path("root/locked").c_str(), R_OK) == 0) return false;
                mFileList tree, direct;
                std::vector<mFileObject::unlisted> named;
                mFileObject(text(t, "root")).listTree(tree, 1, u"*.idx", &named);
                mFileObject(text(t, "root/locked")).listDirs(direct, u"*");
                return walk(tree) == texts{t.wide("root/a.idx"), t.wide("root/open/b.idx")} &&
                       direct.get_count() == 0 && named.size() == 1 && named[0].error.sysError == 5 &&
                       str(named[0].path) == t.wide("root/locked");
              }),
              testing::ExitedWithCode(0), "");
  chmod(t.path("root/locked").c_str(), 0755);
}

TEST(MFileObjectTree, FilesOfTheWholeTreeByName) {
  TempTree t;
  for (const char* name :
       {"root/b.idx", "root/x.txt", "root/z/b.idx", "root/m/b.idx", "root/m/a.idx", "root/m/deep/c.idx"})
    t.file(name);
  t.dir("root/empty");
  auto at = [&](const char* name) { return t.wide(std::string("root/") + name); };
  const texts files{at("m/a.idx"), at("b.idx"), at("m/b.idx"), at("z/b.idx"), at("m/deep/c.idx")};
  // Equal names: this directory's file first, then the subdirectories' in
  // name order.
  mFileList only, all;
  EXPECT_EQ(walk(mFileObject(text(t, "root")).listTree(only, 1, u"*.idx")), files);
  // skipSelf 0 adds each directory walked; the mask is for files only.
  texts withDirs = files;
  for (auto d : {at("m/deep"), at("empty"), at("m"), t.wide("root"), at("z")}) withDirs.push_back(d);
  EXPECT_EQ(walk(mFileObject(text(t, "root")).listTree(all, 0, u"*.idx")), withDirs);
  // The same walk gathers the files a caller wants into a second list.
  mFileList indexes, wanted;
  const mFileObject::alsoGather x{&wanted, [](const unsigned short* name) { return name[0] == u'x'; }};
  EXPECT_EQ(walk(mFileObject(text(t, "root")).listTree(indexes, 1, u"*.idx", nullptr, &x)), files);
  EXPECT_EQ(walk(wanted), texts{at("x.txt")});
}

TEST(MFileObjectTree, LinksBackToAWalkedDirectoryAreNotEntered) {
  TempTree t;
  for (const char* name : {"root/a.idx", "root/sub/b.idx", "root/sub/deeper/c.idx"}) t.file(name);
  t.link("..", "root/sub/up");
  t.link(".", "root/sub/self");
  t.link(t.path("root"), "root/sub/deeper/back");
  t.link("root", "alias");
  mFileList files, viaAlias;
  EXPECT_EQ(walk(mFileObject(text(t, "root")).listTree(files, 1, u"*.idx")),
            (texts{t.wide("root/a.idx"), t.wide("root/sub/b.idx"), t.wide("root/sub/deeper/c.idx")}));
  // Started through a link, the walk still knows where it is.
  EXPECT_EQ(mFileObject(text(t, "alias")).listTree(viaAlias, 1, u"*.idx").get_count(), 3);
}

TEST(MFileObjectTree, LinksToSiblingsAreWalkedOnceWhereFirstMet) {
  TempTree t;
  t.file("root/s1/x.idx");
  t.file("root/s2/y.idx");
  t.link("../s2", "root/s1/to2");
  t.link("../s1", "root/s2/to1");
  // s1 comes first; s2 is met first through s1/to2, and not again as itself.
  mFileList files;
  EXPECT_EQ(walk(mFileObject(text(t, "root")).listTree(files, 1, u"*.idx")),
            (texts{t.wide("root/s1/x.idx"), t.wide("root/s1/to2/y.idx")}));
}

class MFileObjectListFile : public testing::Test {
 protected:
  mFileList& read(mFileList& list, const std::string& bytes, int* textUnits = nullptr) {
    t.file("list.txt", bytes);
    return mFileObject::GetFilesFromFileList(list, text(t, "list.txt"), textUnits);
  }
  texts entries(const std::string& bytes) {
    mFileList list;
    return walk(read(list, bytes));
  }
  static std::string lines(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += "/srv/r" + twoDigits(i) + "\r\n";
    return out;
  }
  TempTree t;
};

TEST_F(MFileObjectListFile, MissingFileRaisesTheCreateFileError) {
  mFileList list;
  mEx missing = raised([&] { mFileObject::GetFilesFromFileList(list, text(t, "absent.lst")); });
  EXPECT_EQ(whereOf(missing), whereOf(origin::listFileOpen));
  EXPECT_EQ(missing.sysError, 2u);
  EXPECT_EQ(str(missing.getMessage()),
            u"Не удается найти указанный файл.\r\nfunc=CreateFile filename=" + t.wide("absent.lst"));
  mEx unnamed = raised([&] { mFileObject::GetFilesFromFileList(list, mstr()); });
  EXPECT_EQ(whereOf(unnamed), whereOf(origin::listFileOpen));
  EXPECT_EQ(unnamed.sysError, 3u);
  EXPECT_EQ(str(unnamed.getMessage()),
            u"Системе не удается найти указанный путь.\r\nfunc=CreateFile filename=");
  // Standard input open for writing only fails as a closed one: no handle to read.
  const int saved = dup(0), writeOnly = open("/dev/null", O_WRONLY);
  dup2(writeOnly, 0);
  mEx unreadable = raised([&] { mFileObject::GetFilesFromFileList(list, mstr(u"-")); });
  dup2(saved, 0);
  for (int fd : {saved, writeOnly}) close(fd);
  EXPECT_EQ(whereOf(unreadable), whereOf(origin::listFileOpen));
  EXPECT_EQ(unreadable.sysError, 6u);
  EXPECT_EQ(list.get_count(), 0);
}

TEST_F(MFileObjectListFile, OneDirectoryPerLine) {
  const texts two{u"/x/rep", u"/y/rep"};  // equal names in the order of their lines
  EXPECT_EQ(entries("/x/rep\r\n/y/rep\r\n"), two);
  EXPECT_EQ(entries("/x/rep\r\n/y/rep"), two);
  EXPECT_EQ(entries("/x/rep\r/y/rep"), two);
  EXPECT_EQ(entries("\r\n\r\n/x/rep\r\n\r\n\r\n/y/rep\r\n\r\n"), two);
  EXPECT_EQ(entries(""), texts{});
  EXPECT_EQ(entries(oem("/srv/Отчёт\r\n")), texts{u"/srv/Отчёт"});
  // A line feed ends an entry as well (as find and editors on Linux write).
  EXPECT_EQ(entries("\n/x/rep\n/y/rep\n\n"), two);
  EXPECT_EQ(entries("/x/rep\n\r/y/rep"), two);
}

TEST_F(MFileObjectListFile, EntriesAreTakenAsTheyStand) {
  // Spaces neither end nor join entries; "@" and quotes are plain text.
  EXPECT_EQ(entries("/srv/one space/a\r\n/srv/b\r\n"), (texts{u"/srv/one space/a", u"/srv/b"}));
  EXPECT_EQ(entries("@/srv/lists\r\n"), texts{u"@/srv/lists"});
  // The path rule of arguments: spaces at either end go.
  EXPECT_EQ(entries("  /srv/x/2005   \r\n"), texts{u"/srv/x/2005"});
  mFileList quoted;
  EXPECT_EQ(walk(read(quoted, "/srv/\"q r\"\r\n\"/srv/p\"\r\n"), true), (texts{u"\"/srv/p\"", u"\"q r\""}));
  EXPECT_EQ(str(quoted.last()->value->dir), u"/srv");
  EXPECT_EQ(str(quoted.first()->value->dir), widened(currentDirectory()));
}

TEST_F(MFileObjectListFile, MoreThan32EntriesAreRebalanced) {
  mFileList list32, list33, grown;
  EXPECT_EQ(depth(read(list32, lines(32)).top()), 32);
  EXPECT_EQ(depth(read(list33, lines(33)).top()), 6);
  // Every entry of the list counts, not only this file's.
  grown.insert_copy(mFileObject(mstr(u"/a/r")));
  EXPECT_EQ(depth(read(grown, lines(32)).top()), 6);
  texts names{u"r"};
  for (int i = 0; i < 32; ++i) names.push_back(widened("r" + twoDigits(i)));
  EXPECT_EQ(walk(grown, true), names);
}

TEST_F(MFileObjectListFile, TellsTheCharactersOfItsText) {
  // The run writes the size line of a long list file from them.
  for (int blankLines : {5000, 4997}) {
    std::string bytes;
    for (int i = 0; i < blankLines; ++i) bytes += "\r\n";
    mFileList list;
    int units = -1;
    EXPECT_EQ(read(list, bytes + "/srv/a", &units).get_count(), 1);
    EXPECT_EQ(units, 2 * blankLines + 6);
  }
}

}  // namespace
