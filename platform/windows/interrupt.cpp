// Interruptions of the process: Ctrl+C, Ctrl+Break and the closing of the
// console reach a handler on a thread of its own, which removes the files on
// the list and ends the process.
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "win32.h"

namespace {

std::mutex removalsLock;
std::vector<std::wstring>& removals() {
  static auto* paths = new std::vector<std::wstring>;  // outlives static destructors
  return *paths;
}

// The files are open with FILE_SHARE_DELETE: each is removed when the
// process's handles close, as it ends.
BOOL WINAPI removeAndEnd(DWORD event) {
  removalsLock.lock();  // kept: the list changes no more
  for (const std::wstring& path : removals()) DeleteFileW(path.c_str());
  ExitProcess(event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : 143);
}

}  // namespace

bool platform::removeOnInterrupt(const WCHAR* path, bool add) {
  static const bool handled = SetConsoleCtrlHandler(removeAndEnd, TRUE) != 0;
  (void)handled;
  try {
    std::lock_guard<std::mutex> guard(removalsLock);
    std::vector<std::wstring>& paths = removals();
    if (add) {
      paths.emplace_back(path);
      return true;
    }
    auto found = std::find(paths.begin(), paths.end(), std::wstring(path));
    if (found == paths.end()) return false;
    paths.erase(found);
    return true;
  } catch (...) {
    return false;
  }
}
