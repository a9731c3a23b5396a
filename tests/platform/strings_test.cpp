// lstrlenW, StrToIntW and the string order of StrCmpW.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "win32.h"

namespace {

// Asserts that the texts are in strictly increasing order, every pair of them.
void expectAscending(const std::vector<std::u16string>& texts) {
  for (std::size_t i = 0; i < texts.size(); ++i) {
    for (std::size_t j = i + 1; j < texts.size(); ++j) {
      EXPECT_EQ(StrCmpW(texts[i].c_str(), texts[j].c_str()), -1)
          << testing::PrintToString(texts[i]) << " < " << testing::PrintToString(texts[j]);
      EXPECT_EQ(StrCmpW(texts[j].c_str(), texts[i].c_str()), 1);
    }
  }
}

TEST(StrCmpW, KnownOrders) {
  expectAscending({u"a", u"A", u"b", u"B"});
  expectAscending({u"2004", u"2004 1", u"2004.1", u"2004_1", u"200405", u"2004-2005"});
  expectAscending({u"ab", u"a-b", u"ac"});
  expectAscending({u"coop", u"co'op", u"co-op"});
  expectAscending({u"е", u"Е", u"ё", u"Ё", u"еа"});
}

TEST(StrCmpW, ClassesAndPunctuation) {
  // The listed punctuation in its own order, then other symbols by code, then
  // digits, Latin and Cyrillic.
  const std::u16string listed = u" !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";
  std::vector<std::u16string> texts;
  for (char16_t c : listed) texts.push_back(std::u16string(1, c));
  for (std::u16string more : {u"\u00A7", u"\u0404", u"\u2116", u"0", u"9", u"a", u"Z", u"а",
                              u"Я"}) {
    texts.push_back(more);
  }
  expectAscending(texts);
  // ё sorts with е, before ж.
  expectAscending({u"ее", u"её", u"еж", u"ж"});
}

TEST(StrCmpW, EqualOnlyWhenIdenticalUpToTheTerminator) {
  EXPECT_EQ(StrCmpW(u"Отчёт-1", u"Отчёт-1"), 0);
  EXPECT_EQ(StrCmpW(nullptr, u""), 0);
  EXPECT_EQ(StrCmpW(nullptr, nullptr), 0);
  EXPECT_EQ(StrCmpW(nullptr, u"a"), -1);
  EXPECT_EQ(StrCmpW(u"-", nullptr), 1);
  const char16_t withZero[] = {u'a', u'b', 0, u'c', 0};
  EXPECT_EQ(StrCmpW(withZero, u"ab"), 0);
  EXPECT_EQ(StrCmpW(u"-", u"'"), 1);
  EXPECT_EQ(StrCmpW(u"", u"-"), -1);
}

// The order written out pass by pass, independently of the optimised one.
struct Weight {
  int kind, value;
  bool operator<(const Weight& o) const { return std::tie(kind, value) < std::tie(o.kind, o.value); }
  bool operator!=(const Weight& o) const { return kind != o.kind || value != o.value; }
};

bool ignored(char16_t c) { return c == u'-' || c == u'\''; }
bool isYo(char16_t c) { return c == 0x0401 || c == 0x0451; }
bool isLower(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= 0x0430 && c <= 0x044F) || c == 0x0451; }
bool isUpper(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= 0x0410 && c <= 0x042F) || c == 0x0401; }

Weight weightOf(char16_t c) {
  const std::u16string listed = u" !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";
  const std::size_t place = listed.find(c);
  if (place != std::u16string::npos) return {0, static_cast<int>(place)};
  if (c >= u'0' && c <= u'9') return {1, c - u'0'};
  if (isLower(c) && c < 0x80) return {2, c - u'a'};
  if (isUpper(c) && c < 0x80) return {2, c - u'A'};
  if (isYo(c)) return {3, 5};
  if (c >= 0x0410 && c <= 0x044F) return {3, (c - 0x0410) % 32};
  return {0, 100 + c};
}

int reference(const std::u16string& a, const std::u16string& b) {
  std::u16string x, y;  // the units that weigh
  for (char16_t c : a) if (!ignored(c)) x += c;
  for (char16_t c : b) if (!ignored(c)) y += c;
  for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
    if (weightOf(x[i]) != weightOf(y[i])) return weightOf(x[i]) < weightOf(y[i]) ? -1 : 1;
  }
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (isYo(x[i]) != isYo(y[i])) return isYo(x[i]) ? 1 : -1;
  }
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (isLower(x[i]) && isUpper(y[i])) return -1;
    if (isUpper(x[i]) && isLower(y[i])) return 1;
  }
  const std::size_t hyphensA = a.size() - x.size(), hyphensB = b.size() - y.size();
  if (hyphensA != hyphensB) return hyphensA < hyphensB ? -1 : 1;
  return a == b ? 0 : (a < b ? -1 : 1);
}

std::vector<std::u16string> randomWords(int count, unsigned seed) {
  const std::u16string letters = u"aAbBzZ019 ._-'\u00A7\u0404еЕёЁаЯяж";
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1), length(0, 6);
  std::vector<std::u16string> words;
  for (int i = 0; i < count; ++i) {
    std::u16string word;
    for (std::size_t n = length(random); n > 0; --n) word += letters[pick(random)];
    words.push_back(word);
  }
  return words;
}

TEST(StrCmpW, RandomWordsFollowThePasses) {
  const std::vector<std::u16string> words = randomWords(200000, 1251);
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    const std::u16string& a = words[i];
    const std::u16string& b = words[i + 1];
    const int result = StrCmpW(a.c_str(), b.c_str());
    ASSERT_EQ(result, reference(a, b)) << testing::PrintToString(a) << " vs "
                                       << testing::PrintToString(b);
    ASSERT_EQ(StrCmpW(b.c_str(), a.c_str()), -result);
  }
}

TEST(StrCmpW, SortedRandomWordsAreInOrderPairwise) {
  std::vector<std::u16string> words = randomWords(600, 866);
  std::sort(words.begin(), words.end(), [](const std::u16string& a, const std::u16string& b) {
    return StrCmpW(a.c_str(), b.c_str()) < 0;
  });
  for (std::size_t i = 0; i < words.size(); ++i) {
    for (std::size_t j = i + 1; j < words.size(); ++j) {
      ASSERT_LE(StrCmpW(words[i].c_str(), words[j].c_str()), 0);
    }
  }
}

TEST(StrToIntW, LeadingDecimalNumber) {
  const std::pair<const char16_t*, int> cases[] = {
      {u"42", 42},         {u"  \t-17x", -17}, {u"+5", 5},          {u"007", 7},
      {u"abc", 0},         {u"", 0},           {u"-", 0},           {u" 1 2", 1},
      {u"2147483647", INT_MAX}, {u"-2147483648", INT_MIN},
      {u"2147483648", INT_MIN}, {u"4294967297", 1},  // wraps like 32-bit arithmetic
  };
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(StrToIntW(text), value) << testing::PrintToString(std::u16string(text));
  }
  EXPECT_EQ(StrToIntW(nullptr), 0);
  // Many digits wrap on and on, never undefined.
  EXPECT_EQ(StrToIntW(u"99999999999999999999999"), -159383553);
}

TEST(LstrlenW, CountsUnitsBeforeTheTerminator) {
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrlenW(u""), 0);
  EXPECT_EQ(lstrlenW(u"Отчёт"), 5);
}

}  // namespace
