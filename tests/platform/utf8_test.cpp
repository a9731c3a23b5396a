// Names and arguments between system bytes and UTF-16: valid UTF-8 decodes
// as usual, anything else survives as U+DC80 + byte, and every byte string
// comes back unchanged.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "posix/internal.h"

namespace {

using platform::posix::fromNative;
using platform::posix::toNative;

std::string roundTrip(const std::string& bytes) { return toNative(fromNative(bytes).c_str()); }

TEST(Utf8, EveryByteStringRoundTrips) {
  // All strings of two non-zero bytes, then random longer ones.
  for (int a = 1; a < 256; ++a) {
    for (int b = 1; b < 256; ++b) {
      const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(roundTrip(bytes), bytes) << a << " " << b;
    }
  }
  std::mt19937 random(866);
  std::uniform_int_distribution<int> byte(1, 255), length(1, 12);
  for (int i = 0; i < 100000; ++i) {
    std::string bytes;
    for (int n = length(random); n > 0; --n) bytes += static_cast<char>(byte(random));
    ASSERT_EQ(roundTrip(bytes), bytes);
  }
}

TEST(Utf8, ValidTextDecodesNormally) {
  EXPECT_EQ(fromNative("\xD0\x9F\xD1\x80\xD0\xB8 a", 8), u"При a");
  EXPECT_EQ(fromNative("\xE2\x82\xAC\xEF\xBF\xBF", 6), u"\u20AC\uFFFF");
  EXPECT_EQ(fromNative("\xF0\x9D\x84\x9E", 4), (std::u16string{0xD834, 0xDD1E}));
  EXPECT_EQ(fromNative("\xF4\x8F\xBF\xBF", 4), (std::u16string{0xDBFF, 0xDFFF}));
  EXPECT_EQ(toNative(u"При a\u20AC"), "\xD0\x9F\xD1\x80\xD0\xB8 a\xE2\x82\xAC");
}

TEST(Utf8, InvalidBytesBecomeEscapes) {
  struct Case {
    std::string bytes;
    std::u16string wide;
  };
  const Case cases[] = {
      {"\xC0\x80", {0xDCC0, 0xDC80}},                  // overlong NUL
      {"\xC1\xBF", {0xDCC1, 0xDCBF}},                  // overlong
      {"\xE0\x9F\xBF", {0xDCE0, 0xDC9F, 0xDCBF}},      // overlong 3-byte
      {"\xF0\x8F\xBF\xBF", {0xDCF0, 0xDC8F, 0xDCBF, 0xDCBF}},
      {"\xED\xA0\x80", {0xDCED, 0xDCA0, 0xDC80}},      // encoded surrogate
      {"\xF4\x90\x80\x80", {0xDCF4, 0xDC90, 0xDC80, 0xDC80}},  // above U+10FFFF
      {"a\xE2\x82", {u'a', 0xDCE2, 0xDC82}},           // cut short at the end
      {"\xE2\x82z", {0xDCE2, 0xDC82, u'z'}},           // cut short by a plain byte
      {"\x80\xFF\xF8", {0xDC80, 0xDCFF, 0xDCF8}},      // never valid anywhere
      {"\xC3\xA9\xA9", {0x00E9, 0xDCA9}},              // a stray continuation
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fromNative(c.bytes), c.wide) << testing::PrintToString(c.bytes);
    EXPECT_EQ(toNative(c.wide.c_str()), c.bytes);
  }
}

TEST(Utf8, OtherLoneSurrogatesBecomeQuestionMarks) {
  const std::u16string lone = {u'a', 0xD800, u'b', 0xDC41, 0xDFFF, 0xDBFF};
  EXPECT_EQ(toNative(lone.c_str()), "a?b???");
  EXPECT_EQ(toNative(nullptr), "");
}

}  // namespace
