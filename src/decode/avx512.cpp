// The AVX-512 level (AVX512BW, VBMI, VBMI2): windows of 64 bytes.
//
// Codes that give one character (a literal, one space, a repeat of count
// one, a length byte's "\n") are gathered with one compress; the stretches of
// them between longer runs are stored from it, and the runs are broadcast
// stores. Loads are masked to the report's bytes, so nothing outside them is
// read.
//
// UTF-8: each OEM byte takes a slot of 4 bytes, filled from the planes of
// the table by 128-byte lookups (two vpermi2b, chosen by the byte's high
// bit); the slots' bytes within the character's length are compressed
// together. 64 bytes without a high bit are stored as they are where the
// table keeps ASCII as it is.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "levels.h"
#include "lineCodes.h"
#include "reportDecode.h"

namespace reportDecode {
namespace avx512 {

#include "lineLoop.inc"
#include "windowLoop.inc"

// Fills n bytes with the broadcast character, 64 at a time (up to 63 more
// are written).
inline void fill64(unsigned char* o, __m512i character, unsigned n) {
  unsigned i = 0;
  do {
    _mm512_storeu_si512(o + i, character);
    i += 64;
  } while (i < n);
}

// A byte in every place.
inline __m512i splat(unsigned char b) { return _mm512_set1_epi8(static_cast<char>(b)); }

struct simd {
  // The constants of every window, made once for a call rather than for
  // each window.
  const __m512i repeatByte = splat(kRepeat), spaceBase = splat(128), spaceCount = splat(64), mappedBase = splat(63),
                mappedCount = splat(65), mappedFrom = splat(159), space = splat(' '), lineEnd = splat('\n'),
                one = splat(1);

  class window {
   public:
    window(simd& state, const unsigned char* q, unsigned w, const unsigned char* end)
        : k_(state), q_(q), left_(static_cast<std::size_t>(end - q)), code_(_mm512_maskz_loadu_epi8(lowBits(w), q)) {}

    std::uint64_t repeats() const { return _mm512_cmpeq_epi8_mask(code_, k_.repeatByte); }

    unsigned char* decode(std::uint64_t valid, std::uint64_t heads, std::uint64_t repeat, unsigned char* o) const {
      const __m512i one = k_.one;
      std::uint64_t starts = valid & ~(repeat << 1 | repeat << 2);
      std::uint64_t codes = starts & ~heads;
      // The operands of every code, up to two places past the window.
      __m512i character, times;
      if (left_ < kWindowReach) {  // near the report's end: left_ is at least 1
        character = _mm512_maskz_loadu_epi8(lowBits(static_cast<unsigned>(left_) - 1), q_ + 1);
        times = _mm512_maskz_loadu_epi8(lowBits(static_cast<unsigned>(left_) - 1) >> 1, q_ + 2);
      } else {
        character = _mm512_loadu_si512(q_ + 1);
        times = _mm512_loadu_si512(q_ + 2);
      }

      // What each code gives: a byte and how many of it.
      __m512i spaces = _mm512_sub_epi8(code_, k_.spaceBase);
      __mmask64 isSpace = _mm512_mask_cmplt_epu8_mask(codes, spaces, k_.spaceCount);
      __mmask64 isMapped = _mm512_mask_cmplt_epu8_mask(codes, _mm512_sub_epi8(code_, k_.mappedBase), k_.mappedCount);
      __m512i text = _mm512_mask_sub_epi8(code_, isMapped, k_.mappedFrom, code_);
      text = _mm512_mask_mov_epi8(text, isSpace, k_.space);
      text = _mm512_mask_mov_epi8(text, repeat, character);
      text = _mm512_mask_mov_epi8(text, heads, k_.lineEnd);
      __mmask64 live = _mm512_mask_test_epi8_mask(repeat, character, character);  // a character 0 gives nothing
      __m512i n = _mm512_mask_mov_epi8(one, isSpace, spaces);
      n = _mm512_mask_mov_epi8(n, repeat, _mm512_maskz_mov_epi8(live, times));
      std::uint64_t single = _mm512_mask_cmpeq_epi8_mask(starts, n, one);
      std::uint64_t runs = _mm512_mask_cmpgt_epu8_mask(starts, n, one);

      // The runs' bytes and counts, stored so that each run is read without
      // a branch; the single characters in order, stored a stretch at a time
      // by stores masked to begin at the first one not yet written.
      unsigned char runByte[64], runCount[64];
      _mm512_storeu_si512(runByte, text);
      _mm512_storeu_si512(runCount, _mm512_maskz_mov_epi8(runs, n));
      __m512i singles = _mm512_maskz_compress_epi8(single, text);
      return placeRuns(
          o, single, runs, runByte, runCount,
          [singles](unsigned char* to, unsigned written) {
            _mm512_mask_storeu_epi8(to - written, ~lowBits(written), singles);
          },
          [](unsigned char* to, unsigned char byte, unsigned n) { fill64(to, splat(byte), n); });
    }

