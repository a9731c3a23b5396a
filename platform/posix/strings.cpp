// lstrlenW, StrToIntW and StrCmpW.
//
// StrCmpW follows the Windows linguistic, case-sensitive order for the
// characters of archive keys and directory names. Every code unit has a
// primary weight; the hyphen and the apostrophe have none. Texts are ordered
// by their weights, then by "е" before "ё", then by lower case before upper
// case, then by fewer hyphens and apostrophes, then by their first differing
// unit. Keys are sorted with it, so it is called millions of times: the weights
// come from a table, and one pass over the texts collects all the tie-breakers.
#include <array>
#include <cstdint>

#include "posix/internal.h"

namespace {

// Weights are ranks: one 16-bit number per unit whose order is the order of
// (class, value) pairs, 0 meaning "no weight". Classes, lowest first:
//   0  the 31 punctuation characters below in this order, then every other
//      unit in code order;
//   1  the digits;
//   2  Latin letters, case ignored;
//   3  Cyrillic U+0410..U+044F by their place in the alphabet, case ignored,
//      with Ё and ё weighing as е.
// Every unit from smallestPlainUnit up is an ordinary class-0 unit, so only
// the units below it need a table; the rest are an offset from their code.
constexpr char16_t punctuation[] = u" !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";
constexpr unsigned punctuationCount = sizeof punctuation / sizeof punctuation[0] - 1;
static_assert(punctuationCount == 31);

constexpr unsigned smallestPlainUnit = 0x0460;  // above ё, the last special unit

constexpr bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
constexpr bool isUpperLatin(char16_t c) { return c >= u'A' && c <= u'Z'; }
constexpr bool isLowerLatin(char16_t c) { return c >= u'a' && c <= u'z'; }
constexpr bool isUpperCyrillic(char16_t c) { return (c >= 0x0410 && c <= 0x042F) || c == 0x0401; }
constexpr bool isLowerCyrillic(char16_t c) { return (c >= 0x0430 && c <= 0x044F) || c == 0x0451; }
constexpr bool isYo(char16_t c) { return c == 0x0401 || c == 0x0451; }
constexpr bool isIgnored(char16_t c) { return c == u'-' || c == u'\''; }

constexpr int punctuationPlace(char16_t c) {
  for (unsigned i = 0; i < punctuationCount; ++i) {
    if (punctuation[i] == c) return static_cast<int>(i);
  }
  return -1;
}

constexpr bool isSpecial(char16_t c) {
  return isIgnored(c) || isDigit(c) || isUpperLatin(c) || isLowerLatin(c) ||
         isUpperCyrillic(c) || isLowerCyrillic(c) || punctuationPlace(c) >= 0;
}

// Number of special units (those not ranked by their code) below smallestPlainUnit.
constexpr unsigned countSpecial() {
  unsigned count = 0;
  for (unsigned c = 0; c < smallestPlainUnit; ++c) count += isSpecial(static_cast<char16_t>(c));
  return count;
}
constexpr unsigned specialCount = countSpecial();

// Rank layout: 0 none; 1..31 the punctuation list; then the other class-0
// units in code order; then digits, Latin and Cyrillic.
constexpr unsigned firstPlainRank = 1 + punctuationCount;
constexpr unsigned plainRank(unsigned code, unsigned specialBelow) {
  return firstPlainRank + code - specialBelow;
}
constexpr unsigned firstDigitRank = plainRank(0xFFFF, specialCount) + 1;
constexpr unsigned firstLatinRank = firstDigitRank + 10;
constexpr unsigned firstCyrillicRank = firstLatinRank + 26;
static_assert(firstCyrillicRank + 32 <= 0x10000, "ranks must fit 16 bits");

constexpr std::array<std::uint16_t, smallestPlainUnit> buildLowRanks() {
  std::array<std::uint16_t, smallestPlainUnit> ranks{};
  unsigned specialBelow = 0;
  for (unsigned code = 0; code < smallestPlainUnit; ++code) {
    const auto c = static_cast<char16_t>(code);
    unsigned rank = 0;
    if (isIgnored(c)) {
      rank = 0;
    } else if (punctuationPlace(c) >= 0) {
      rank = 1 + static_cast<unsigned>(punctuationPlace(c));
    } else if (isDigit(c)) {
      rank = firstDigitRank + (c - u'0');
    } else if (isUpperLatin(c) || isLowerLatin(c)) {
      rank = firstLatinRank + ((c | 0x20) - u'a');
    } else if (isYo(c)) {
      rank = firstCyrillicRank + (0x0435 - 0x0430);  // as е
    } else if (isUpperCyrillic(c) || isLowerCyrillic(c)) {
      rank = firstCyrillicRank + ((c - 0x0410) % 32);
    } else {
      rank = plainRank(code, specialBelow);
    }
    specialBelow += isSpecial(c);
    ranks[code] = static_cast<std::uint16_t>(rank);
  }
  return ranks;
}
constexpr std::array<std::uint16_t, smallestPlainUnit> lowRanks = buildLowRanks();

inline unsigned rankOf(char16_t c) {
  return c < smallestPlainUnit ? lowRanks[c] : plainRank(c, specialCount);
}

static_assert(lowRanks[u' '] == 1 && lowRanks[u'>'] == 31 && lowRanks[u'-'] == 0);
static_assert(lowRanks[0x0401] == lowRanks[0x0435] && lowRanks[0x0451] == lowRanks[0x0415]);
static_assert(plainRank(0x045F, specialCount) < firstDigitRank);

// -1 upper case, 1 lower case, 0 neither: after the weights, lower case first.
inline int caseOf(char16_t c) {
  if (isLowerLatin(c) || isLowerCyrillic(c)) return 1;
  if (isUpperLatin(c) || isUpperCyrillic(c)) return -1;
  return 0;
}

int sign(int value) { return (value > 0) - (value < 0); }

const char16_t emptyText[] = u"";

}  // namespace

