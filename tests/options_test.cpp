#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text.h"

namespace {

TEST(Options, PosixSwitchForms) {
  for (const char16_t* arg : {u"/?", u"/?:", u"/?:usage", u"/install", u"/remove", u"/start", u"/test", u"/run",
                              u"/log:", u"/log:/var/log/x", u"/deb:1"})
    EXPECT_TRUE(isSwitch(reinterpret_cast<const unsigned short*>(arg))) << testing::PrintToString(std::u16string(arg));
  for (const char16_t* arg : {u"/", u"/srv/archive", u"/?x", u"/installer", u"/run/user", u"/log", u"/debug",
                              u"/test/", u"-h", u"run", u""})
    EXPECT_FALSE(isSwitch(reinterpret_cast<const unsigned short*>(arg))) << testing::PrintToString(std::u16string(arg));
  EXPECT_FALSE(isSwitch(nullptr));
}

TEST(Options, ConverterOptionsLeaveTheArgumentsOrAreUsageErrors) {
  struct row {
    args given;
    std::vector<std::u16string> left;  // the arguments kept, as typed
    std::size_t usageErrors;
  };
  row rows[] = {
      {{u"--utf8", u"d", u"\"--jsonl\"", u"-h", u"\"\"e\""}, {u"d", u"e"}, 0},
      {{u"--jsno", u"d", u"--utf-8", u"-x", u"---"}, {u"d"}, 4},  // unknown options, and nothing converted
      // Values it does not take; a value as the next argument; a value missing at the end.
      {{u"--simd=foo", u"--simd", u"scalar", u"--utf8=1", u"--simd"}, {}, 3},
      // Unique beginnings of words, ambiguous ones, short forms alone.
      {{u"--verif", u"--ver", u"--s", u"--spl=x", u"d"}, {u"d"}, 3},
      {{u"-q", u"-V", u"-qV", u"-o-", u"d"}, {u"d"}, 1},
      {{}, {}, 1},  // nothing at all
      {{u"-", u"/srv/a", u"/install", u"@-"}, {u"/srv/a", u"/install", u"@-"}, 1},  // "-" alone: not stdin
      {{u"a", u"--", u"--version", u"-x", u"--"}, {u"a", u"--version", u"-x", u"--"}, 0},  // "--" ends the options
      // "-o" takes the next argument, whatever it is; some options do not go together.
      {{u"-o", u"--", u"d", u"--split=s", u"--force"}, {u"d"}, 1},
      {{u"--force", u"--split=s", u"--verify", u"d", u"-o"}, {u"d"}, 2},
      {{u"--force", u"d", u"--output="}, {u"d"}, 2},
  };
  for (row& r : rows) {
    std::vector<std::u16string> left;
    const auto keep = [&left](const mstr& kept) { left.push_back(str(kept)); };
    runOptions o = takeRunOptions(r.given.argc(), r.given.argv(), keep);
    EXPECT_EQ(left, r.left);
    EXPECT_EQ(o.usageErrors.size(), r.usageErrors);
  }
  args chosen({u"--utf8", u"-h", u"--si", u"scalar", u"-o", u"\"out\"", u"--sp", u"s", u"--force", u"-q", u"-0"});
  runOptions o = takeRunOptions(chosen.argc(), chosen.argv(), [](const mstr&) {});
  EXPECT_TRUE(o.utf8 && o.help == runOptions::helpKind::options && o.levelForced && !o.jsonl && !o.version && o.force &&
              o.quiet && o.nullEnds && !o.oem);
  EXPECT_EQ(o.level, reportDecode::level::scalar);
  EXPECT_EQ(str(o.output), u"out");
  EXPECT_EQ(str(o.split), u"s");
  // "-" is standard output, as if no file were named.
  args dash({u"-oout", u"--output", u"-"});
  EXPECT_EQ(str(takeRunOptions(dash.argc(), dash.argv(), [](const mstr&) {}).output), u"");
}

}  // namespace
