#include "mstr.h"

#include <gtest/gtest.h>

#include "text.h"

namespace {

std::vector<std::u16string> splitOf(const char16_t* text, const char16_t* delimiters = u"",
                                    const char16_t* quotes = nullptr, const char16_t* spaces = nullptr) {
  mstr s(text);
  mstr_list list;
  s.split(list, delimiters, quotes, spaces);
  return strs(list);
}

typedef std::vector<std::u16string> words;

TEST(MstrSplit, DefaultsSplitAtEqualsAndTrimSpaces) {
  EXPECT_EQ(splitOf(u"a = b"), (words{u"a", u"b"}));
  EXPECT_EQ(splitOf(u"=x"), (words{u"", u"x"}));
  EXPECT_EQ(splitOf(u"a==b"), (words{u"a", u"", u"b"}));
  EXPECT_EQ(splitOf(u"x="), (words{u"x"}));
  EXPECT_EQ(splitOf(u"a b"), (words{u"a b"}));
  EXPECT_EQ(splitOf(u""), words{});
}

TEST(MstrSplit, QuotesKeepDelimitersAndStayInTheToken) {
  EXPECT_EQ(splitOf(u"p=\"1=2\""), (words{u"p", u"\"1=2\""}));
  EXPECT_EQ(splitOf(u"\"a=b\"=c"), (words{u"\"a=b\"", u"c"}));
  EXPECT_EQ(splitOf(u"a=\"b=c"), (words{u"a", u"\"b=c"}));  // unclosed: to the end
}

TEST(MstrSplit, PathsAndListFiles) {
  EXPECT_EQ(splitOf(u"\\srv\\a", u"\\"), (words{u"", u"srv", u"a"}));
  EXPECT_EQ(splitOf(u"C:", u"\\"), (words{u"C:"}));
  EXPECT_EQ(splitOf(u"a.b.idx", u"."), (words{u"a", u"b", u"idx"}));
  // A list file: CR ends an entry, LF around it is dropped.
  EXPECT_EQ(splitOf(u"c:\\a\r\nc:\\b\r\n", u"\r", u"", u"\n"), (words{u"c:\\a", u"c:\\b"}));
  EXPECT_EQ(splitOf(u"a\nb\n", u"\r", u"", u"\n"), (words{u"a\nb"}));
  // One blank line between entries is skipped; a second gives an empty token.
  EXPECT_EQ(splitOf(u"a\r\n\r\nb", u"\r", u"", u"\n"), (words{u"a", u"b"}));
  EXPECT_EQ(splitOf(u"a\r\n\r\n\r\nb", u"\r", u"", u"\n"), (words{u"a", u"", u"b"}));
  EXPECT_EQ(splitOf(u"my dir\r\n", u"\r", u"", u"\n"), (words{u"my dir"}));
}

TEST(MstrTrim, FirstUnitAlwaysSurvives) {
  EXPECT_EQ(str(mstr(u"C:\\").trimRight(u"\\")), u"C:");
  EXPECT_EQ(str(mstr(u"\\").trimRight(u"\\")), u"\\");
  EXPECT_EQ(str(mstr(u"a  ").trimRight(u"")), u"a");  // empty set: a space
  EXPECT_EQ(str(mstr(u"   ").trim(u" ")), u"");
  EXPECT_EQ(str(mstr(u"\"x\"").trim(u"\"")), u"x");
  EXPECT_EQ(str(mstr(u"").trim(u"\"")), u"");
}

TEST(MstrNumbers, UnsignedDecimalAndPadding) {
  EXPECT_EQ(str(mstr().appendNumber(0)), u"0");
  EXPECT_EQ(str(mstr().appendNumber(-1)), u"4294967295");
  EXPECT_EQ(str(mstr(u"x").setNumber(42)), u"42");
  EXPECT_EQ(str(mstr().padLeft(2, u"0")), u"00");
  EXPECT_EQ(str(mstr(u"5").padLeft(2, u"0")), u"05");
  EXPECT_EQ(str(mstr(u"42").padLeft(2, u"0")), u"42");
  EXPECT_EQ(str(mstr(u"100").padLeft(2, u"0")), u"100");
  EXPECT_EQ(mstr(u"  -12abc").toInt(), -12);
  EXPECT_EQ(mstr(u"abc").toInt(), 0);
  EXPECT_EQ(mstr().toInt(), 0);
}

TEST(MstrText, AppendAssignAndFind) {
  mstr s(u"abc");
  s.append(u"def");
  EXPECT_EQ(str(s), u"abcdef");
  s.assign(s.c_str() + 2);  // from its own storage
  EXPECT_EQ(str(s), u"cdef");
  EXPECT_EQ(s.findChar(u'e'), s.get_data() + 2);
  EXPECT_EQ(s.findChar(u'z'), nullptr);
  EXPECT_EQ(mstr().findChar(u'a'), nullptr);
  mstr copy(s);
  EXPECT_EQ(copy, s);
  EXPECT_NE(copy.get_data(), s.get_data());
}

TEST(MstrText, OemConversionBothWays) {
  mstr s;
  const char bytes[] = "\x8f\xe0\xa8\xa2\xa5\xe2\x00!";  // "Привет", a 0 byte, "!"
  s.appendMultiByte(bytes, 8, CP_OEMCP);
  EXPECT_EQ(str(s), std::u16string(u"Привет\0!", 8));
  char back[9];
  s.toMultiByte(back, 9, CP_OEMCP);
  EXPECT_EQ(std::string(back, 9), std::string(bytes, 8) + '\0');
  // A unit outside the code page becomes "?".
  mstr other(u"a€b");
  char narrow[4];
  EXPECT_STREQ(other.toMultiByte(narrow, 4, CP_OEMCP), "a?b");
  // Too small a buffer receives only the 0.
  char small[3] = {'x', 'x', 'x'};
  other.toMultiByte(small, 2, CP_OEMCP);
  EXPECT_EQ(small[0], 0);
  EXPECT_EQ(small[1], 'x');
  EXPECT_EQ(other.toMultiByte(nullptr, 4, CP_OEMCP), nullptr);
}

TEST(MstrCompare, CaseSensitiveLinguisticOrder) {
  EXPECT_NE(mstr(u"abc"), mstr(u"ABC"));
  EXPECT_TRUE(mstr(u"a") < mstr(u"A"));
  EXPECT_TRUE(mstr(u"A") < mstr(u"b"));
  EXPECT_TRUE(mstr(u"2004") < mstr(u"2005"));
  EXPECT_TRUE(mstr(u"b") > mstr(u"a"));
  EXPECT_EQ(mstr(), mstr(u""));
  // Compared as zero-terminated texts.
  mstr withZero;
  withZero.append_n(reinterpret_cast<const unsigned short*>(u"ab\0c"), 4);
  EXPECT_EQ(withZero, mstr(u"ab"));
}

}  // namespace
