// lstrlenW, StrToIntW, StrCmpW and the sort keys of its order.
//
// StrCmpW is the Windows linguistic, case-sensitive order (Russian locale),
// built from the weights measured under it (order_weights.inc). Each unit
// gives up to two elements (an expansion such as "ß" gives two, "s" "s"),
// each with a primary, a diacritic and a case weight; the hyphen, the
// apostrophe, the dashes and the control characters give no element but a
// special weight; the soft hyphen gives nothing. Texts are ordered by their
// primary weights (the shorter first when one is a prefix of the other), then
// by their diacritic weights, then by their case weights, then by their
// special weights with their places: a special weight after fewer elements
// weighs more, and a text without one less. Different texts can be equal
// ("ß" and "ss"), as for Windows.
//
// Units that were not measured weigh as letters after every measured one, by
// their code, with no diacritic or case.
//
// Keys are sorted with StrCmpW, so it is called millions of times: the weights
// come from a table and one pass over both texts collects every level.
#include <array>
#include <cstdint>
#include <cstring>

#include "posix/internal.h"

namespace {

struct MeasuredRow {
  char16_t unit;
  std::uint16_t primary[2];  // 0: no element
  std::uint8_t diacritic[2];
  std::uint8_t letterCase[2];
  std::uint16_t special;
};

constexpr MeasuredRow measured[] = {
#include "posix/order_weights.inc"
};

// ---- Ranks: every measured weight replaced by its place among its kind ----

template <std::size_t Size>
struct Ranks {
  std::array<std::uint8_t, Size> of{};
  unsigned count = 0;
};

enum class Kind { primary, diacritic, letterCase, special };

// Ranks of the weights of one kind, from `first` up in the order of the weights.
template <std::size_t Size>
constexpr Ranks<Size> rank(Kind kind, unsigned first) {
  std::array<bool, Size> used{};
  for (const MeasuredRow& row : measured) {
    for (int i = 0; i < 2; ++i) {
      if (row.primary[i] == 0) continue;
      if (kind == Kind::primary) used[row.primary[i]] = true;
      if (kind == Kind::diacritic) used[row.diacritic[i]] = true;
      if (kind == Kind::letterCase) used[row.letterCase[i]] = true;
    }
    if (kind == Kind::special && row.special != 0) used[row.special] = true;
  }
  Ranks<Size> ranks;
  for (std::size_t value = 0; value < Size; ++value) {
    if (used[value]) ranks.of[value] = static_cast<std::uint8_t>(first + ranks.count++);
  }
  return ranks;
}

constexpr Ranks<0x10000> primaryRanks = rank<0x10000>(Kind::primary, 1);
constexpr Ranks<0x100> diacriticRanks = rank<0x100>(Kind::diacritic, 0);
constexpr Ranks<0x100> caseRanks = rank<0x100>(Kind::letterCase, 0);
constexpr Ranks<0x10000> specialRanks = rank<0x10000>(Kind::special, 1);

// A unit that was not measured: its one element is its code (after all ranks).
constexpr std::uint8_t kUnmeasured = 0xFF;
static_assert(primaryRanks.count < kUnmeasured, "primary ranks must fit a byte below the escape");
// Rank 0 is "none" (diacritic 2) and "lower case" (case 2): the smallest weights.
static_assert(diacriticRanks.of[2] == 0 && caseRanks.of[2] == 0);
static_assert(specialRanks.count < 0x100);

// ---- The table of units: pages of 256, page 0 for every unit not measured ----

struct Weights {
  std::uint8_t primary[2];     // ranks of the elements, 0 none; kUnmeasured for a unit not measured
  std::uint8_t diacritic[2];   // ranks, 0 none
  std::uint8_t letterCase[2];  // ranks, 0 lower case
  std::uint8_t special;        // rank of the special weight of a unit without elements, 0 none
  bool single;                 // one measured element and nothing else: the plain case
};

constexpr unsigned countPages() {
  std::array<bool, 256> used{};
  unsigned count = 0;
  for (const MeasuredRow& row : measured) {
    if (!used[row.unit >> 8]) ++count;
    used[row.unit >> 8] = true;
  }
  return count;
}
constexpr unsigned pageCount = countPages() + 1;

struct UnitTable {
  std::array<std::uint8_t, 256> pageOf{};  // page of each high byte
  std::array<std::array<Weights, 256>, pageCount> pages{};
};

constexpr UnitTable buildUnitTable() {
  UnitTable table;
  for (auto& page : table.pages) {
    for (Weights& w : page) w = Weights{{kUnmeasured, 0}, {0, 0}, {0, 0}, 0, false};
  }
  unsigned pages = 1;
  for (const MeasuredRow& row : measured) {
    std::uint8_t& page = table.pageOf[row.unit >> 8];
    if (page == 0) page = static_cast<std::uint8_t>(pages++);
    Weights w{};
    for (int i = 0; i < 2; ++i) {
      if (row.primary[i] == 0) continue;
      w.primary[i] = primaryRanks.of[row.primary[i]];
      w.diacritic[i] = diacriticRanks.of[row.diacritic[i]];
      w.letterCase[i] = caseRanks.of[row.letterCase[i]];
    }
    w.special = row.special != 0 ? specialRanks.of[row.special] : 0;
    w.single = row.primary[0] != 0 && row.primary[1] == 0;
    table.pages[page][row.unit & 0xFF] = w;
  }
  return table;
}
constexpr UnitTable unitTable = buildUnitTable();

constexpr const Weights& weightsOf(char16_t unit) {
  return unitTable.pages[unitTable.pageOf[unit >> 8]][unit & 0xFF];
}
constexpr bool hasElement(const Weights& w) { return w.primary[0] != 0; }
// The primary of a unit's first element, an unmeasured one above every rank.
inline unsigned firstPrimary(char16_t unit, const Weights& w) {
  return w.primary[0] != kUnmeasured ? w.primary[0] : 0x100u + unit;
}

static_assert(weightsOf(u'a').primary[0] < weightsOf(u'b').primary[0]);
static_assert(weightsOf(u'-').special != 0 && !hasElement(weightsOf(u'-')));
static_assert(weightsOf(0x00DF).primary[1] == weightsOf(u's').primary[0]);  // ß
static_assert(weightsOf(0x4E2D).primary[0] == kUnmeasured);

// One text's weights for StrCmpW, element by element, with the special
// weights between them.
class WeightReader {
 public:
  explicit WeightReader(const char16_t* text) : next_(text) {}

