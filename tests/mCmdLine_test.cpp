#include "mCmdLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text.h"

namespace {

struct parsed {
  mCmdLine line;
  explicit parsed(args a) {
    line.parse(a.argc(), a.argv());
  }
  bool has(const char16_t* name) {
    mstr v;
    return line.getOption(name, v);
  }
  std::u16string get(const char16_t* name) {
    mstr v;
    EXPECT_TRUE(line.getOption(name, v)) << "no option " << std::string(name, name + 1);
    return str(v);
  }
};

TEST(MCmdLineParse, SwitchBitsAndValues) {
  EXPECT_EQ(parsed({u"/install", u"/run"}).get(u"flags"), u"17");
  parsed log({u"/log:out.txt"});
  EXPECT_EQ(log.get(u"flags"), u"32");
  EXPECT_EQ(log.get(u"log"), u"out.txt");
  parsed bare({u"/log:"});
  EXPECT_EQ(bare.get(u"flags"), u"32");
  EXPECT_EQ(bare.get(u"log"), u"");
  parsed deb({u"/deb:5"});
  EXPECT_EQ(deb.get(u"debug"), u"5");
  EXPECT_EQ(deb.get(u"deb"), u"5");
  EXPECT_EQ(deb.get(u"flags"), u"0");
  EXPECT_EQ(parsed({u"/log:b", u"/log:a"}).get(u"log"), u"a");
  EXPECT_EQ(parsed({u"/flags:9"}).get(u"flags"), u"0");
  EXPECT_EQ(parsed({u"/deb:b:c"}).get(u"deb"), u"b:c");
  EXPECT_EQ(parsed({u"/run", u"/run", u"\"/run\""}).get(u"flags"), u"16");
}

TEST(MCmdLineParse, UsageSwitch) {
  parsed plain({u"/?"});
  EXPECT_EQ(plain.get(u"?"), u"");
  EXPECT_EQ(parsed({u"/?:abc"}).get(u"?"), u"abc");
  EXPECT_FALSE(parsed({u"?"}).has(u"?"));  // a bare ? is a directory name
  // The run asks one question for "/?" and --help.
  EXPECT_EQ(plain.line.options.help, runOptions::helpKind::usage);
  parsed both({u"--help", u"/?:abc"});
  EXPECT_EQ(both.line.options.help, runOptions::helpKind::options);
  EXPECT_EQ(str(both.line.options.usageTitle), u"abc");
}

TEST(MCmdLineParse, WhatIsNotStored) {
  parsed none({});
  EXPECT_FALSE(none.has(u"flags"));
  mstr out(u"stale");
  EXPECT_FALSE(none.line.getOption(static_cast<const unsigned short*>(nullptr), out));
  EXPECT_EQ(out.get_count(), 0);
  parsed dirs({u"somewhere", u"@list.txt", u"\"\"", u""});
  EXPECT_EQ(dirs.line.get_count(), 1);  // "flags" only
  parsed upper({u"/LOG:x"});
  EXPECT_EQ(upper.get(u"flags"), u"0");
  EXPECT_FALSE(upper.has(u"log"));
}

TEST(MCmdLineParse, PosixSwitchesAndAbsolutePaths) {
  // Only the known switch forms are switches; any other "/..." is a path.
  parsed p({u"/srv/archive", u"/test"});
  EXPECT_EQ(p.get(u"flags"), u"8");
  EXPECT_FALSE(p.has(u"srv"));
}

TEST(MCmdLineOptions, SetOptionReplacesAndKeepsOrder) {
  mCmdLine line;
  line.setOption(mstr(u"b"), mstr(u"1"));
  line.setOption(mstr(u"a"), reinterpret_cast<const unsigned short*>(u"2"));
  line.setOption(mstr(u"b"), -1);
  // In name order, the replaced option in its place with its new value.
  std::vector<std::u16string> stored;
  for (auto it = line.begin(); auto* n = it.step();) stored.push_back(str(n->value->name) + u"=" + str(n->value->value));
  EXPECT_EQ(stored, (std::vector<std::u16string>{u"a=2", u"b=4294967295"}));
  mstr v(u"stale");
  EXPECT_FALSE(line.getOption(u"c", v));
  EXPECT_EQ(str(v), u"");
}

class MCmdLineSearch : public ::testing::Test {
 protected:
  std::vector<std::u16string> names(args a) {
    mCmdLine line;
    line.parse(a.argc(), a.argv());
    mFileList& list = line.getSearchPaths();
    std::vector<std::u16string> out;
    for (auto it = list.begin(); auto* n = it.step();) {
      mstr full;
      out.push_back(str(n->value->getFullPath(full)));
    }
    return out;
  }
  TempTree dir{"cmdline"};
};

TEST_F(MCmdLineSearch, DirectoriesInOrderOfTheirLastComponent) {
  EXPECT_EQ(names({u"/x/2005", u"/y/2004", u"/test"}), (std::vector<std::u16string>{u"/y/2004", u"/x/2005"}));
  EXPECT_EQ(names({u"/x/a", u"/x/a"}), (std::vector<std::u16string>{u"/x/a"}));
  EXPECT_EQ(names({u"/"}), (std::vector<std::u16string>{u"/"}));
}

TEST_F(MCmdLineSearch, ListFilesAddTheirEntries) {
  dir.file("list.txt", "/d/b\r\n\r\n/d/a\r\n/d/my dir\r\n@odd\r\n\"/q\"\r\n/x/a");
  std::u16string at = u"@" + dir.wide("list.txt");
  std::u16string cwd = widened(currentDirectory());
  // The argument /x/a sorts before the list file's argument, so it is added
  // first; the list's entries follow in their order. Quotes stay part of an
  // entry, and "@odd" is a directory like any other.
  EXPECT_EQ(names({at.c_str(), u"/x/a"}),
            (std::vector<std::u16string>{cwd + u"/\"/q\"", cwd + u"/@odd", u"/x/a", u"/d/a", u"/x/a", u"/d/b",
                                         u"/d/my dir"}));
}

TEST_F(MCmdLineSearch, UnreadableListFileRaises) {
  mCmdLine line;
  args a({u"@" + dir.wide("missing")});
  line.parse(a.argc(), a.argv());
  try {
    line.getSearchPaths();
    FAIL();
  } catch (mEx& e) {
    EXPECT_EQ(e.line, 226);
    EXPECT_EQ(e.sysError, 2u);
    EXPECT_EQ(str(e.getMessage()), u"Не удается найти указанный файл.\r\nfunc=CreateFile filename=" + dir.wide("missing"));
  }
  args empty({u"@"});
  mCmdLine bare;
  bare.parse(empty.argc(), empty.argv());
  try {
    bare.getSearchPaths();
    FAIL();
  } catch (mEx& e) {
    std::u16string message = str(e.getMessage());
    EXPECT_EQ(message.substr(message.size() - 25), u"func=CreateFile filename=");
  }
}

}  // namespace
