#include "reportDecode.h"

#include <cstring>

namespace reportDecode {

level best() { return level::scalar; }
bool supported(level l) { return l == level::scalar; }
const char* name(level l) { return l == level::avx512 ? "avx512" : l == level::avx2 ? "avx2" : "scalar"; }

result decode(level, const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room) {
  const unsigned char* p = data;
  const unsigned char* const end = data + size;
  unsigned char* o = out;
  while (p < end && static_cast<std::size_t>(out + room - o) >= kLineRoom) {
    unsigned n = *p++;
    bool cut = static_cast<std::size_t>(end - p) < n;
    const unsigned char* lineEnd = cut ? end : p + n;
    for (const unsigned char* q = p; q < lineEnd; ++q) {
      unsigned b = *q;
      if (b >= 63 && b <= 127) {
        *o++ = static_cast<unsigned char>(159 - b);
      } else if (b >= 128 && b <= 191) {
        std::memset(o, ' ', b - 128);
        o += b - 128;
      } else if (b == 192) {
        if (end - q < 3) break;
        if (q[1]) {
          std::memset(o, q[1], q[2]);
          o += q[2];
        }
        q += 2;
      } else {
        *o++ = static_cast<unsigned char>(b);
      }
    }
    *o++ = '\n';
    if (cut) {
      p = end;
      break;
    }
    p = lineEnd;
  }
  return {static_cast<std::size_t>(p - data), static_cast<std::size_t>(o - out)};
}

}  // namespace reportDecode