  // The special weight of the next unit, past units that weigh nothing; 0 when
  // an element or the end comes next.
  unsigned special() {
    if (pending_ != nullptr) return 0;  // no unit starts between two elements of one
    for (; *next_ != 0; ++next_) {
      const Weights& w = weightsOf(*next_);
      if (w.special != 0) return w.special;
      if (hasElement(w)) return 0;
    }
    return 0;
  }
  void skipSpecial() { ++next_; }

  struct Element {
    unsigned primary;  // 0 at the end of the text
    unsigned diacritic, letterCase;
  };
  // The next element; call when special() is 0.
  Element element() {
    if (pending_ != nullptr) {
      const Weights& w = *pending_;
      pending_ = nullptr;
      return {w.primary[1], w.diacritic[1], w.letterCase[1]};
    }
    if (*next_ == 0) return {0, 0, 0};
    const char16_t unit = *next_++;
    const Weights& w = weightsOf(unit);
    if (w.primary[1] != 0) pending_ = &w;
    return {firstPrimary(unit, w), w.diacritic[0], w.letterCase[0]};
  }

 private:
  const char16_t* next_;
  const Weights* pending_ = nullptr;  // the unit whose second element comes next
};

int order(unsigned a, unsigned b) { return a < b ? -1 : 1; }

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
  // A common start weighs the same on every level, and the places of the
  // special weights after it shift alike, so only the rest counts.
  while (*a == *b && *a != 0) {
    ++a;
    ++b;
  }
  if (*a == *b) return 0;
  // Most texts part at units of one element each, and most of those differ
  // there or soon after: no special weight can come between them.
  int diacriticOrder = 0, caseOrder = 0, specialOrder = 0;
  for (;; ++a, ++b) {
    const Weights& wa = weightsOf(*a);
    const Weights& wb = weightsOf(*b);
    if (!wa.single || !wb.single) break;  // the terminator is not single either
    if (wa.primary[0] != wb.primary[0]) return order(wa.primary[0], wb.primary[0]);
    if (diacriticOrder == 0 && wa.diacritic[0] != wb.diacritic[0]) diacriticOrder = order(wa.diacritic[0], wb.diacritic[0]);
    if (caseOrder == 0 && wa.letterCase[0] != wb.letterCase[0]) caseOrder = order(wa.letterCase[0], wb.letterCase[0]);
  }