   private:
    const simd& k_;
    const unsigned char* q_;
    std::size_t left_;  // the report's bytes from q_ on
    __m512i code_;      // the window's bytes, 0 past them: masked loads read nothing outside
  };
};

result decode(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room) {
  return decodeAt<simd>(data, size, out, room);
}

namespace {

// A 256-byte plane of the UTF-8 table in four registers.
struct plane {
  __m512i low0, low1, high0, high1;
  explicit plane(const unsigned char* p)
      : low0(_mm512_loadu_si512(p)),
        low1(_mm512_loadu_si512(p + 64)),
        high0(_mm512_loadu_si512(p + 128)),
        high1(_mm512_loadu_si512(p + 192)) {}
  __m512i of(__m512i bytes, __mmask64 high) const {
    return _mm512_mask_blend_epi8(high, _mm512_permutex2var_epi8(low0, bytes, low1),
                                  _mm512_permutex2var_epi8(high0, bytes, high1));
  }
};

// Slot j of a quarter reads byte 16 * quarter + j / 4 of the 64.
inline __m512i slotSource(unsigned quarter) {
  alignas(64) unsigned char at[64];
  for (unsigned j = 0; j < 64; ++j) at[j] = static_cast<unsigned char>(16 * quarter + j / 4);
  return _mm512_load_si512(at);
}

struct utf8Planes {
  const plane length, first, second, third;
  const __m512i source[4] = {slotSource(0), slotSource(1), slotSource(2), slotSource(3)};
  const __m512i place = _mm512_set1_epi32(0x03020100);  // each byte's place in its slot
  explicit utf8Planes(const utf8Table& t) : length(t.length), first(t.first), second(t.second), third(t.third) {}

  // The UTF-8 of the first n (at most 64) of `bytes`; writes 64 bytes at o
  // for each 16 of them.
  unsigned char* convert(__m512i bytes, unsigned n, unsigned char* o) const {
    for (unsigned q = 0; q < 4 && 16 * q < n; ++q) {
      // (Masked with all ones: gcc 12 warns of the plain form's undefined
      // source.)
      const __m512i c = _mm512_maskz_permutexvar_epi8(~0ull, source[q], bytes);
      const __mmask64 high = _mm512_movepi8_mask(c);
      __m512i text = first.of(c, high);
      text = _mm512_mask_mov_epi8(text, 0x2222222222222222ull, second.of(c, high));
      text = _mm512_mask_mov_epi8(text, 0x4444444444444444ull, third.of(c, high));
      const unsigned slots = n - 16 * q < 16 ? 4 * (n - 16 * q) : 64;
      const std::uint64_t kept = _mm512_mask_cmplt_epu8_mask(lowBits(slots), place, length.of(c, high));
      _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(kept, text));
      o += count(kept);
    }
    return o;
  }
};

}  // namespace

std::size_t toUtf8(const unsigned char* in, std::size_t count, unsigned char* out, const utf8Table& table) {
  const utf8Planes planes(table);
  unsigned char* o = out;
  for (std::size_t i = 0; i < count; i += 64) {
    const unsigned n = count - i < 64 ? static_cast<unsigned>(count - i) : 64;
    const __m512i bytes = _mm512_maskz_loadu_epi8(lowBits(n), in + i);
    if (table.asciiAsIs && _mm512_movepi8_mask(bytes) == 0) {
      _mm512_mask_storeu_epi8(o, lowBits(n), bytes);
      o += n;
    } else {
      o = planes.convert(bytes, n, o);
    }
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace avx512
}  // namespace reportDecode
