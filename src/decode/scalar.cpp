// The scalar level: the line loop, one code at a time, and UTF-8 one byte
// at a time; it runs everywhere.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "levels.h"
#include "lineCodes.h"
#include "reportDecode.h"

namespace reportDecode {
namespace scalar {

#include "lineLoop.inc"

result decode(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room) {
  return decodeLines(data, size, out, room);
}

// The three bytes of each are stored and the output moves on by its length,
// so nothing is written past 3 bytes a byte.
std::size_t toUtf8(const unsigned char* in, std::size_t count, unsigned char* out, const utf8Table& table) {
  unsigned char* o = out;
  for (const unsigned char* const end = in + count; in != end; ++in) {
    const unsigned c = *in;
    o[0] = table.first[c];
    o[1] = table.second[c];
    o[2] = table.third[c];
    o += table.length[c];
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace scalar
}  // namespace reportDecode
