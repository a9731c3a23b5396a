// What the process may use of the machine: its processors and a clock; its
// id.
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include "posix/internal.h"

HANDLE GetCurrentProcess() {
  // The pseudo handle of the calling process, the same value as on Windows.
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

BOOL GetProcessAffinityMask(HANDLE process, PDWORD_PTR processMask, PDWORD_PTR systemMask) {
  if (process != GetCurrentProcess() || processMask == nullptr || systemMask == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  DWORD_PTR mask = 0;
  for (unsigned cpu = 0; cpu < 8 * sizeof mask; ++cpu)
    if (CPU_ISSET(cpu, &set)) mask |= DWORD_PTR{1} << cpu;
  *processMask = mask;
  *systemMask = mask;
  return TRUE;
}

ULONGLONG GetTickCount64() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<ULONGLONG>(now.tv_sec) * 1000u + static_cast<ULONGLONG>(now.tv_nsec) / 1000000u;
}
