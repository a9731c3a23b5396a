#include "threads.h"

#include <bitset>

#include "win32.h"

unsigned processorCount() {
  DWORD_PTR mine = 0, all = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &mine, &all) || mine == 0) return 1;
  return static_cast<unsigned>(std::bitset<8 * sizeof mine>(mine).count());
}

unsigned decodingThreads(bool console, unsigned processors) {
  constexpr unsigned kMostThreads = 16;
  if (console) return 1;
  return processors < kMostThreads ? processors : kMostThreads;
}
