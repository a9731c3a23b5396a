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

TEST(MEx, SingleErrorLayout) {
  mEx e("mFileIndex", 106, "mFileIndex::open", 2);
  e.appendText(u"Нет указанного в индексе файла рапортов ").appendText(u"/a/ARCHIVE.07");
  EXPECT_EQ(wholeText(e),
            u"Error number 0: Нет указанного в индексе файла рапортов /a/ARCHIVE.07\n"
            u"in module mFileIndex func <mFileIndex::open> in string 106\n");
  EXPECT_EQ(e.code, 2);
}

TEST(MEx, SystemErrorTextAndChainOldestFirst) {
  SetLastError(2);
  mEx e("Vc\\Include\\mFile", 208, "mFile::openFileRead", 1);
  e.addSystemError().appendText(u"func=CreateFile filename=").appendText(u"x");
  EXPECT_EQ(e.sysError, 2u);
  // A second location wraps the first, which moves into the chain.
  e.setLocation("outer", 7, "outer::call", 1);
  e.appendText(u"wrapped");
  ASSERT_NE(e.previous, nullptr);
  EXPECT_EQ(e.previous->line, 208);
  EXPECT_EQ(wholeText(e),
            u"Error number 2: Не удается найти указанный файл.\r\nfunc=CreateFile filename=x\n"
            u"in module Vc\\Include\\mFile func <mFile::openFileRead> in string 208\n"
            u"Error number 0: wrapped\n"
            u"in module outer func <outer::call> in string 7\n");
}

TEST(MEx, AppendingNothingKeepsTheMessage) {
  mEx e("m", 1, "f", 1);
  e.appendText(u"abc");
  e.appendText(u"");
  e.appendText(static_cast<const unsigned short*>(nullptr));
  EXPECT_EQ(str(e.getMessage()), u"abc");
  e.appendNumber(-1).appendMultiByte(" \x80\xEF");
  EXPECT_EQ(str(e.getMessage()), u"abc4294967295 Ая");
}

TEST(MEx, UnknownSystemErrorAddsNoText) {
  SetLastError(123456);
  mEx e("m", 1, "f", 1);
  e.addSystemError();
  EXPECT_EQ(e.sysError, 123456u);
  EXPECT_EQ(e.getMessage(), nullptr);
}

TEST(MEx, MovedFromIsEmpty) {
  mEx e("m", 3, "f", 1);
  e.appendText(u"x");
  e.setLocation("n", 4, "g", 1);
  mEx taken(std::move(e));
  EXPECT_EQ(e.message, nullptr);
  EXPECT_EQ(e.file, nullptr);
  EXPECT_EQ(e.previous, nullptr);
  EXPECT_EQ(taken.line, 4);
  ASSERT_NE(taken.previous, nullptr);
  EXPECT_EQ(str(taken.previous->getMessage()), u"x");
}

TEST(MEx, LongChainIsReleasedWithoutRecursion) {
  mEx e("m", 0, "f", 1);
  for (int i = 1; i < 200000; ++i) e.setLocation("m", i, "f", 1);
  // Every location in the chain, newest first.
  int line = e.line;
  const mEx* earlier = e.previous;
  for (; earlier && earlier->line == line - 1; earlier = earlier->previous) --line;
  EXPECT_EQ(earlier, nullptr);
  EXPECT_EQ(line, 0);
}

}  // namespace
