// Hints about how memory will be used.
#include <sys/mman.h>

#include <cstdint>

#include "win32.h"

void platform::preferLargePages(void* start, std::size_t bytes) {
  // Only whole large pages inside the block can be backed by one; the hint
  // is given for them and its result does not matter.
  constexpr std::uintptr_t kLargePage = 2u << 20;
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kLargePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}
