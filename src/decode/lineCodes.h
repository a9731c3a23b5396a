// The rule of a line's codes, for every output form: the decoding levels
// (OEM bytes) and the table decoder of textDecode.cpp (UTF-16 units).
//
// Only constants and a template here: a level's file, compiled for its own
// instruction set, instantiates lineCodes with types of its own namespace, so
// no copy built for AVX-512 can stand in for the one another file links to.
#ifndef TARVIN_DECODE_LINECODES_H
#define TARVIN_DECODE_LINECODES_H

namespace reportDecode {

const unsigned kRepeat = 192;

// The byte of each literal code: b itself, or 159 - b for 63-127.
struct literalTable {
  unsigned char byte[256];
  constexpr literalTable() : byte() {
    for (unsigned b = 0; b < 256; ++b) byte[b] = static_cast<unsigned char>(b >= 63 && b <= 127 ? 159 - b : b);
  }
};
constexpr literalTable kLiteral;

// Decodes the codes [q, lineEnd) of one line, `end` being the end of the
// report, into units at o, and returns the end of the text written ("\n"
// not included). A literal code b is literal(b); a run of spaces is `space`;
// a repeat is repeated(c) for its character byte c, none when that is 0;
// fill(o, unit, n) writes a run (and may write past it). A repeat whose
// operands are not both before `end` ends the line; it is noted in
// `cutRepeat`.
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

}  // namespace reportDecode

#endif  // TARVIN_DECODE_LINECODES_H
