// Hints about how memory will be used.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "posix/internal.h"

using platform::posix::sys;

void platform::preferLargePages(void* start, std::size_t bytes) {
  // Only whole large pages inside the block can be backed by one; the hint
  // is given for them and its result does not matter.
  constexpr std::uintptr_t kLargePage = 2u << 20;
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kLargePage - 1);
  if (end > begin) sys.madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void platform::releaseMappedPages(const void* start, std::size_t bytes) {
  // Only pages wholly inside: the others may hold bytes still to be read.
  static const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(start) + page - 1) & ~(page - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(page - 1);
  if (end > begin) sys.madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}
