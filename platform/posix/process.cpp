// What the process may use of the machine: its processors and a clock; its
// id, and how an interruption ends it.
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

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

namespace {

// The files an interruption removes, as the system's bytes; null where free.
std::atomic<char*> removals[16];
// Who has the list: no one (0), a thread changing it (1), the handler, which
// ends the process (2). The changing thread has the signals blocked, so the
// handler never waits for the thread it runs on.
std::atomic<int> removalsHeld{0};

// Takes the list as `holder`; returns only if the process is not ending.
void holdRemovals(int holder) {
  int free = 0;
  while (!removalsHeld.compare_exchange_weak(free, holder)) {
    if (free == 2) {
      for (;;) pause();  // the handler, on another thread, ends the process
    }
    free = 0;
  }
}

extern "C" void removeAndEnd(int signal) {
  holdRemovals(2);
  for (std::atomic<char*>& slot : removals)
    if (const char* path = slot.load()) unlink(path);
  _exit(128 + signal);
}

sigset_t interruptions() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

bool handleInterruptions() {
  struct sigaction action {};
  action.sa_handler = removeAndEnd;
  action.sa_mask = interruptions();
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);
  }
  return true;
}

}  // namespace

bool platform::removeOnInterrupt(const WCHAR* path, bool add) {
  static const bool handled = handleInterruptions();
  (void)handled;
  std::string native;
  try {
    native = platform::posix::toNative(path);
  } catch (const std::bad_alloc&) {
    return false;
  }
  char* copy = add ? strdup(native.c_str()) : nullptr;
  if (add && copy == nullptr) return false;
  const sigset_t blocked = interruptions();
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &blocked, &before);
  holdRemovals(1);
  char* released = copy;  // what is not on the list afterwards
  for (std::atomic<char*>& slot : removals) {
    char* held = slot.load();
    if (add ? held != nullptr : held == nullptr || std::strcmp(held, native.c_str()) != 0) continue;
    slot.store(copy);
    released = held;
    break;
  }
  removalsHeld.store(0);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  std::free(released);
  return add ? released == nullptr : released != nullptr;
}
