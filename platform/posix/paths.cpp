// GetCurrentDirectoryW and GetFullPathNameW.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "posix/internal.h"

using namespace platform::posix;

namespace {

// The current directory in UTF-16; false with the last error set on failure
// (for instance when the directory has been removed).
bool currentDirectory(std::u16string* out) {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(&buffer[0], buffer.size()) != nullptr) {
      *out = fromNative(buffer.c_str(), std::strlen(buffer.c_str()));
      return true;
    }
    if (errno != ERANGE) {
      SetLastError(errorFromErrno(errno));
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// How both functions hand back a text: when the buffer cannot hold it with
// its terminator, the size it needs (terminator included); otherwise the text
// and its length (terminator excluded).
DWORD deliver(const std::u16string& text, DWORD size, LPWSTR buffer) {
  if (buffer == nullptr || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = 0;
  return static_cast<DWORD>(text.size());
}

// The absolute form of an absolute path, worked out from the text alone:
// empty and "." components dropped, ".." taking away the one before it (and
// nothing at the root). A final separator stays, as on Windows.
std::u16string normalise(const std::u16string& path) {
  std::vector<std::u16string_view> parts;
  const std::u16string_view text(path);
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'/', start);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view part = text.substr(start, end - start);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::u16string result;
  for (const std::u16string_view part : parts) {
    result += u'/';
    result += part;
  }
  if (result.empty() || path.back() == u'/') result += u'/';
  return result;
}

}  // namespace

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
  try {
    std::u16string directory;
    if (!currentDirectory(&directory)) return 0;
    return deliver(directory, size, buffer);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* filePart) {
  if (name == nullptr || name[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  try {
    std::u16string path(name);
    if (path[0] != u'/') {
      std::u16string directory;
      if (!currentDirectory(&directory)) return 0;
      path = directory + u'/' + path;
    }
    const std::u16string full = normalise(path);
    const DWORD result = deliver(full, size, buffer);
    if (filePart != nullptr && result == full.size()) {
      // The last component, or nothing when the path ends in a separator.
      const std::size_t last = full.rfind(u'/') + 1;
      *filePart = last < full.size() ? buffer + last : nullptr;
    }
    return result;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}
