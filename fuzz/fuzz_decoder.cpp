// The report decoder on arbitrary bytes, checked against a plain decoder that
// follows the code table one byte at a time through the system conversion.
// Decoding expands input up to some 85 times: run with -max_len=65536.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "reportText.h"

namespace {

void appendByte(mstr& text, unsigned char byte) {
  text.appendMultiByte(reinterpret_cast<const char*>(&byte), 1, CP_OEMCP);
}

// Runs are built apart and added by their zero-terminated length, so a
// repeat of byte 0 adds nothing.
void plainDecode(const unsigned char* data, std::size_t size, mstr& text) {
  std::size_t p = 0;
  while (p < size) {
    std::size_t n = data[p++];
    bool cut = size - p < n;
    std::size_t lineEnd = cut ? size : p + n;
    for (std::size_t i = p; i < lineEnd; ++i) {
      unsigned b = data[i];
      mstr run;
      if (b >= 63 && b <= 127) {
        appendByte(text, static_cast<unsigned char>(159 - b));
      } else if (b >= 128 && b <= 191) {
        for (unsigned k = 128; k < b; ++k) run.append(u" ");
        text.append(run.c_str());
      } else if (b == 192) {
        if (size - i < 3) break;  // operands outside the bytes: the line ends
        for (unsigned k = 0; k < data[i + 2]; ++k) appendByte(run, data[i + 1]);
        text.append(run.c_str());
        i += 2;
      } else {
        appendByte(text, static_cast<unsigned char>(b));
      }
    }
    text.append(u"\n");
    if (cut) break;
    p = lineEnd;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  // Odd sizes decode after text already there, which must stay untouched.
  mstr fast, plain;
  if (size % 2) {
    fast.append(u"#");
    plain.append(u"#");
  }
  try {
    decodeReportText(data, size, fast);
  } catch (mEx&) {
    fast.clear();
    plain.clear();
    return 0;  // no memory for the text: the one failure the decoder has
  }
  plainDecode(data, size, plain);
  int n = fast.get_count();
  if (n != plain.get_count() || (n && std::memcmp(fast.get_data(), plain.get_data(), 2 * static_cast<size_t>(n)))) {
    int at = 0;
    while (at < n && at < plain.get_count() && fast.get_data()[at] == plain.get_data()[at]) ++at;
    std::fprintf(stderr, "decoded text differs at unit %d: %d units, plain decoding %d\n", at, n,
                 plain.get_count());
    std::abort();
  }
  // Emptied, so that a long text writes no size line when released.
  fast.clear();
  plain.clear();
  return 0;
}
