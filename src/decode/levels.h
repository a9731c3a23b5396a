// The decoder and the UTF-8 conversion of each level, in the namespace of
// its instruction set.
//
// A level's file is compiled for its instruction set, and everything it
// builds lies in that namespace: the line loop and the window loop are
// included into it (lineLoop.inc, windowLoop.inc), so that each level has
// its own copy under its own name and none can stand in for another's at
// link time. Level files use nothing else that the compiler might build out
// of line, beyond the builtins memcpy and memset and the template lineCodes
// with types of their own.
#ifndef TARVIN_DECODE_LEVELS_H
#define TARVIN_DECODE_LEVELS_H

#include <cstddef>

#include "reportDecode.h"

namespace reportDecode {

namespace scalar {
result decode(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room);
std::size_t toUtf8(const unsigned char* in, std::size_t count, unsigned char* out, const utf8Table& table);
}
namespace avx2 {
result decode(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room);
std::size_t toUtf8(const unsigned char* in, std::size_t count, unsigned char* out, const utf8Table& table);
}
namespace avx512 {
result decode(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room);
std::size_t toUtf8(const unsigned char* in, std::size_t count, unsigned char* out, const utf8Table& table);
}

}  // namespace reportDecode

#endif  // TARVIN_DECODE_LEVELS_H
