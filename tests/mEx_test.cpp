#include "mEx.h"

#include <gtest/gtest.h>

#include <utility>

#include "mstr.h"
#include "text.h"

namespace {

std::u16string textOf(const mEx& e) {
  mEx target;
  e.getText(target);
  return str(target.getMessage());
}

// An origin of the tests' own: the layout does not depend on the table.
constexpr errorOrigin kHere{"mod", 106, "mod::open", 2};

TEST(MEx, SingleErrorLayout) {
  mEx e(kHere);
  e.appendText(u"Нет файла ").appendText(u"/a/ARCHIVE.07");
  EXPECT_EQ(textOf(e), u"Error number 0: Нет файла /a/ARCHIVE.07\nin module mod func <mod::open> in string 106\n");
  EXPECT_EQ(e.code, 2);
}

TEST(MEx, SystemErrorText) {
  SetLastError(2);
  mEx e(kHere);
  e.addSystemError().appendText(u"func=CreateFile filename=").appendText(u"x");
  EXPECT_EQ(e.sysError, 2u);
  EXPECT_EQ(textOf(e),
            u"Error number 2: Не удается найти указанный файл.\r\nfunc=CreateFile filename=x\n"
            u"in module mod func <mod::open> in string 106\n");
}

TEST(MEx, AppendingNothingKeepsTheMessage) {
  mEx e(kHere);
  e.appendText(u"abc");
  e.appendText(u"");
  e.appendText(static_cast<const unsigned short*>(nullptr));
  EXPECT_EQ(str(e.getMessage()), u"abc");
  e.appendNumber(-1);
  EXPECT_EQ(str(e.getMessage()), u"abc4294967295");
}

TEST(MEx, UnknownSystemErrorAddsNoText) {
  SetLastError(123456);
  mEx e(kHere);
  e.addSystemError();
  EXPECT_EQ(e.sysError, 123456u);
  EXPECT_EQ(e.getMessage(), nullptr);
}

TEST(MEx, MovedFromIsEmpty) {
  mEx e(origin::allocationBytes);
  e.appendText(u"x");
  mEx taken(std::move(e));
  EXPECT_EQ(e.message, nullptr);
  EXPECT_EQ(e.file, nullptr);
  EXPECT_FALSE(e.outOfMemory());
  EXPECT_EQ(whereOf(taken), whereOf(origin::allocationBytes));
  EXPECT_EQ(str(taken.getMessage()), u"x");
}

}  // namespace
