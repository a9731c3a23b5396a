// The scalar level: the line loop, one code at a time; it runs everywhere.
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

}  // namespace scalar
}  // namespace reportDecode
