#include "textDecode.h"

#include <cstdint>
#include <cstring>

#include "lineCodes.h"
#include "oemTable.h"
#include "reportDecode.h"

namespace {

using reportDecode::kLiteral;
using reportDecode::kRepeat;

// The characters of the literal codes: 0-62 and 193-255 stand for that byte
// of the OEM code page, 63-127 for byte 159 - b.
struct codeTable {
  unsigned short unit[256];
  // Whether every literal converts to exactly one unit, so the fast loop
  // applies; otherwise each character goes through the system conversion.
  bool allSingle;

  codeTable() : unit(), allSingle(true) {
    const oemTable& oem = oemTable::get();
    for (unsigned b = 0; b < 256; ++b) {
      if (b >= 128 && b <= kRepeat) continue;
      const unsigned source = kLiteral.byte[b];
      unit[b] = oem.wide[source];
      allSingle = allSingle && oem.single[source];
    }
  }

  static const codeTable& get() {
    static const codeTable table;
    return table;
  }
};

// Room one more line always fits in: its units, and the eight-unit fills may
// write up to seven more past the last one counted.
constexpr int kLongestLine = static_cast<int>(reportDecode::kLongestLine) + 8;

// The output is written straight into the string's storage, reserved in
// chunks and committed when more room is needed and at the end.
class writer {
 public:
  explicit writer(mstr& text) : at(nullptr), text_(text), start_(nullptr), end_(nullptr) { reserve(); }
  ~writer() { text_.commit_end(static_cast<int>(at - start_)); }

  // Makes sure one more line of any length fits.
  void lineAhead() {
    if (end_ - at < kLongestLine) {
      text_.commit_end(static_cast<int>(at - start_));
      start_ = at;  // nothing left to commit if reserving fails
      reserve();
    }
  }

  unsigned short* at;

 private:
  void reserve() {
    int chunk = text_.get_count() / 4;
    if (chunk < 4 * kLongestLine) chunk = 4 * kLongestLine;
    unsigned short* room = text_.reserve_end(chunk);
    start_ = at = room;
    end_ = room + chunk;
  }

  mstr& text_;
  unsigned short* start_;
  unsigned short* end_;
};

// Fills n units with u, eight at a time (up to seven more may be written).
inline void fill(unsigned short* o, unsigned short u, unsigned n) {
  std::uint64_t four = u * 0x0001000100010001ull;
  std::memcpy(o, &four, 8);  // the first eight without a test: most runs are short
  std::memcpy(o + 4, &four, 8);
  for (unsigned i = 8; i < n; i += 8) {
    std::memcpy(o + i, &four, 8);
    std::memcpy(o + i + 4, &four, 8);
  }
}

// What a call decoded: the bytes of whole lines, the units appended, and the
// damage it met (a cut line before a cut repeat).
reportDecode::result finished(const unsigned char* data, const unsigned char* p, int units,
                              const unsigned char* cutLine, const unsigned char* cutRepeat) {
  reportDecode::result r{static_cast<std::size_t>(p - data), static_cast<std::size_t>(units),
                         reportDecode::damage::none, 0};
  if (cutLine || cutRepeat) {
    r.damaged = cutLine ? reportDecode::damage::lineCut : reportDecode::damage::repeatCut;
    r.damagedAt = static_cast<std::size_t>((cutLine ? cutLine : cutRepeat) - data);
  }
  return r;
}

}  // namespace

reportDecode::result decodeReportText(const unsigned char* data, std::size_t size, mstr& text, std::size_t limit) {
  const codeTable& codes = codeTable::get();
  const unsigned char* p = data;
  const unsigned char* const end = data + size;
  const unsigned char* const stop = data + (limit < size ? limit : size);
  if (!codes.allSingle) return decodeReportTextPlain(data, size, text, limit);
  const unsigned short* wide = oemTable::get().wide;

  const int before = text.get_count();
  const unsigned char *cutLine = nullptr, *cutRepeat = nullptr;
  {  // the writer commits what it wrote when it goes
    writer out(text);
    while (p < stop) {
      out.lineAhead();
      unsigned n = *p++;
      bool cut = static_cast<std::size_t>(end - p) < n;
      const unsigned char* const lineEnd = cut ? end : p + n;
      unsigned short* o = out.at;
      o = reportDecode::lineCodes(
          p, lineEnd, end, o, cutRepeat, [&codes](unsigned b) { return codes.unit[b]; },
          static_cast<unsigned short>(u' '), [wide](unsigned c) { return wide[c]; }, fill);
      *o++ = u'\n';
      out.at = o;
      if (cut) cutLine = p - 1;
      p = lineEnd;
      if (cut) break;
  }
  }
  return finished(data, p, text.get_count() - before, cutLine, cutRepeat);
}

reportDecode::result decodeReportTextPlain(const unsigned char* data, std::size_t size, mstr& text,
                                           std::size_t limit) {
  const unsigned char* p = data;
  const unsigned char* const end = data + size;
  const unsigned char* const stop = data + (limit < size ? limit : size);
  auto one = [&text](unsigned char c) { text.appendMultiByte(reinterpret_cast<const char*>(&c), 1, CP_OEMCP); };
  const int before = text.get_count();
  const unsigned char *cutLine = nullptr, *cutRepeat = nullptr;
  while (p < stop) {
    unsigned n = *p++;
    bool cut = static_cast<std::size_t>(end - p) < n;
    const unsigned char* lineEnd = cut ? end : p + n;
    for (const unsigned char* q = p; q < lineEnd; ++q) {
      unsigned b = *q;
      if (b >= 63 && b <= 127) {
        one(static_cast<unsigned char>(159 - b));
      } else if (b >= 128 && b <= 191) {
        for (unsigned k = b - 128; k; --k) text.append(u" ");
      } else if (b == kRepeat) {
        if (end - q < 3) {  // operands outside the report's bytes: the line ends
          cutRepeat = q;
          break;
        }
        mstr run;
        for (unsigned k = q[2]; k; --k) run.appendMultiByte(reinterpret_cast<const char*>(q + 1), 1, CP_OEMCP);
        text.append(run.c_str());  // up to its first 0 unit, as any text
        q += 2;
      } else {
        one(static_cast<unsigned char>(b));
      }
    }
    text.append(u"\n");
    if (cut) cutLine = p - 1;
    p = lineEnd;
    if (cut) break;
  }
  return finished(data, p, text.get_count() - before, cutLine, cutRepeat);
}