int lstrlenW(LPCWSTR text) {
  if (text == nullptr) return 0;
  int length = 0;
  while (text[length] != 0) ++length;
  return length;
}

int StrToIntW(LPCWSTR text) {
  if (text == nullptr) return 0;
  while (*text == u' ' || *text == u'\t') ++text;
  bool negative = false;
  if (*text == u'-' || *text == u'+') negative = *text++ == u'-';
  // Unsigned arithmetic wraps like the 32-bit arithmetic of the original.
  std::uint32_t value = 0;
  for (; *text >= u'0' && *text <= u'9'; ++text) value = value * 10u + (*text - u'0');
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

int StrCmpW(LPCWSTR a, LPCWSTR b) {
  if (a == nullptr) a = emptyText;
  if (b == nullptr) b = emptyText;
  // A common start weighs the same in every pass, so only the rest counts.
  while (*a == *b && *a != 0) {
    ++a;
    ++b;
  }
  if (*a == *b) return 0;
  const char16_t firstA = *a, firstB = *b;

  int yoOrder = 0;    // first е/ё difference: -1 when a has е
  int caseOrder = 0;  // first case difference: -1 when a has lower case
  int ignoredA = 0, ignoredB = 0;
  for (;;) {
    while (isIgnored(*a)) ++a, ++ignoredA;
    while (isIgnored(*b)) ++b, ++ignoredB;
    if (*a == 0 || *b == 0) break;
    const unsigned weightA = rankOf(*a), weightB = rankOf(*b);
    if (weightA != weightB) return weightA < weightB ? -1 : 1;
    if (*a != *b) {
      if (yoOrder == 0) yoOrder = int(isYo(*a)) - int(isYo(*b));
      if (caseOrder == 0) caseOrder = caseOf(*b) - caseOf(*a);
    }
    ++a;
    ++b;
  }
  if (*a != *b) return *a == 0 ? -1 : 1;  // the shorter weights come first
  if (yoOrder != 0) return yoOrder;
  if (caseOrder != 0) return sign(caseOrder);
  if (ignoredA != ignoredB) return ignoredA < ignoredB ? -1 : 1;
  return firstA < firstB ? -1 : 1;
}
