// The table of the decoding levels, and the choice among them.
//
// TARVIN_DECODE_X86 is set by the build where the AVX2 and AVX-512 files are
// compiled (x86 with gcc or clang); the processor check also asks whether the
// system saves the wider registers.
#include "reportDecode.h"

#include <cstring>

#include "levels.h"

namespace reportDecode {
namespace {

bool always() { return true; }

#if TARVIN_DECODE_X86
bool avx2Runs() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("popcnt");
}

bool avx512Runs() {
  return avx2Runs() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2");
}
#else
bool never() { return false; }
#endif

// Whether each level runs here, asked once.
struct processor {
  bool runs[kLevelCount];
  processor() {
    for (std::size_t i = 0; i < kLevelCount; ++i) runs[i] = kLevels[i].runs();
  }
};

const processor& here() {
  static const processor p;
  return p;
}

}  // namespace

const levelInfo kLevels[kLevelCount] = {
    {level::scalar, "scalar", always, scalar::decode, scalar::toUtf8},
#if TARVIN_DECODE_X86
    {level::avx2, "avx2", avx2Runs, avx2::decode, avx2::toUtf8},
    {level::avx512, "avx512", avx512Runs, avx512::decode, avx512::toUtf8},
#else
    {level::avx2, "avx2", never, nullptr, nullptr},
    {level::avx512, "avx512", never, nullptr, nullptr},
#endif
};

bool supported(level l) { return here().runs[static_cast<int>(l)]; }

namespace {

// The highest level at or below l that runs here.
level runningUpTo(level l) {
  while (!supported(l)) l = static_cast<level>(static_cast<int>(l) - 1);
  return l;
}

}  // namespace

level best() { return runningUpTo(kLevels[kLevelCount - 1].id); }

const char* name(level l) { return kLevels[static_cast<int>(l)].name; }

decoder select(level l) {
  const levelInfo& chosen = kLevels[static_cast<int>(runningUpTo(l))];
  return decoder{chosen.decode, chosen.utf8};
}

utf8Table makeUtf8Table(const unsigned char* length, const unsigned char* first, const unsigned char* second,
                        const unsigned char* third) {
  utf8Table t{};
  std::memcpy(t.length, length, 256);
  std::memcpy(t.first, first, 256);
  std::memcpy(t.second, second, 256);
  std::memcpy(t.third, third, 256);
  t.asciiAsIs = true;
  for (unsigned b = 0; b < 256; ++b) {
    const unsigned char bytes[4] = {first[b], second[b], third[b], length[b]};
    std::memcpy(&t.word[b], bytes, 4);
    if (b < 128) t.asciiAsIs = t.asciiAsIs && length[b] == 1 && first[b] == b;
  }
  return t;
}

}  // namespace reportDecode
