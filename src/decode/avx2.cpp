// The AVX2 level: windows of 64 bytes, in two halves of 32.
//
// Without a compress instruction the codes that give one character (a
// literal, one space, a repeat of count one, a length byte's "\n") are
// gathered eight at a time, by a byte shuffle from a table of the 256 masks:
// straight into the output where the window holds no longer run (most
// windows of text, Russian text above all), else into a row on the stack,
// the stretches of them between the runs copied from there and the runs
// broadcast stores. Near the end of the report the window is copied first,
// so that no load reaches past the report's bytes. UTF-8 takes 32 bytes at a
// time where each gives one byte or two (ASCII, Cyrillic letters), other
// bytes a 4-byte store each.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "levels.h"
#include "lineCodes.h"
#include "reportDecode.h"

namespace reportDecode {
namespace avx2 {

#include "lineLoop.inc"
#include "windowLoop.inc"

const unsigned kWindow = 64;

// For each mask of eight places, the shuffle that gathers the marked bytes
// to the front.
struct gatherTable {
  std::uint64_t shuffle[256];
  constexpr gatherTable() : shuffle() {
    for (unsigned m = 0; m < 256; ++m) {
      unsigned to = 0;
      for (unsigned from = 0; from < 8; ++from)
        if (m >> from & 1) shuffle[m] |= static_cast<std::uint64_t>(from) << (8 * to++);
    }
  }
};
constexpr gatherTable kGather;

inline __m256i load(const unsigned char* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

inline void store(unsigned char* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

// The byte masks of two halves as 64 bits.
inline std::uint64_t bits(__m256i low, __m256i high) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
         static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(high))) << 32;
}

// A byte in every place.
inline __m256i splat(unsigned char b) { return _mm256_set1_epi8(static_cast<char>(b)); }

// The constants of every window, made once for a call rather than for each
// window.
struct constants {
  // 192 for repeats; as a signed byte, -64, below which lie the space runs
  // (128-191).
  const __m256i repeatByte = splat(kRepeat);
  const __m256i mappedAbove = splat(62), mappedFrom = splat(159), spaceBase = splat(128), space = splat(' '),
                lineEnd = splat('\n'), one = splat(1);
  // For spread: the byte of the marks each place reads, and its bit there.
  const __m256i markByte = _mm256_setr_epi64x(0, 0x0101010101010101, 0x0202020202020202, 0x0303030303030303);
  const __m256i markBit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ull));
  // For gather: the first place of the second group of a quarter.
  const __m128i secondGroup = _mm_set1_epi8(8);
};

// The 32 bits of `marks` as bytes of all ones or zero.
inline __m256i spread(const constants& k, std::uint32_t marks) {
  __m256i byByte = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(marks)), k.markByte);
  return _mm256_cmpeq_epi8(_mm256_and_si256(byByte, k.markBit), k.markBit);
}

// Writes the bytes of `group` (eight places of a quarter window, from place
// `first`) that `marked` selects, and returns the end of them; eight bytes
// are stored.
inline unsigned char* gather(unsigned char* o, __m128i group, unsigned marked, __m128i first) {
  __m128i shuffle = _mm_add_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kGather.shuffle[marked])), first);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(group, shuffle));
  return o + count(marked);
}

// Fills n bytes with the broadcast character, 64 at a time (up to 63 more
// are written).
inline void fill64(unsigned char* o, __m256i character, unsigned n) {
  unsigned i = 0;
  do {
    store(o + i, character);
    store(o + i + 32, character);
    i += 64;
  } while (i < n);
}

// What each code of a half window gives: a byte and how many of it.
struct half {
  __m256i text, n;
};

