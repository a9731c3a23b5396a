// The report decoder on arbitrary bytes, checked against the plain decoding
// that follows the code table one byte at a time through the system
// conversion.
// Decoding expands input up to some 85 times: run with -max_len=65536.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "reportText.h"

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
  decodeReportTextPlain(data, size, plain);
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