  WeightReader x(a), y(b);
  for (;;) {
    // The special weights before the next element: the first difference
    // counts, and a text that has one where the other has none weighs more.
    for (;;) {
      const unsigned specialX = x.special(), specialY = y.special();
      if (specialX == 0 && specialY == 0) break;
      if (specialOrder == 0 && specialX != specialY) specialOrder = order(specialX, specialY);
      if (specialX != 0) x.skipSpecial();
      if (specialY != 0) y.skipSpecial();
    }
    const WeightReader::Element ex = x.element(), ey = y.element();
    if (ex.primary != ey.primary) return order(ex.primary, ey.primary);  // the end (0) first
    if (ex.primary == 0) break;
    if (diacriticOrder == 0 && ex.diacritic != ey.diacritic) diacriticOrder = order(ex.diacritic, ey.diacritic);
    if (caseOrder == 0 && ex.letterCase != ey.letterCase) caseOrder = order(ex.letterCase, ey.letterCase);
  }
  if (diacriticOrder != 0) return diacriticOrder;
  if (caseOrder != 0) return caseOrder;
  return specialOrder;
}

// ---- Sort keys ----
//
// The levels in StrCmpW's order, each ended by 0 but the last:
//   primary:   one byte per element, its rank (1..254); an unmeasured unit is
//              255 and its code in two bytes;
//   diacritic: one byte per element, 1 + its rank, trailing 1s left out;
//   case:      one byte per three elements, 1 + their ranks as digits of base
//              caseRanks.count, trailing 1s left out;
//   special:   per special weight its place (the elements before it) as one
//              byte 255 - place for places below 254, else 1 and four bytes
//              0xFFFFFFFF - place, then its rank.
// On equal primaries both texts have as many elements, so a level left short
// by its trailing minimums compares as the whole level would.
namespace {

class KeyWriter {
 public:
  KeyWriter(unsigned char* out, std::size_t room) : out_(out), room_(room) {}
  void put(unsigned byte) {
    if (length_ < room_) out_[length_] = static_cast<unsigned char>(byte);
    ++length_;
  }
  // A byte that is left out when only minimums follow it.
  void putTrimmed(unsigned byte, unsigned minimum) {
    if (byte == minimum) {
      ++minimums_;
      return;
    }
    for (; minimums_ > 0; --minimums_) put(minimum);
    put(byte);
  }
  void endLevel() {
    minimums_ = 0;
    put(0);
  }
  std::size_t length() const { return length_; }

 private:
  unsigned char* out_;
  std::size_t room_;
  std::size_t length_ = 0;
  std::size_t minimums_ = 0;
};

// Calls element(primary byte or 0x100 + code, diacritic, case) for each
// element and special(place, rank) for each special weight, in text order.
template <typename OnElement, typename OnSpecial>
void visitWeights(const char16_t* text, OnElement element, OnSpecial special) {
  std::size_t place = 0;
  for (; *text != 0; ++text) {
    const Weights& w = weightsOf(*text);
    if (w.special != 0) special(place, w.special);
    for (int i = 0; i < 2 && w.primary[i] != 0; ++i, ++place) {
      element(i == 0 ? firstPrimary(*text, w) : w.primary[i], w.diacritic[i], w.letterCase[i]);
    }
  }
}

constexpr unsigned casesPerByte = 3;
static_assert(caseRanks.count * caseRanks.count * caseRanks.count <= 255, "three case ranks must fit a byte");

}  // namespace

