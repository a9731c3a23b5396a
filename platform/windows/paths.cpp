// The "\\?\" form of the paths a directory walk finds.
#include <string>

#include "win32.h"

namespace platform {

std::wstring walkRoot(const WCHAR* directory) {
  const DWORD size = GetFullPathNameW(directory, 0, nullptr, nullptr);
  if (size == 0) return std::wstring();
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(directory, size, &full[0], nullptr);
  if (length == 0 || length >= size) return std::wstring();
  full.resize(length);
  while (full.size() > 1 && full.back() == L'\\') full.pop_back();
  // Already in a form the system takes as it is: "\\?\..." or a device "\\.\...".
  if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) return full;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace platform
