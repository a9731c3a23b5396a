// lstrlenW, StrToIntW, the string order of StrCmpW and its sort keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
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
  // Measured under Windows: control characters and dashes weigh after case,
  // as "-" and "'" do; the other Cyrillic letters have their own places;
  // expansions weigh as their letters.
  expectAscending({u"a", u"a\u0001", u"a\u001F", u"a\u007F", u"'a", u"-a", u"A", u"a "});
  expectAscending({u"qШХи\u0004\u0004", u"qШХи  "});
  expectAscending({u"ab", u"a-b", u"a\u2013b", u"a\u2014b", u"aB"});
  expectAscending({u"е", u"Е", u"є", u"Є", u"ж"});
  expectAscending({u"И", u"І", u"Ї", u"Й"});
  expectAscending({u"У", u"ў", u"Ў", u"Ф"});
  expectAscending({u"Г", u"Ґ", u"Д", u"Ђ", u"Е"});
  expectAscending({u"sr", u"\u00DF", u"st"});
  expectAscending({u"ad", u"ae", u"\u00C6", u"af"});
  expectAscending({u"e", u"E", u"\u00E9", u"\u00C9", u"f"});
  expectAscending({u"N", u"\u2116", u"O"});
}

TEST(StrCmpW, ClassesAndPunctuation) {
  // The space and the no-break space, the listed punctuation in its own
  // order, box drawing and other symbols, then digits, Latin and Cyrillic;
  // units that were not measured after all of them, by their code.
  const std::u16string listed = u" \u00A0!\"#$%&()*,./:;?@[\\]^_`{|}~+<=>\u25A0\u2500\u2502\u00A7\u00B0";
  std::vector<std::u16string> texts;
  for (char16_t c : listed) texts.push_back(std::u16string(1, c));
  for (std::u16string more : {u"0", u"9", u"a", u"\u2116", u"Z", u"а", u"\u0404", u"Я", u"\u03B1",
                              u"\u4E2D"}) {
    texts.push_back(more);
  }
  expectAscending(texts);
  // ё sorts with е, before ж.
  expectAscending({u"ее", u"её", u"еж", u"ж"});
}

TEST(StrCmpW, EqualUpToTheTerminatorOrWhereWindowsWeighsAlike) {
  EXPECT_EQ(StrCmpW(u"Отчёт-1", u"Отчёт-1"), 0);
  EXPECT_EQ(StrCmpW(nullptr, u""), 0);
  EXPECT_EQ(StrCmpW(nullptr, nullptr), 0);
  EXPECT_EQ(StrCmpW(nullptr, u"a"), -1);
  EXPECT_EQ(StrCmpW(u"-", nullptr), 1);
  const char16_t withZero[] = {u'a', u'b', 0, u'c', 0};
  EXPECT_EQ(StrCmpW(withZero, u"ab"), 0);
  EXPECT_EQ(StrCmpW(u"-", u"'"), 1);
  EXPECT_EQ(StrCmpW(u"", u"-"), -1);
  // Expansions and the soft hyphen, as Windows weighs them.
  EXPECT_EQ(StrCmpW(u"Stra\u00DFe", u"Strasse"), 0);
  EXPECT_EQ(StrCmpW(u"\u00E6", u"ae"), 0);
  EXPECT_EQ(StrCmpW(u"\u00DE", u"TH"), 0);
  EXPECT_EQ(StrCmpW(u"a\u00ADb", u"ab"), 0);
  EXPECT_EQ(StrCmpW(u"\u00AD", nullptr), 0);
  EXPECT_EQ(StrCmpW(u"\u00C6", u"ae"), 1);
}

// The order written out as Windows writes its sort keys (LCMapStringW with
// LCMAP_SORTKEY), from the measured weights and independently of the
// optimised pass: the primary weights (two bytes per element), 1, the
// diacritic weights, 1, the case weights (each without its trailing 2s), 1, 1,
// the special weights (FFFF less the elements before each, then the weight),
// 0; compared byte by byte. Units that were not measured weigh as letters
// after all others, by their code.
struct MeasuredRow {
  char16_t unit;
  std::uint16_t primary[2];
  std::uint8_t diacritic[2];
  std::uint8_t letterCase[2];
  std::uint16_t special;
};
const MeasuredRow kMeasured[] = {
#include "posix/order_weights.inc"
};

std::string windowsKey(const std::u16string& text) {
  std::string primary, diacritic, letterCase, special;
  unsigned place = 0;
  auto twoBytes = [](std::string& to, unsigned value) {
    to += static_cast<char>(value >> 8);
    to += static_cast<char>(value & 0xFF);
  };
  for (char16_t c : text) {
    if (c == 0) break;
    const MeasuredRow* row = std::find_if(std::begin(kMeasured), std::end(kMeasured),
                                          [c](const MeasuredRow& r) { return r.unit == c; });
    if (row == std::end(kMeasured)) {
      primary += '\xFF';
      twoBytes(primary, c);
      diacritic += '\x02';
      letterCase += '\x02';
      ++place;
      continue;
    }
    if (row->special != 0) {
      twoBytes(special, 0xFFFF - place);
      twoBytes(special, row->special);
    }
    for (int i = 0; i < 2 && row->primary[i] != 0; ++i, ++place) {
      twoBytes(primary, row->primary[i]);
      diacritic += static_cast<char>(row->diacritic[i]);
      letterCase += static_cast<char>(row->letterCase[i]);
    }
  }
  while (!diacritic.empty() && diacritic.back() == '\x02') diacritic.pop_back();
  while (!letterCase.empty() && letterCase.back() == '\x02') letterCase.pop_back();
  return primary + '\x01' + diacritic + '\x01' + letterCase + "\x01\x01" + special + '\0';
}

