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
#include "utf8Loop.inc"

result decode(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room) {
  return decodeLines(data, size, out, room);
}

std::size_t toUtf8(const unsigned char* in, std::size_t count, unsigned char* out, const utf8Table& table) {
  return static_cast<std::size_t>(utf8ByByte(in, count, out, table) - out);
}

}  // namespace scalar
}  // namespace reportDecode
