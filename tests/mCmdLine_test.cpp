#include "mCmdLine.h"
#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text.h"

namespace {

// Arguments as the entry receives them: the program first.
struct args {
  std::vector<std::u16string> texts;
  std::vector<WCHAR*> pointers;
  args(std::initializer_list<std::u16string> list) : texts{u"tarvin"} {
    texts.insert(texts.end(), list);
    for (auto& t : texts) pointers.push_back(reinterpret_cast<WCHAR*>(&t[0]));
    pointers.push_back(nullptr);
  }
  args(const args&) = delete;  // the pointers point into this object's texts
  int argc() const { return static_cast<int>(texts.size()); }
  WCHAR** argv() { return pointers.data(); }
};

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
  for (const char16_t* arg : {u"/?", u"/?:", u"/?:usage", u"/install", u"/remove", u"/start", u"/test", u"/run",
                              u"/log:", u"/log:/var/log/x", u"/deb:1"})
    EXPECT_TRUE(isSwitch(reinterpret_cast<const unsigned short*>(arg))) << testing::PrintToString(std::u16string(arg));
  for (const char16_t* arg : {u"/", u"/srv/archive", u"/?x", u"/installer", u"/run/user", u"/log", u"/debug",
                              u"/test/", u"-h", u"run", u""})
    EXPECT_FALSE(isSwitch(reinterpret_cast<const unsigned short*>(arg))) << testing::PrintToString(std::u16string(arg));
  EXPECT_FALSE(isSwitch(nullptr));
}

TEST(MCmdLineOptions, ConverterOptionsLeaveTheArgumentsOrAreUsageErrors) {
  struct row {
    args given;
    std::vector<std::u16string> left;  // the arguments after the program
    std::size_t usageErrors;
  };
  row rows[] = {
      {{u"--utf8", u"d", u"\"--jsonl\"", u"-h"}, {u"d"}, 0},
      {{u"--jsno", u"d", u"--utf-8", u"-x", u"---"}, {u"d"}, 4},  // unknown options, and nothing converted
      {{u"--simd=foo", u"--simd", u"--utf8=1", u"--simd=avx2"}, {}, 3},  // values it does not take
      {{u"-", u"/srv/a", u"/install", u"@-"}, {u"/srv/a", u"/install", u"@-"}, 1},  // "-" alone: not stdin
      {{u"a", u"--", u"--version", u"-x", u"--"}, {u"a", u"--version", u"-x", u"--"}, 0},  // "--" ends the options
      // "-o" takes the next argument, whatever it is; some options do not go together.
      {{u"-o", u"--", u"d", u"--split=s", u"--force"}, {u"d"}, 1},
      {{u"--force", u"--split=s", u"--verify", u"d", u"-o"}, {u"d"}, 2},
      {{u"--force", u"d", u"--output="}, {u"d"}, 2},
  };
  for (row& r : rows) {
    int argc = r.given.argc();
    runOptions o = takeRunOptions(argc, r.given.argv());
    std::vector<std::u16string> left;
    for (int i = 1; i < argc; ++i) left.push_back(reinterpret_cast<const char16_t*>(r.given.argv()[i]));
    EXPECT_EQ(left, r.left);
    EXPECT_EQ(r.given.argv()[argc], nullptr);
    EXPECT_EQ(o.usageErrors.size(), r.usageErrors);
  }
  int argc = 8;
  args chosen({u"--utf8", u"-h", u"--simd=scalar", u"-o", u"\"out\"", u"--split=s", u"--force"});
  runOptions o = takeRunOptions(argc, chosen.argv());
  EXPECT_TRUE(o.utf8 && o.help && o.levelForced && !o.jsonl && !o.version && o.force);
  EXPECT_EQ(o.level, reportDecode::level::scalar);
  EXPECT_EQ(str(o.output), u"out");
  EXPECT_EQ(str(o.split), u"s");
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
    mFileList& list = line.getSearchPaths(a.argc(), a.argv());
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
  try {
    line.getSearchPaths(a.argc(), a.argv());
    FAIL();
  } catch (mEx& e) {
    EXPECT_EQ(e.line, 226);
    EXPECT_EQ(e.sysError, 2u);
    EXPECT_EQ(str(e.getMessage()), u"Не удается найти указанный файл.\r\nfunc=CreateFile filename=" + dir.wide("missing"));
  }
  args empty({u"@"});
  try {
    line.getSearchPaths(empty.argc(), empty.argv());
    FAIL();
  } catch (mEx& e) {
    std::u16string message = str(e.getMessage());
    EXPECT_EQ(message.substr(message.size() - 25), u"func=CreateFile filename=");
  }
}

}  // namespace
