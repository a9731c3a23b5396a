// What the decoding levels share: the line loop, the scalar decoding of one
// line's codes, and the entry point of each level.
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
// report, and returns the end of the text written at o ("\n" not included).
// A repeat whose operands are not both before `end` ends the line.
inline unsigned char* scalarCodes(const unsigned char* q, const unsigned char* lineEnd, const unsigned char* end,
                                  unsigned char* o) {
  while (q < lineEnd) {
    unsigned b = *q;
    if (b - 128u > 64u) {  // a literal: most codes are
      *o++ = kLiteral.byte[b];
      ++q;
    } else if (b != kRepeat) {  // a run of spaces
      fill16(o, ' ', b - 128u);
      o += b - 128u;
      ++q;
    } else {
      if (end - q < 3) break;  // operands outside the report's bytes: nothing
      unsigned c = q[1];
      unsigned k = c ? q[2] : 0;  // a character 0 ends the run's text
      fill16(o, static_cast<unsigned char>(c), k);
      o += k;
      q += 3;
    }
  }
  return o;
}

// The line loop of every level. `codes(q, lineEnd, end, o)` decodes the codes
// of a line that lies whole inside the report, as scalarCodes does; a cut
// line always takes the scalar loop.
template <class Codes>
inline result decodeLines(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room,
                          Codes codes) {
  const unsigned char* p = data;
  const unsigned char* const end = data + size;
  unsigned char* o = out;
  while (p < end && room - static_cast<std::size_t>(o - out) >= kLineRoom) {
    unsigned n = *p++;
    if (static_cast<std::size_t>(end - p) < n) {  // cut at the end: the last line
      o = scalarCodes(p, end, end, o);
      *o++ = '\n';
      p = end;
      break;
    }
    o = codes(p, p + n, end, o);
    *o++ = '\n';
    p += n;
  }
  return {static_cast<std::size_t>(p - data), static_cast<std::size_t>(o - out)};
}

}  // namespace
}  // namespace reportDecode

#endif  // TARVIN_REPORTDECODE_COMMON_H
