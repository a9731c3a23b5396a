// Decoding of report codes straight into OEM bytes. (Stand-in until the
// levels land: scalar only.)
#ifndef TARVIN_REPORTDECODE_H
#define TARVIN_REPORTDECODE_H

#include <cstddef>

namespace reportDecode {

enum class level : int { scalar = 0, avx2 = 1, avx512 = 2 };
level best();
bool supported(level l);
const char* name(level l);

constexpr std::size_t kSlack = 256;
constexpr std::size_t kLineRoom = 85 * 255 + 255 + 1 + kSlack;

struct result {
  std::size_t consumed;
  std::size_t produced;
};

result decode(level l, const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room);

}  // namespace reportDecode

#endif  // TARVIN_REPORTDECODE_H