int reference(const std::u16string& a, const std::u16string& b) {
  const int order = windowsKey(a).compare(windowsKey(b));
  return (order > 0) - (order < 0);
}

// Units of every kind: letters with diacritic and case variants, digits,
// punctuation, specials, expansions, the soft hyphen, and units not measured.
const std::u16string kLetters =
    u"aAbBzZ019 ._-'\u00A7\u0404еЕёЁаЯяж\u0001\u001F\u007F\u0085\u00A0\u00AD\u00DF\u00E6\u00C6\u00E9"
    u"\u00C9\u00FEsSeEtT\u2013\u2014\u2116\u2500\u2502\u25A0\u0490\u0406\u0456\u0407\u0131\u0130"
    u"\u03B1\u4E2D\u0301";

// The word with one unit changed, inserted or removed.
std::u16string nearDuplicate(std::u16string word, std::mt19937& random) {
  const std::size_t how = word.empty() ? 1 : random() % 3, at = random() % (word.size() + (how == 1));
  const char16_t unit = kLetters[random() % kLetters.size()];
  if (how == 0) word[at] = unit;
  if (how == 1) word.insert(at, 1, unit);
  if (how == 2) word.erase(at, 1);
  return word;
}

std::vector<std::u16string> randomWords(int count, unsigned seed) {
  const std::u16string& letters = kLetters;
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
  std::mt19937 random(7);
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    const std::u16string& a = words[i];
    const std::u16string b = i % 2 ? words[i + 1] : nearDuplicate(a, random);
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

std::vector<unsigned char> keyOf(const std::u16string& text) {
  std::vector<unsigned char> key(platform::sortKey(text.c_str(), nullptr, 0));
  platform::sortKey(text.c_str(), key.data(), key.size());
  return key;
}

TEST(SortKey, OrdersAsStrCmpWAndCutsToPrefixes) {
  static_assert(platform::hasSortKeys);
  const std::vector<std::u16string> words = randomWords(100000, 24);
  std::mt19937 random(16);
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    const std::u16string& a = words[i];
    const std::u16string b = i % 2 ? words[i + 1] : nearDuplicate(a, random);
    const std::vector<unsigned char> keyA = keyOf(a), keyB = keyOf(b);
    const int order = std::lexicographical_compare(keyA.begin(), keyA.end(), keyB.begin(), keyB.end()) ? -1
                      : keyA == keyB                                                                   ? 0
                                                                                                       : 1;
    ASSERT_EQ(order, StrCmpW(a.c_str(), b.c_str())) << testing::PrintToString(a) << " vs "
                                                    << testing::PrintToString(b);
  }
  EXPECT_EQ(keyOf(u"\u00DF"), keyOf(u"ss"));
  EXPECT_EQ(keyOf(u"Отчет-1").size(), 12u);  // 6 elements, 3 level ends, a case byte, 2 for "-"

  // Cut to any room: the whole length, a prefix of the key, nothing past the room.
  const std::u16string text = u"Отчёт-\u00C6\u4E2D\u0001 A";
  const std::vector<unsigned char> whole = keyOf(text);
  for (std::size_t room = 0; room <= whole.size() + 1; ++room) {
    std::vector<unsigned char> cut(whole.size() + 2, 0xEE);
    EXPECT_EQ(platform::sortKey(text.c_str(), cut.data(), room), whole.size());
    const std::size_t written = std::min(room, whole.size());
    EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(written), cut.begin()));
    EXPECT_TRUE(std::all_of(cut.begin() + static_cast<std::ptrdiff_t>(written), cut.end(),
                            [](unsigned char byte) { return byte == 0xEE; }));
  }
  // Places of special weights on both sides of one byte: "-" after p and
  // after q letters, with as many letters in all.
  for (std::size_t p : {252, 253, 254, 255, 300}) {
    for (std::size_t q : {253, 254, 256}) {
      const std::u16string a = std::u16string(p, u'a') + u"-" + std::u16string(400 - p, u'a');
      const std::u16string b = std::u16string(q, u'a') + u"-" + std::u16string(400 - q, u'a');
      const int order = keyOf(a) < keyOf(b) ? -1 : keyOf(a) == keyOf(b) ? 0 : 1;
      EXPECT_EQ(order, reference(a, b)) << p << " " << q;
      EXPECT_EQ(StrCmpW(a.c_str(), b.c_str()), reference(a, b)) << p << " " << q;
    }
  }
  // Keys of 14 units, the longest a record holds, stay short. A key of
  // letters alone is made in one pass; a "-" after it sends it the general
  // way, which must give the same levels before the special weight.
  const std::u16string letters = u"aAbBzZ019еЕёЁаЯяжsSeEtT";
  for (int i = 0; i < 2000; ++i) {
    const std::u16string& from = i % 2 ? kLetters : letters;
    std::u16string text;
    for (int n = i % 15; n > 0; --n) text += from[random() % from.size()];
    const std::vector<unsigned char> key = keyOf(text), general = keyOf(text + u"-");
    EXPECT_LE(key.size(), 48u) << testing::PrintToString(text);
    ASSERT_GE(general.size(), key.size());
    EXPECT_TRUE(std::equal(key.begin(), key.end(), general.begin())) << testing::PrintToString(text);
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
