// What the decoding levels share: the scalar decoding of one line's codes,
// the line loop of the scalar level, the window loop of the vector levels,
// and the entry point of each level.
//
// Each level's file is compiled with its own instruction set, so everything
// defined here has internal linkage: no copy built for AVX-512 may stand in
// for the one a scalar caller links to.
#ifndef TARVIN_REPORTDECODE_COMMON_H
#define TARVIN_REPORTDECODE_COMMON_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "reportDecode.h"

namespace reportDecode {

result decodeScalar(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room);
result decodeAvx2(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room);
result decodeAvx512(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room);

namespace {

const unsigned kRepeat = 192;

// The byte of each literal code: b itself, or 159 - b for 63-127.
struct literalTable {
  unsigned char byte[256];
  constexpr literalTable() : byte() {
    for (unsigned b = 0; b < 256; ++b) byte[b] = static_cast<unsigned char>(b >= 63 && b <= 127 ? 159 - b : b);
  }
};
constexpr literalTable kLiteral;

// Fills n bytes with c, sixteen at a time (up to fifteen more are written).
inline void fill16(unsigned char* o, unsigned char c, unsigned n) {
  std::uint64_t eight = c * 0x0101010101010101ull;
  unsigned i = 0;
  do {  // the first sixteen without a test: most runs are short
    std::memcpy(o + i, &eight, 8);
    std::memcpy(o + i + 8, &eight, 8);
    i += 16;
  } while (i < n);
}

// Decodes the codes [q, lineEnd) of one line, `end` being the end of the
// report, into units at o, and returns the end of the text written ("\n"
// not included). The one rule of the codes for every output form: a literal
// code b is literal(b); a run of spaces is `space`; a repeat is repeated(c)
// for its character byte c, none when that is 0; fill(o, unit, n) writes a
// run (and may write past it). A repeat whose operands are not both before
// `end` ends the line; it is noted in `cutRepeat`.
template <class Unit, class Literal, class Repeated, class Fill>
inline Unit* lineCodes(const unsigned char* q, const unsigned char* lineEnd, const unsigned char* end, Unit* o,
                       const unsigned char*& cutRepeat, Literal literal, Unit space, Repeated repeated, Fill fill) {
  while (q < lineEnd) {
    unsigned b = *q;
    if (b - 128u > 64u) {  // a literal: most codes are
      *o++ = literal(b);
      ++q;
    } else if (b != kRepeat) {  // a run of spaces
      fill(o, space, b - 128u);
      o += b - 128u;
      ++q;
    } else {
      if (end - q < 3) {  // operands outside the report's bytes: nothing
        cutRepeat = q;
        break;
      }
      const Unit u = repeated(q[1]);
      unsigned k = u ? q[2] : 0;  // a character 0 ends the run's text
      fill(o, u, k);
      o += k;
      q += 3;
    }
  }
  return o;
}

// The same into OEM bytes, as the decoding levels write them.
inline unsigned char* scalarCodes(const unsigned char* q, const unsigned char* lineEnd, const unsigned char* end,
                                  unsigned char* o, const unsigned char*& cutRepeat) {
  return lineCodes(
      q, lineEnd, end, o, cutRepeat, [](unsigned b) { return kLiteral.byte[b]; }, static_cast<unsigned char>(' '),
      [](unsigned c) { return static_cast<unsigned char>(c); }, fill16);
}

// Below this many bytes a report takes the scalar loop at every level.
constexpr std::size_t kSmallReport = 128;

// The line loop of the scalar level: scalarCodes for each line.
// The result of a call, with the damage it met: a line cut at `cutLine`
// (its length byte), else a repeat cut at `cutRepeat`, or none.
inline result finished(const unsigned char* data, const unsigned char* p, const unsigned char* out,
                       const unsigned char* o, const unsigned char* cutLine, const unsigned char* cutRepeat) {
  result r{static_cast<std::size_t>(p - data), static_cast<std::size_t>(o - out), damage::none, 0};
  if (cutLine) {
    r.damaged = damage::lineCut;
    r.damagedAt = static_cast<std::size_t>(cutLine - data);
  } else if (cutRepeat) {
    r.damaged = damage::repeatCut;
    r.damagedAt = static_cast<std::size_t>(cutRepeat - data);
  }
  return r;
}

inline result decodeLines(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room) {
  const unsigned char* p = data;
  const unsigned char* const end = data + size;
  const unsigned char *cutLine = nullptr, *cutRepeat = nullptr;
  unsigned char* o = out;
  while (p < end && room - static_cast<std::size_t>(o - out) >= kLineRoom) {
    unsigned n = *p++;
    if (n == 0) {
      // Empty lines, often a block's worth of padding: a "\n" each, together,
      // as many as the room would have taken one by one.
      std::size_t lines = room - static_cast<std::size_t>(o - out) - kLineRoom;
      const unsigned char* zeros = p;
      while (zeros < end && lines > 0 && *zeros == 0) ++zeros, --lines;
      const std::size_t count = static_cast<std::size_t>(zeros - p) + 1;
      std::memset(o, '\n', count);
      o += count;
      p = zeros;
      continue;
    }
    bool cut = static_cast<std::size_t>(end - p) < n;  // at the end: the last line
    const unsigned char* lineEnd = cut ? end : p + n;
    o = scalarCodes(p, lineEnd, end, o, cutRepeat);
    *o++ = '\n';
    if (cut) cutLine = p - 1;
    p = lineEnd;
    if (cut) break;
  }
  return finished(data, p, out, o, cutLine, cutRepeat);
}

// The vector levels decode windows of up to 64 bytes that run across line
// ends: a length byte in a window is one more code, which gives the "\n" of
// the line before it. Where no two 192 bytes stand within two places of each
// other, every 192 byte that is not a length byte starts a repeat and the two
// bytes after it are its operands, so all codes of a window are found at once.
// The scalar loop takes a line where the order matters (two close 192 bytes)
// and one whose last repeat reads beyond it. A window is shortened so that no
// repeat straddles its end; a line cut at the end of the report ends a window.

inline std::uint64_t lowBits(unsigned n) { return n >= 64 ? ~0ull : (1ull << n) - 1; }

inline unsigned count(std::uint64_t bits) { return static_cast<unsigned>(__builtin_popcountll(bits)); }

// Writes a window's text at o, as every vector level lays it out: its
// single characters in order, and each of its runs (codes marked in `runs`,
// giving runCount[i] times runByte[i]) in its place among them. The level
// stores its singles from number `written` on with storeSingles(o, written)
// (which may write past them) and a run with fill(o, byte, k). Returns the
// end of the text.
template <class StoreSingles, class Fill>
inline unsigned char* placeRuns(unsigned char* o, std::uint64_t single, std::uint64_t runs,
                                const unsigned char* runByte, const unsigned char* runCount,
                                StoreSingles storeSingles, Fill fill) {
  unsigned written = 0;
  // Writes the singles before the next run and then the run; with no run
  // left, the rest of the singles.
  auto step = [&] {
    std::uint64_t next = runs & (0 - runs);
    unsigned before = count(single & (next - 1));
    storeSingles(o, written);
    o += before - written;
    written = before;
    unsigned at = static_cast<unsigned>(__builtin_ctzll(runs | 1ull << 63));
    unsigned k = runCount[at] & (0u - (next != 0));
    runs ^= next;
    fill(o, runByte[at], k);
    o += k;
  };
  // Most windows hold two runs or fewer: two steps without a test, as a
  // branch on their number would often be mispredicted.
  step();
  step();
  while (runs) step();
  storeSingles(o, written);
  return o + count(single) - written;
}

// The most one window gives (its bytes as repeats of 255), slack included.
constexpr std::size_t kWindowRoom = kMostPerCodeByte * 64 + kSlack;

// Decodes the lines from the one at p, which lies whole inside the report, in
// windows that reach no further than `stop` (the report's end, or the end of
// p's line to decode only that one), while the output is at or before `limit`
// when a window begins. Returns with p at the next line and the "\n" of the
// last one written.
//
// Level::window(q, w, end) holds the code bytes [q, q + w); repeats() marks
// their 192 bytes; decode(valid, heads, repeat, o) writes what the codes in
// `valid` give, the length bytes being `heads` and the repeats `repeat`.
template <class Level>
unsigned char* windowLines(Level& level, const unsigned char*& p, const unsigned char* stop,
                           const unsigned char* end, unsigned char* o, const unsigned char* limit,
                           const unsigned char*& cutRepeat) {
  const unsigned char* lineEnd = p + 1 + *p;
  const unsigned char* q = p + 1;
  while (q < stop && o <= limit) {
    std::size_t left = static_cast<std::size_t>(stop - q);
    unsigned w = left < 64 ? static_cast<unsigned>(left) : 64;
    // The length bytes in the window; a line cut at the end stops it.
    std::uint64_t heads = 0;
    const unsigned char* h = lineEnd;
    while (h < q + w) {
      if (static_cast<std::size_t>(end - h - 1) < *h) {
        w = static_cast<unsigned>(h - q);
        break;
      }
      heads |= 1ull << (h - q);
      h += 1 + *h;
    }
    if (!w) break;
    std::uint64_t valid = lowBits(w);
    typename Level::window codes(level, q, w, end);
    std::uint64_t repeat = codes.repeats() & valid & ~heads;
    // Line ends: length bytes, and the window's end where it is not cut at 64.
    std::uint64_t bounds = heads | (w < 64 ? 1ull << w : 0);
    std::uint64_t scalar = (repeat & (repeat << 1 | repeat << 2)) | (repeat & (bounds >> 1 | bounds >> 2));
    if (scalar) {
      std::uint64_t later = heads & lowBits(static_cast<unsigned>(__builtin_ctzll(scalar)) + 1) & ~1ull;
      if (!later) {  // the line at q takes the scalar loop
        if (heads & 1) {
          *o++ = '\n';
          lineEnd = q + 1 + *q;
          ++q;
        }
        o = scalarCodes(q, lineEnd, end, o, cutRepeat);
        q = lineEnd;
        continue;
      }
      w = 63 - static_cast<unsigned>(__builtin_clzll(later));  // the window ends before that line
      h = q + w;
      valid = lowBits(w);
      heads &= valid;
      repeat &= valid;
    } else if (w == 64 && repeat >> 62) {  // a repeat straddles the window's end
      w = static_cast<unsigned>(__builtin_ctzll(repeat >> 62 << 62));
      valid = lowBits(w);
      repeat &= valid;
    }
    o = codes.decode(valid, heads, repeat, o);
    q += w;
    lineEnd = h;
  }
  o = scalarCodes(q, lineEnd, end, o, cutRepeat);
  *o++ = '\n';
  p = lineEnd;
  return o;
}

// The line loop of the vector levels: windows across lines while the room
// left holds one more window beside one more line, then line by line.
template <class Level>
result decodeWindows(Level& level, const unsigned char* data, std::size_t size, unsigned char* out,
                     std::size_t room) {
  const unsigned char* p = data;
  const unsigned char* const end = data + size;
  const unsigned char *cutLine = nullptr, *cutRepeat = nullptr;
  unsigned char* o = out;
  while (p < end) {
    std::size_t left = room - static_cast<std::size_t>(o - out);
    if (left < kLineRoom) break;
    unsigned n = *p;
    if (static_cast<std::size_t>(end - p - 1) < n) {  // cut at the end: the last line
      o = scalarCodes(p + 1, end, end, o, cutRepeat);
      *o++ = '\n';
      cutLine = p;
      p = end;
      break;
    }
    if (left >= kLineRoom + kWindowRoom)
      o = windowLines(level, p, end, end, o, out + (room - kLineRoom - kWindowRoom), cutRepeat);
    else
      o = windowLines(level, p, p + 1 + n, end, o, out + room, cutRepeat);
  }
  return finished(data, p, out, o, cutLine, cutRepeat);
}

// The entry point of a vector level.
template <class Level>
result decodeAt(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room) {
  // A report of a few lines is decoded sooner than the vector level is set up.
  if (size < kSmallReport) return decodeLines(data, size, out, room);
  Level level;
  return decodeWindows(level, data, size, out, room);
}

}  // namespace
}  // namespace reportDecode

#endif  // TARVIN_REPORTDECODE_COMMON_H