// Signed compares: 128-191 are the bytes below -64, 63-127 those above 62.
inline half classify(const constants& k, const unsigned char* window) {
  __m256i code = load(window), character = load(window + 1), times = load(window + 2);
  __m256i isRepeat = _mm256_cmpeq_epi8(code, k.repeatByte);
  __m256i isSpace = _mm256_cmpgt_epi8(k.repeatByte, code);
  __m256i isMapped = _mm256_cmpgt_epi8(code, k.mappedAbove);
  __m256i text = _mm256_blendv_epi8(code, _mm256_sub_epi8(k.mappedFrom, code), isMapped);
  text = _mm256_blendv_epi8(text, k.space, isSpace);
  text = _mm256_blendv_epi8(text, character, isRepeat);
  __m256i n = _mm256_blendv_epi8(k.one, _mm256_sub_epi8(code, k.spaceBase), isSpace);
  __m256i dead = _mm256_and_si256(isRepeat, _mm256_cmpeq_epi8(character, _mm256_setzero_si256()));
  n = _mm256_andnot_si256(dead, _mm256_blendv_epi8(n, times, isRepeat));  // a character 0 gives nothing
  return {text, n};
}

struct simd {
  const constants k{};
  // A copy of the window where its loads would reach past the report's end.
  unsigned char copy[kWindowReach];
  // The single characters of a window in a row, with room for 64-byte loads
  // from any place in them.
  unsigned char singles[2 * kWindow] = {};

  class window {
   public:
    // Loads read kWindowReach bytes from q: the codes and their operands.
    window(simd& state, const unsigned char* q, unsigned, const unsigned char* end) : state_(state), at_(q) {
      const std::size_t have = static_cast<std::size_t>(end - q);
      if (have < kWindowReach) {
        std::memcpy(state.copy, q, have);
        std::memset(state.copy + have, 0, kWindowReach - have);
        at_ = state.copy;
      }
    }

    std::uint64_t repeats() const {
      const __m256i repeatByte = state_.k.repeatByte;
      return bits(_mm256_cmpeq_epi8(load(at_), repeatByte), _mm256_cmpeq_epi8(load(at_ + 32), repeatByte));
    }

    // Inlined into the window loop: out of line, gcc made every window pay
    // for a call, a vzeroupper, a realigned stack and the constants loaded
    // again, a tenth of the decoder's time.
    __attribute__((always_inline)) unsigned char* decode(std::uint64_t valid, std::uint64_t heads, std::uint64_t repeat,
                                                         unsigned char* o) const {
      const constants& k = state_.k;
      std::uint64_t starts = valid & ~(repeat << 1 | repeat << 2);
      half low = classify(k, at_), high = classify(k, at_ + 32);
      low.text = _mm256_blendv_epi8(low.text, k.lineEnd, spread(k, static_cast<std::uint32_t>(heads)));
      high.text = _mm256_blendv_epi8(high.text, k.lineEnd, spread(k, static_cast<std::uint32_t>(heads >> 32)));
      const __m256i one = k.one, zero = _mm256_setzero_si256();
      std::uint64_t single = bits(_mm256_cmpeq_epi8(low.n, one), _mm256_cmpeq_epi8(high.n, one));
      std::uint64_t none = bits(_mm256_cmpeq_epi8(low.n, zero), _mm256_cmpeq_epi8(high.n, zero));
      single = (single & starts) | heads;  // a length byte gives its "\n", whatever its value
      std::uint64_t runs = starts & ~single & ~none;

      const __m128i quarters[4] = {_mm256_castsi256_si128(low.text), _mm256_extracti128_si256(low.text, 1),
                                   _mm256_castsi256_si128(high.text), _mm256_extracti128_si256(high.text, 1)};
      // The single characters in a row from `row` on; returns its end. All
      // eight groups, without a test: past the window's codes no place is
      // single, and a group there adds nothing.
      auto gatherSingles = [&](unsigned char* row) {
#pragma GCC unroll 8
        for (unsigned g = 0; g < 8; ++g)
          row = gather(row, quarters[g / 2], static_cast<unsigned>(single >> (8 * g)) & 0xFF,
                       g % 2 ? k.secondGroup : _mm_setzero_si128());
        return row;
      };
      // A window of single characters alone, as most windows of text with
      // few runs are: they go straight to the output.
      if (!runs) return gatherSingles(o);
      // The runs' bytes and counts, stored so that each run is read without
      // a branch, and the single characters in a row.
      unsigned char runByte[kWindow], runCount[kWindow];
      store(runByte, low.text);
      store(runByte + 32, high.text);
      store(runCount, _mm256_and_si256(low.n, spread(k, static_cast<std::uint32_t>(runs))));
      store(runCount + 32, _mm256_and_si256(high.n, spread(k, static_cast<std::uint32_t>(runs >> 32))));
      unsigned char* const singles = state_.singles;
      gatherSingles(singles);
      return placeRuns(
          o, single, runs, runByte, runCount,
          [singles](unsigned char* to, unsigned written) {
            store(to, load(singles + written));
            store(to + 32, load(singles + written + 32));
          },
          [](unsigned char* to, unsigned char byte, unsigned n) { fill64(to, splat(byte), n); });
    }