namespace platform {

std::size_t sortKey(const WCHAR* text, unsigned char* out, std::size_t room) {
  if (text == nullptr) text = emptyText;
  // A short text whose every unit is one measured element, as nearly every
  // report key is, has no special weights: its levels come from one pass
  // over it instead of one pass for each, made whole here with no test of
  // the room a byte, and copied as far as the room goes.
  constexpr std::size_t kPlainMost = 80;
  // Primaries, level ends and diacritics a byte an element, cases a byte
  // for three. A level's trailing minimums (1) are left out: it ends after
  // the last element that is above them, noted as the elements are read.
  unsigned char whole[3 * kPlainMost + 3];
  std::uint8_t diacritics[kPlainMost], cases[kPlainMost + casesPerByte - 1];
  std::size_t plain = 0, diacriticEnd = 0, caseEnd = 0;
  for (; plain < kPlainMost && text[plain] != 0; ++plain) {
    const Weights& w = weightsOf(text[plain]);
    if (!w.single || w.primary[0] == kUnmeasured) break;
    whole[plain] = w.primary[0];
    diacritics[plain] = w.diacritic[0];
    cases[plain] = w.letterCase[0];
    if (w.diacritic[0] != 0) diacriticEnd = plain + 1;
    if (w.letterCase[0] != 0) caseEnd = plain + 1;
  }
  if (text[plain] == 0) {
    std::size_t n = plain;
    whole[n++] = 0;
    for (std::size_t i = 0; i < diacriticEnd; ++i) whole[n + i] = static_cast<unsigned char>(1 + diacritics[i]);
    n += diacriticEnd;
    whole[n++] = 0;
    for (std::size_t k = 1; k < casesPerByte; ++k) cases[plain + k - 1] = 0;  // the last group's rest
    for (std::size_t i = 0; i < caseEnd; i += casesPerByte) {
      const unsigned group = (cases[i] * caseRanks.count + cases[i + 1]) * caseRanks.count + cases[i + 2];
      whole[n++] = static_cast<unsigned char>(1 + group);
    }
    whole[n++] = 0;
    if (room != 0) std::memcpy(out, whole, n < room ? n : room);
    return n;
  }
  KeyWriter key(out, room);
  auto none = [](auto...) {};
  visitWeights(
      text,
      [&](unsigned primary, unsigned, unsigned) {
        if (primary < 0x100) {
          key.put(primary);
        } else {
          key.put(kUnmeasured);
          key.put((primary - 0x100) >> 8);
          key.put((primary - 0x100) & 0xFF);
        }
      },
      none);
  key.endLevel();
  visitWeights(text, [&](unsigned, unsigned diacritic, unsigned) { key.putTrimmed(1 + diacritic, 1); }, none);
  key.endLevel();
  unsigned group = 0, inGroup = 0;
  visitWeights(
      text,
      [&](unsigned, unsigned, unsigned letterCase) {
        group = group * caseRanks.count + letterCase;
        if (++inGroup == casesPerByte) {
          key.putTrimmed(1 + group, 1);
          group = inGroup = 0;
        }
      },
      none);
  if (inGroup != 0) {
    for (; inGroup < casesPerByte; ++inGroup) group *= caseRanks.count;
    key.putTrimmed(1 + group, 1);
  }
  key.endLevel();
  visitWeights(text, [](unsigned, unsigned, unsigned) {},
               [&](std::size_t place, unsigned rank) {
                 if (place < 254) {
                   key.put(255 - static_cast<unsigned>(place));
                 } else {
                   const std::uint32_t code = 0xFFFFFFFFu - static_cast<std::uint32_t>(place);
                   key.put(1);
                   for (int shift = 24; shift >= 0; shift -= 8) key.put(code >> shift & 0xFF);
                 }
                 key.put(rank);
               });
  return key.length();
}

}  // namespace platform
