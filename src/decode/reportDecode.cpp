// The table of the decoding levels, and the choice among them.
//
// TARVIN_DECODE_X86 is set by the build where the AVX2 and AVX-512 files are
// compiled (x86 with gcc or clang); the processor check also asks whether the
// system saves the wider registers.
#include "reportDecode.h"

#include <cstring>

#include "levels.h"
#include "lineCodes.h"

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

result check(const unsigned char* data, std::size_t size, std::size_t most) {
  // A line that begins further than this before the end ends with its last
  // code's operands more than two bytes before it, so neither it nor a
  // repeat of it is cut.
  constexpr std::size_t kTailReach = 1 + 255 + 2;
  const unsigned char* p = data;
  const unsigned char* const end = data + size;
  const unsigned char* const tail = size > kTailReach ? end - kTailReach : data;
  const unsigned char* const stop = data + (most < size ? most : size);
  result r{0, 0, damage::none, 0};
  while (p < tail) {
    if (p >= stop && p > data) {
      r.consumed = static_cast<std::size_t>(p - data);
      return r;
    }
    p += 1 + *p;
  }
  // The last lines, code by code, as far as a repeat whose operands are
  // not both before the end, or a line that runs past it.
  while (p < end) {
    const std::size_t n = *p;
    const bool cut = static_cast<std::size_t>(end - p - 1) < n;
    const unsigned char* const lineEnd = cut ? end : p + 1 + n;
    for (const unsigned char* q = p + 1; q < lineEnd;) {
      if (*q != kRepeat) {
        ++q;
      } else if (end - q < 3) {
        r.damaged = damage::repeatCut;
        r.damagedAt = static_cast<std::size_t>(q - data);
        break;
      } else {
        q += 3;
      }
    }
    if (cut) {
      r.damaged = damage::lineCut;
      r.damagedAt = static_cast<std::size_t>(p - data);
      break;
    }
    p = lineEnd;
  }
  r.consumed = size;
  return r;
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