   private:
    simd& state_;
    const unsigned char* at_;  // the window's bytes and two more
  };
};

result decode(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room) {
  return decodeAt<simd>(data, size, out, room);
}

// UTF-8 of n bytes, each stored as the word of its table entry (4 bytes,
// of which its length are kept).
inline unsigned char* utf8ByWord(const unsigned char* in, std::size_t n, unsigned char* o, const utf8Table& table) {
  for (const unsigned char* const end = in + n; in != end; ++in) {
    const std::uint32_t word = table.word[*in];
    std::memcpy(o, &word, 4);
    o += word >> 24;
  }
  return o;
}

// For each mask of eight characters that give one byte or two (a bit for
// each of two), the shuffle that keeps the first byte of every pair and the
// second of the marked ones.
struct pairTable {
  unsigned char shuffle[256][16];
  constexpr pairTable() : shuffle() {
    for (unsigned m = 0; m < 256; ++m) {
      unsigned to = 0;
      for (unsigned c = 0; c < 8; ++c) {
        shuffle[m][to++] = static_cast<unsigned char>(2 * c);
        if (m >> c & 1) shuffle[m][to++] = static_cast<unsigned char>(2 * c + 1);
      }
      while (to < 16) shuffle[m][to++] = 0x80;
    }
  }
};
constexpr pairTable kPairs;

// The bytes 128-255 that give two bytes of UTF-8, looked up 32 at a time:
// most letters of the code pages that are not Latin do (Cyrillic among
// them). A plane of 128 entries is eight rows of 16; a byte's row is found
// by stepping its index down 16 for each row, as a byte shuffle gives 0 for
// an index with its high bit set. The rows are stored each xored with the
// one before, so that xoring the lookups of every row up to the byte's own
// leaves that row's entry.
class twoByteLookup {
 public:
  // A few vector steps, as text may come a report at a time.
  explicit twoByteLookup(const utf8Table& t) {
    const __m128i two = _mm_set1_epi8(2), zero = _mm_setzero_si128();
    __m128i firstBefore = zero, secondBefore = zero, others = zero;
    for (unsigned row = 0; row < 8; ++row) {
      const unsigned at = 128 + 16 * row;
      const __m128i first = loadRow(t.first + at), second = loadRow(t.second + at);
      const __m128i isTwo = _mm_andnot_si128(_mm_cmpeq_epi8(first, zero), _mm_cmpeq_epi8(loadRow(t.length + at), two));
      others = _mm_or_si128(others, _mm_andnot_si128(isTwo, _mm_set1_epi8(static_cast<char>(1u << row))));
      _mm_store_si128(reinterpret_cast<__m128i*>(first_[row]), _mm_xor_si128(first, firstBefore));
      _mm_store_si128(reinterpret_cast<__m128i*>(second_[row]), _mm_xor_si128(second, secondBefore));
      firstBefore = first;
      secondBefore = second;
    }
    others_ = _mm256_broadcastsi128_si256(others);
  }

