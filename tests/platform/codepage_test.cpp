// The OEM code page (866) in both directions, and the Windows rules for
// counts and buffer sizes.
#include <gtest/gtest.h>

#include <string>

#include "win32.h"

namespace {

std::u16string toWide(const std::string& bytes) {
  std::u16string wide(bytes.size(), u'\0');
  const int n = MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                    &wide[0], static_cast<int>(wide.size()));
  EXPECT_EQ(n, static_cast<int>(bytes.size()));
  return wide;
}

std::string toOem(const std::u16string& wide) {
  std::string bytes(wide.size(), '\0');
  const int n = WideCharToMultiByte(CP_OEMCP, 0, wide.data(), static_cast<int>(wide.size()),
                                    &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr);
  EXPECT_EQ(n, static_cast<int>(wide.size()));
  return bytes;
}

TEST(CodePage, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::u16string wide = toWide(all);
  for (int b = 0; b < 0x80; ++b) EXPECT_EQ(wide[b], b) << "byte " << b;
  // 256 distinct characters: nothing is lost in either direction.
  for (int i = 0; i < 256; ++i) {
    for (int j = i + 1; j < 256; ++j) ASSERT_NE(wide[i], wide[j]) << i << " " << j;
  }
  EXPECT_EQ(toOem(wide), all);
}

TEST(CodePage, KnownCharacters) {
  const std::u16string wide = toWide("\x80\xA0\xAF\xE0\xEF\xF0\xF1\xFC\xFF\xC9\xDB\xF9\x01");
  EXPECT_EQ(wide, u"\u0410\u0430\u043F\u0440\u044F\u0401\u0451\u2116\u00A0\u2554\u2588\u2219\u0001");
}

TEST(CodePage, CharactersOutsideBecomeQuestionMarks) {
  BOOL usedDefault = FALSE;
  const std::u16string wide = {u'a', 0x00E9, 0x20AC, 0xD800, 0xDC41, 0x0416};
  char out[6] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_OEMCP, 0, wide.data(), 6, out, 6, nullptr, &usedDefault), 6);
  EXPECT_EQ(std::string(out, 6), "a????\x86");
  EXPECT_EQ(usedDefault, TRUE);
  EXPECT_EQ(toOem(u"\u0416\u0401"), "\x86\xF0");
}

TEST(CodePage, SizesFollowWindows) {
  char16_t wide[8] = {};
  char bytes[8] = {};
  // Size 0 asks for the count; -1 counts the terminator too.
  EXPECT_EQ(MultiByteToWideChar(CP_OEMCP, 0, "abc", 3, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(CP_OEMCP, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_OEMCP, 0, "abc", -1, wide, 8), 4);
  EXPECT_EQ(std::u16string(wide), u"abc");
  EXPECT_EQ(WideCharToMultiByte(CP_OEMCP, 0, u"\u0430b", -1, nullptr, 0, nullptr, nullptr), 3);
  EXPECT_EQ(WideCharToMultiByte(CP_OEMCP, 0, u"\u0430b", -1, bytes, 8, nullptr, nullptr), 3);
  EXPECT_STREQ(bytes, "\xA0" "b");
  // A buffer too small converts nothing.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_OEMCP, 0, "abcd", 4, wide, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_OEMCP, 0, u"abcd", 4, bytes, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  // A count of 0 and an unknown code page are errors; CP_ACP is code page 866 too.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_OEMCP, 0, "a", 0, wide, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, u"a", 1, bytes, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // UTF-8 as Windows writes it: a pair is one character, a lone surrogate U+FFFD.
  const char16_t mixed[] = {u'a', 0x0416, 0xD83D, 0xDE00, 0xDC80, 0xD800, 0};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, mixed, 6, nullptr, 0, nullptr, nullptr), 13);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, mixed, 6, bytes, 8, nullptr, nullptr), 0);  // too small
  char utf8[16] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, mixed, 6, utf8, 16, nullptr, nullptr), 13);
  EXPECT_EQ(std::string(utf8, 13), "a\xD0\x96\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x80", 1, wide, 8), 1);
  EXPECT_EQ(wide[0], 0x0410);
  // From UTF-8 as names are taken: a byte that is no UTF-8 is kept as U+DC80 + byte.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xD0\x96\xFF" "a", 4, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xD0\x96\xFF" "a", -1, wide, 8), 4);
  EXPECT_EQ(std::u16string(wide), u"\u0416\xDCFF" "a");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
