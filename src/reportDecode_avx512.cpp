// The AVX-512 level (AVX512BW, VBMI2): the codes of a line 64 at a time.
//
// In a window of code bytes that starts at a code, a 192 byte starts a repeat
// unless it is an operand of a 192 one or two places before it; where no two
// 192 bytes stand within two places of each other, every 192 is a repeat and
// the two bytes after it its operands, so all codes are found at once. Codes
// that give one character (a literal, one space, a repeat of count one) are
// gathered with one compress; the stretches of them between longer runs are
// stored from it, and the runs are broadcast stores. A window is shortened so
// that no repeat straddles its end; what is left to order code by code (two
// close 192 bytes, a repeat whose operands lie beyond the line) takes the
// scalar loop from that window on. Loads are masked to the line, so nothing
// outside it is read.
#include <immintrin.h>

#include "reportDecode_common.h"

namespace reportDecode {
namespace {

inline std::uint64_t lowBits(unsigned n) { return n >= 64 ? ~0ull : (1ull << n) - 1; }

inline unsigned count(std::uint64_t bits) { return static_cast<unsigned>(__builtin_popcountll(bits)); }

// Fills n bytes with the broadcast character, 64 at a time (up to 63 more
// are written).
inline void fill64(unsigned char* o, __m512i character, unsigned n) {
  unsigned i = 0;
  do {
    _mm512_storeu_si512(o + i, character);
    i += 64;
  } while (i < n);
}

unsigned char* codes512(const unsigned char* q, const unsigned char* lineEnd, const unsigned char* end,
                        unsigned char* o) {
  const __m512i one = _mm512_set1_epi8(1);
  const __m512i c128 = _mm512_set1_epi8(static_cast<char>(128));
  while (q < lineEnd) {
    std::size_t left = static_cast<std::size_t>(lineEnd - q);
    unsigned w = left < 64 ? static_cast<unsigned>(left) : 64;
    std::uint64_t valid = lowBits(w);
    __m512i code = _mm512_maskz_loadu_epi8(valid, q);
    std::uint64_t repeat = _mm512_mask_cmpeq_epi8_mask(valid, code, _mm512_set1_epi8(static_cast<char>(kRepeat)));
    if (repeat & (repeat << 1 | repeat << 2)) break;  // which 192 is a code depends on the order
    std::uint64_t straddles = repeat & ~(valid >> 2);
    if (straddles) {
      if (w == left) break;  // its operands lie beyond the line
      w = static_cast<unsigned>(__builtin_ctzll(straddles));
      valid = lowBits(w);
      repeat &= valid;
    }
    std::uint64_t starts = valid & ~(repeat << 1 | repeat << 2);
    __m512i character = _mm512_maskz_loadu_epi8(valid >> 1, q + 1);
    __m512i times = _mm512_maskz_loadu_epi8(valid >> 2, q + 2);

    // What each code gives: a byte and how many of it.
    __m512i spaces = _mm512_sub_epi8(code, c128);
    __mmask64 isSpace = _mm512_mask_cmplt_epu8_mask(starts, spaces, _mm512_set1_epi8(64));
    __mmask64 isMapped = _mm512_mask_cmplt_epu8_mask(starts, _mm512_sub_epi8(code, _mm512_set1_epi8(63)),
                                                     _mm512_set1_epi8(65));
    __m512i text = _mm512_mask_sub_epi8(code, isMapped, _mm512_set1_epi8(static_cast<char>(159)), code);
    text = _mm512_mask_mov_epi8(text, isSpace, _mm512_set1_epi8(' '));
    text = _mm512_mask_mov_epi8(text, repeat, character);
    __mmask64 live = _mm512_mask_test_epi8_mask(repeat, character, character);  // a character 0 gives nothing
    __m512i n = _mm512_mask_mov_epi8(one, isSpace, spaces);
    n = _mm512_mask_mov_epi8(n, repeat, _mm512_maskz_mov_epi8(live, times));
    std::uint64_t single = _mm512_mask_cmpeq_epi8_mask(starts, n, one);
    std::uint64_t runs = _mm512_mask_cmpgt_epu8_mask(starts, n, one);

    // The runs' bytes and counts, stored so that each run is read without a
    // branch; the single characters in order, stored a stretch at a time by
    // stores masked to begin at the first one not yet written.
    unsigned char runByte[64], runCount[64];
    _mm512_storeu_si512(runByte, text);
    _mm512_storeu_si512(runCount, _mm512_maskz_mov_epi8(runs, n));
    __m512i singles = _mm512_maskz_compress_epi8(single, text);
    unsigned written = 0;
    // Stores the singles before the next run and then the run; with no run
    // left, the rest of the singles.
    auto step = [&] {
      std::uint64_t next = runs & (0 - runs);
      unsigned before = count(single & (next - 1));
      _mm512_mask_storeu_epi8(o - written, ~lowBits(written), singles);
      o += before - written;
      written = before;
      unsigned at = static_cast<unsigned>(__builtin_ctzll(runs | 1ull << 63));
      unsigned k = runCount[at] & (0u - (next != 0));
      runs ^= next;
      fill64(o, _mm512_set1_epi8(static_cast<char>(runByte[at])), k);
      o += k;
    };
    // Most windows hold two runs or fewer: two steps without a test, as a
    // branch on their number would often be mispredicted.
    step();
    step();
    while (runs) step();
    _mm512_mask_storeu_epi8(o - written, ~lowBits(written), singles);
    o += count(single) - written;
    q += w;
  }
  return scalarCodes(q, lineEnd, end, o);
}

}  // namespace

result decodeAvx512(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room) {
  return decodeLines(data, size, out, room, codes512);
}

}  // namespace reportDecode