  // The pairs of 32 bytes, written at o; returns their end, or nullptr
  // (nothing written) where a byte above 127 does not give two bytes (or
  // gives a first byte 0), which is told before anything is looked up.
  unsigned char* convert(__m256i bytes, unsigned char* o) const {
    // The bit of each row of bytes above 127 (none for bytes below), by the
    // high half of a byte.
    const __m256i rowBits = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 8, 16, 32, 64, static_cast<char>(128)));
    const __m256i nibbles = splat(0x0F);
    const __m256i ofColumn = _mm256_shuffle_epi8(others_, _mm256_and_si256(bytes, nibbles));
    const __m256i rowBit = _mm256_shuffle_epi8(rowBits, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibbles));
    if (!_mm256_testz_si256(ofColumn, rowBit)) return nullptr;
    // Bytes above 127 as 0-127; the others, as signed bytes below 0, stay
    // below 0 however far they are stepped down (saturated).
    __m256i index = _mm256_xor_si256(bytes, splat(0x80));
    __m256i first = _mm256_setzero_si256(), second = _mm256_setzero_si256();
    for (unsigned row = 0; row < 8; ++row) {
      first = _mm256_xor_si256(first, _mm256_shuffle_epi8(rowOf(first_[row]), index));
      second = _mm256_xor_si256(second, _mm256_shuffle_epi8(rowOf(second_[row]), index));
      index = _mm256_subs_epi8(index, splat(16));
    }
    const std::uint32_t high = static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes));
    first = _mm256_blendv_epi8(bytes, first, bytes);
    // Pairs of characters 0-7 and 16-23, and of 8-15 and 24-31.
    const __m256i low = _mm256_unpacklo_epi8(first, second), upper = _mm256_unpackhi_epi8(first, second);
    const __m128i groups[4] = {_mm256_castsi256_si128(low), _mm256_castsi256_si128(upper),
                               _mm256_extracti128_si256(low, 1), _mm256_extracti128_si256(upper, 1)};
#pragma GCC unroll 4
    for (unsigned g = 0; g < 4; ++g) {
      const unsigned marked = high >> (8 * g) & 0xFF;
      const __m128i shuffle = _mm_load_si128(reinterpret_cast<const __m128i*>(kPairs.shuffle[marked]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(groups[g], shuffle));
      o += 8 + count(marked);
    }
    return o;
  }

 private:
  static __m128i loadRow(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static __m256i rowOf(const unsigned char* row) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(row)));
  }
  // For each low half of a byte, the rows in which it gives other than two
  // bytes, as bits.
  __m256i others_;
  alignas(16) unsigned char first_[8][16];
  alignas(16) unsigned char second_[8][16];
};

// UTF-8, 32 bytes at a time where the table keeps ASCII as it is: bytes
// without a high bit are stored as they are, those with one, where each
// gives two bytes, as pairs from the lookup; any other 32 go a word at a
// time.
std::size_t toUtf8(const unsigned char* in, std::size_t count, unsigned char* out, const utf8Table& table) {
  unsigned char* o = out;
  std::size_t i = 0;
  if (table.asciiAsIs) {
    const twoByteLookup pairs(table);
    for (; i + 32 <= count; i += 32) {
      const __m256i bytes = load(in + i);
      if (_mm256_movemask_epi8(bytes) == 0) {
        store(o, bytes);
        o += 32;
      } else if (unsigned char* end = pairs.convert(bytes, o)) {
        o = end;
      } else {
        o = utf8ByWord(in + i, 32, o, table);
      }
    }
    // The last n bytes as 32 filled out with zeros, which give a byte each
    // past their UTF-8: text mostly comes a report at a time, and a byte at
    // a time its last bytes would cost as much as the rest. (Within the
    // room: the stores reach at most 40 + n bytes past o, where at least
    // 3 * n + kUtf8Slack are left.)
    if (const std::size_t n = count - i) {
      alignas(32) unsigned char last[32] = {};
      std::memcpy(last, in + i, n);
      if (unsigned char* end = pairs.convert(load(last), o)) return static_cast<std::size_t>(end - (32 - n) - out);
    }
  }
  return static_cast<std::size_t>(utf8ByWord(in + i, count - i, o, table) - out);
}

}  // namespace avx2
}  // namespace reportDecode
