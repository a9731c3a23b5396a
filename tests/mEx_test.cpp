#include "mEx.h"

#include <gtest/gtest.h>

#include <utility>

#include "mstr.h"
#include "text.h"

namespace {

std::u16string wholeText(const mEx& e) {
  mEx target;
  e.getText(target);
  return str(target.getMessage());
}

// Origins of the tests' own: the layout does not depend on the table.
constexpr errorOrigin kHere{"mod", 106, "mod::open", 2}, kOuter{"outer", 7, "outer::call", 1};

TEST(MEx, SingleErrorLayout) {
  mEx e(kHere);
  e.appendText(u"Нет файла ").appendText(u"/a/ARCHIVE.07");
  EXPECT_EQ(wholeText(e), u"Error number 0: Нет файла /a/ARCHIVE.07\nin module mod func <mod::open> in string 106\n");
  EXPECT_EQ(e.code, 2);
}

TEST(MEx, SystemErrorTextAndChainOldestFirst) {
  SetLastError(2);
  mEx e(kHere);
  e.addSystemError().appendText(u"func=CreateFile filename=").appendText(u"x");
  EXPECT_EQ(e.sysError, 2u);
  // A second location wraps the first, which moves into the chain.
  e.setLocation(kOuter);
  e.appendText(u"wrapped");
  ASSERT_NE(e.previous, nullptr);
  EXPECT_EQ(e.previous->line, 106);
  EXPECT_EQ(wholeText(e),
            u"Error number 2: Не удается найти указанный файл.\r\nfunc=CreateFile filename=x\n"
            u"in module mod func <mod::open> in string 106\n"
            u"Error number 0: wrapped\n"
            u"in module outer func <outer::call> in string 7\n");
}

TEST(MEx, AppendingNothingKeepsTheMessage) {
  mEx e(kHere);
  e.appendText(u"abc");
  e.appendText(u"");
  e.appendText(static_cast<const unsigned short*>(nullptr));
  EXPECT_EQ(str(e.getMessage()), u"abc");
  e.appendNumber(-1).appendMultiByte(" \x80\xEF");
  EXPECT_EQ(str(e.getMessage()), u"abc4294967295 Ая");
}

TEST(MEx, UnknownSystemErrorAddsNoText) {
  SetLastError(123456);
  mEx e(kHere);
  e.addSystemError();
  EXPECT_EQ(e.sysError, 123456u);
  EXPECT_EQ(e.getMessage(), nullptr);
}

TEST(MEx, MovedFromIsEmpty) {
  mEx e(kHere);
  e.appendText(u"x");
  e.setLocation(origin::allocationBytes);
  mEx taken(std::move(e));
  EXPECT_EQ(e.message, nullptr);
  EXPECT_EQ(e.file, nullptr);
  EXPECT_EQ(e.previous, nullptr);
  EXPECT_FALSE(e.outOfMemory());
  EXPECT_EQ(whereOf(taken), whereOf(origin::allocationBytes));
  ASSERT_NE(taken.previous, nullptr);
  EXPECT_EQ(str(taken.previous->getMessage()), u"x");
}

TEST(MEx, LongChainIsReleasedWithoutRecursion) {
  mEx e(errorOrigin{"m", 0, "f", 1});
  for (int i = 1; i < 200000; ++i) e.setLocation(errorOrigin{"m", i, "f", 1});
  // Every location in the chain, newest first.
  int line = e.line;
  const mEx* earlier = e.previous;
  for (; earlier && earlier->line == line - 1; earlier = earlier->previous) --line;
  EXPECT_EQ(earlier, nullptr);
  EXPECT_EQ(line, 0);
}

}  // namespace
