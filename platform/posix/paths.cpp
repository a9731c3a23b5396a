// GetCurrentDirectoryW and GetFullPathNameW, and the way the layer reaches
// paths longer than the system takes in one call.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "posix/internal.h"

namespace platform::posix {

namespace {

// Opens a directory only to go on from it: no read permission needed, as
// for a directory on the way of a whole path.
#if defined(O_PATH)
constexpr int kWayFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#elif defined(O_SEARCH)
constexpr int kWayFlags = O_SEARCH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kWayFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

}  // namespace

longPath::longPath(const std::string& path) : fd_(AT_FDCWD), name_(path.c_str()) {
  std::size_t at = 0;
  while (path.size() - at >= PATH_MAX) {
    // The longest piece that ends before a separator and fits in one call
    // ("/" alone for the root); a component that is longer alone cannot be
    // named at all.
    const std::size_t end = path.rfind('/', at + PATH_MAX - 1);
    int next = -1;
    if (end == std::string::npos || end < at) {
      errno = ENAMETOOLONG;
    } else {
      const std::string piece = end == at ? std::string("/") : path.substr(at, end - at);
      next = sys.openat(fd_, piece.c_str(), kWayFlags, 0);
    }
    if (fd_ != AT_FDCWD) {
      const int error = errno;
      sys.close(fd_);
      errno = error;
    }
    if (next < 0) {
      error_ = errno;
      fd_ = -1;
      name_ = "";
      return;
    }
    fd_ = next;
    at = end + 1;
    while (at < path.size() && path[at] == '/') ++at;  // the rest stays relative
  }
  name_ = at < path.size() ? path.c_str() + at : ".";
}

longPath::~longPath() {
  if (fd_ < 0) return;
  const int error = errno;  // what the call through it failed with
  sys.close(fd_);
  errno = error;
}

int longPath::open(int flags, mode_t mode) const {
  if (error_ != 0) {
    errno = error_;
    return -1;
  }
  return sys.openat(fd_, name_, flags, mode);
}

int longPath::makeDirectory(mode_t mode) const {
  if (error_ != 0) {
    errno = error_;
    return -1;
  }
  return sys.mkdirat(fd_, name_, mode);
}

int longPath::stat(struct stat* info, int flags) const {
  if (error_ != 0) {
    errno = error_;
    return -1;
  }
  return sys.fstatat(fd_, name_, info, flags);
}

}  // namespace platform::posix

using namespace platform::posix;

namespace {

// The current directory in UTF-16; false with the last error set on failure
// (for instance when the directory has been removed).
bool currentDirectory(std::u16string* out) {
  std::string buffer(256, '\0');
  for (;;) {
    if (sys.getcwd(&buffer[0], buffer.size()) != nullptr) {
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
