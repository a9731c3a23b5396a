#include "reportText.h"

#include "oemTable.h"

namespace {

// What one code byte produces, decided once for all 256 values.
enum codeKind : unsigned char { kLiteral, kSpaces, kRepeat, kSystem };

struct codeTable {
  unsigned short unit[256];  // kLiteral: the character
  unsigned char count[256];  // kSpaces: how many
  codeKind kind[256];
  unsigned char byte[256];   // kSystem: the OEM byte to convert

  codeTable() : unit(), count(), kind(), byte() {
    const oemTable& oem = oemTable::get();
    for (int b = 0; b < 256; ++b) {
      if (b >= 128 && b <= 191) {
        kind[b] = kSpaces;
        count[b] = static_cast<unsigned char>(b - 128);
      } else if (b == 192) {
        kind[b] = kRepeat;
      } else {
        int source = (b >= 63 && b <= 127) ? 159 - b : b;
        byte[b] = static_cast<unsigned char>(source);
        kind[b] = oem.single[source] ? kLiteral : kSystem;
        unit[b] = oem.wide[source];
      }
    }
  }

  static const codeTable& get() {
    static const codeTable table;
    return table;
  }
};

// The most units one line can produce: every code byte a 63-space run, or a
// repeat of 255 for each three bytes, plus one repeat reaching past the line
// and the line end.
int lineBound(unsigned n) { return 85 * static_cast<int>(n) + 255 + 1; }

// A repeat or a byte that the table cannot convert on its own goes through
// the system conversion, exactly as the text would be built without tables.
void appendRepeatSlowly(mstr& text, unsigned char c, unsigned k) {
  mstr run;
  for (unsigned i = 0; i < k; ++i) run.appendMultiByte(reinterpret_cast<const char*>(&c), 1, CP_OEMCP);
  text.append(run.c_str());
}

}  // namespace

void decodeReportText(const unsigned char* data, std::size_t size, mstr& text) {
  const codeTable& codes = codeTable::get();
  const oemTable& oem = oemTable::get();
  const unsigned char* p = data;
  const unsigned char* const end = data + size;

  while (p < end) {
    unsigned n = *p++;
    bool cut = static_cast<std::size_t>(end - p) < n;
    const unsigned char* const lineEnd = cut ? end : p + n;

    unsigned short* out = text.reserve_end(lineBound(n));
    unsigned short* o = out;
    const unsigned char* q = p;
    while (q < lineEnd) {
      unsigned b = *q;
      switch (codes.kind[b]) {
        case kLiteral:
          *o++ = codes.unit[b];
          ++q;
          break;
        case kSpaces:
          for (unsigned i = codes.count[b]; i; --i) *o++ = u' ';
          ++q;
          break;
        case kRepeat: {
          if (end - q < 3) {  // operands outside the report's bytes
            q = lineEnd;
            break;
          }
          unsigned c = q[1];
          unsigned k = q[2];
          q += 3;
          if (!oem.single[c]) {
            text.commit_end(static_cast<int>(o - out));
            appendRepeatSlowly(text, static_cast<unsigned char>(c), k);
            out = o = text.reserve_end(lineBound(n));
          } else if (oem.wide[c] != 0) {
            for (unsigned short u = oem.wide[c]; k; --k) *o++ = u;
          }
          break;
        }
        case kSystem:
          text.commit_end(static_cast<int>(o - out));
          text.appendMultiByte(reinterpret_cast<const char*>(&codes.byte[b]), 1, CP_OEMCP);
          out = o = text.reserve_end(lineBound(n));
          ++q;
          break;
      }
    }
    *o++ = u'\n';
    text.commit_end(static_cast<int>(o - out));
    if (cut) break;
    p = lineEnd;
  }
}
