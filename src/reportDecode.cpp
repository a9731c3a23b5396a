// The dispatch between the levels, and the scalar level.
//
// TARVIN_DECODE_X86 is set by the build where the AVX2 and AVX-512 files are
// compiled (x86 with gcc or clang); the processor check also asks whether the
// system saves the wider registers.
#include "reportDecode.h"

#include "reportDecode_common.h"

namespace reportDecode {

result decodeScalar(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room) {
  return decodeLines(data, size, out, room);
}

bool supported(level l) {
  switch (l) {
    case level::scalar:
      return true;
#if TARVIN_DECODE_X86
    case level::avx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
             __builtin_cpu_supports("popcnt");
    case level::avx512:
      __builtin_cpu_init();
      return supported(level::avx2) && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi2");
#endif
    default:
      return false;
  }
}

level best() {
  if (supported(level::avx512)) return level::avx512;
  if (supported(level::avx2)) return level::avx2;
  return level::scalar;
}

const char* name(level l) {
  switch (l) {
    case level::avx2:
      return "avx2";
    case level::avx512:
      return "avx512";
    default:
      return "scalar";
  }
}

decoder select(level l) {
  while (static_cast<int>(l) > 0 && !supported(l)) l = static_cast<level>(static_cast<int>(l) - 1);
  switch (l) {
#if TARVIN_DECODE_X86
    case level::avx512:
      return decodeAvx512;
    case level::avx2:
      return decodeAvx2;
#endif
    default:
      return decodeScalar;
  }
}

}  // namespace reportDecode
