// FindFirstFileW, FindNextFileW and FindClose. A search reads the whole
// directory at once, keeps the names that match the last component of the
// pattern as Windows matches it, and hands them out in a fixed order: "." and
// ".." first, as Windows does, then the rest by name.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <vector>

#include "posix/internal.h"
#include "wildcard.h"

namespace platform::posix {
namespace {

struct FoundEntry {
  std::u16string name;
  DWORD attributes = 0;
  std::uint64_t size = 0;
  FILETIME created{}, accessed{}, written{};
};

struct SearchObject : HandleObject {
  SearchObject() : HandleObject(HandleKind::search) {}
  std::vector<FoundEntry> entries;
  std::size_t next = 0;
};

using platform::foldCase;

bool hasWildcard(std::u16string_view pattern) {
  return pattern.find_first_of(u"*?") != std::u16string_view::npos;
}

// Deterministic name order: folded units first, then the units themselves.
bool nameBefore(const FoundEntry& a, const FoundEntry& b) {
  const std::size_t common = std::min(a.name.size(), b.name.size());
  for (std::size_t i = 0; i < common; ++i) {
    const char16_t x = foldCase(a.name[i]), y = foldCase(b.name[i]);
    if (x != y) return x < y;
  }
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  return a.name < b.name;
}

// Fills what the search tells of an entry from its own information and, for
// a link, that of what it leads to (null when it leads nowhere). A link is
// described by its target, plus the reparse-point mark; a broken link is
// only that mark.
void describe(const struct stat& link, const struct stat* target, FoundEntry* entry) {
  const struct stat* info = &link;
  DWORD attributes = 0;
  if (S_ISLNK(link.st_mode)) {
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    info = target;
  }
  if (info != nullptr && S_ISDIR(info->st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  entry->attributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
  if (info == nullptr) info = &link;
  entry->size = S_ISREG(info->st_mode) ? static_cast<std::uint64_t>(info->st_size) : 0;
  entry->created = fileTime(info->st_ctim);
  entry->accessed = fileTime(info->st_atim);
  entry->written = fileTime(info->st_mtim);
}

// Fills what the search tells of a name (relative to dirFd). False when the
// entry is gone.
bool describe(int dirFd, const char* name, FoundEntry* entry) {
  struct stat link, target;
  if (sys.fstatat(dirFd, name, &link, AT_SYMLINK_NOFOLLOW) != 0) return false;
  const bool followed = S_ISLNK(link.st_mode) && sys.fstatat(dirFd, name, &target, 0) == 0;
  describe(link, followed ? &target : nullptr, entry);
  return true;
}

bool fitsFindData(const std::u16string& name) { return name.size() < MAX_PATH; }

void fillFindData(const FoundEntry& entry, WIN32_FIND_DATAW* data) {
  *data = WIN32_FIND_DATAW{};
  data->dwFileAttributes = entry.attributes;
  data->ftCreationTime = entry.created;
  data->ftLastAccessTime = entry.accessed;
  data->ftLastWriteTime = entry.written;
  data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(entry.size);
  std::copy(entry.name.begin(), entry.name.end(), data->cFileName);
}

// Whether two names are the same but for letter case, as the names of one
// directory are told apart on Windows.
bool sameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (foldCase(a[i]) != foldCase(b[i])) return false;
  return true;
}

// Whether a listed entry of this type may be a directory: a link may lead
// to one, and some file systems do not tell the type in the listing.
bool mayBeDirectory(unsigned char type) { return type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN; }

// The entries of an open directory, which it closes. On Linux they come
// straight from the system in blocks: fdopendir would first spend three calls
// on checking the descriptor, for each directory a walk lists.
#if defined(__linux__)
class directoryReader {
 public:
  explicit directoryReader(int fd) : fd_(fd) {}
  ~directoryReader() { sys.close(fd_); }
  directoryReader(const directoryReader&) = delete;
  directoryReader& operator=(const directoryReader&) = delete;
  int fd() const { return fd_; }
  // The next entry; null at the end (errno 0) or on a failure (errno set).
  const dirent64* next() {
    if (at_ == filled_) {
      const ssize_t got = sys.getdents64(fd_, buffer_, sizeof buffer_);
      if (got <= 0) {
        if (got == 0) errno = 0;
        return nullptr;
      }
      filled_ = static_cast<std::size_t>(got);
      at_ = 0;
    }
    const auto* entry = reinterpret_cast<const dirent64*>(buffer_ + at_);
    at_ += entry->d_reclen;
    return entry;
  }

 private:
  int fd_;
  std::size_t at_ = 0, filled_ = 0;
  alignas(dirent64) char buffer_[32 * 1024];
};
#else
class directoryReader {
 public:
  explicit directoryReader(int fd) : fd_(fd), dir_(fdopendir(fd)), error_(dir_ ? 0 : errno) {}
  ~directoryReader() {
    if (dir_ != nullptr) closedir(dir_);
    else sys.close(fd_);
  }
  directoryReader(const directoryReader&) = delete;
  directoryReader& operator=(const directoryReader&) = delete;
  int fd() const { return fd_; }
  const dirent* next() {
    errno = error_;
    return dir_ != nullptr ? readdir(dir_) : nullptr;
  }

 private:
  int fd_;
  DIR* dir_;
  int error_;
};
#endif

// The entries of directory that match pattern (or, when literal, whose name
// is the pattern but for letter case), in delivery order; only directories
// when directoriesOnly, so that no other entry costs a call to the system.
// Returns false with the last error set when the directory cannot be read.
bool scanDirectory(const std::string& directory, std::u16string_view pattern,
                   std::vector<FoundEntry>* found, bool directoriesOnly, bool literal = false) {
  const int fd = longPath(directory).open(O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    // As on Windows, a missing directory is a missing path, not a missing
    // file, and one that is a file is no directory name.
    struct stat info;
    if (error == ENOTDIR && longPath(directory).stat(&info, 0) == 0 && !S_ISDIR(info.st_mode))
      SetLastError(ERROR_DIRECTORY);
    else
      SetLastError(error == ENOENT ? ERROR_PATH_NOT_FOUND : errorFromErrno(error));
    return false;
  }
  directoryReader dir(fd);
  bool dot = false, dotDot = false;
  std::vector<FoundEntry> others;
  while (const auto* item = dir.next()) {
    if (directoriesOnly && !mayBeDirectory(item->d_type)) continue;
    FoundEntry entry;
    entry.name = fromNative(item->d_name, std::strlen(item->d_name));
    if (!fitsFindData(entry.name) || !(literal ? sameName(entry.name, pattern) : matchesWildcard(entry.name, pattern)))
      continue;
    if (entry.name == u".") {
      dot = true;
    } else if (entry.name == u"..") {
      dotDot = true;
    } else if (describe(dir.fd(), item->d_name, &entry) &&
               (!directoriesOnly || (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
      others.push_back(std::move(entry));
    }
  }
  if (const int error = errno; error != 0) {
    SetLastError(errorFromErrno(error));
    return false;
  }
  for (const char* name : {".", ".."}) {
    FoundEntry entry;
    entry.name = fromNative(name, std::strlen(name));
    if ((name[1] == 0 ? dot : dotDot) && describe(dir.fd(), name, &entry)) {
      found->push_back(std::move(entry));
    }
  }
  std::sort(others.begin(), others.end(), nameBefore);
  std::move(others.begin(), others.end(), std::back_inserter(*found));
  return true;
}

// A name without wildcards usually names one entry exactly: look it up
// directly instead of reading a directory that may be large.
bool findExact(const std::string& path, std::u16string_view name, std::vector<FoundEntry>* found,
               bool directoriesOnly) {
  FoundEntry entry;
  entry.name = name;
  const longPath at(path);
  if (!fitsFindData(entry.name) || !at.reached() || !describe(at.directory(), at.name(), &entry))
    return false;
  if (directoriesOnly && (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return true;
  found->push_back(std::move(entry));
  return true;
}

}  // namespace

// The directory of a search path and its last component ("." for a bare
// name, "/" for a name right under the root). False, with the error of a
// search that finds nothing, when the last component is empty.
bool splitSearchPath(const std::u16string& whole, std::u16string& directory, std::u16string& name) {
  const std::size_t slash = whole.rfind(u'/');
  directory = slash == std::u16string::npos ? u"." : slash == 0 ? u"/" : whole.substr(0, slash);
  name = whole.substr(slash == std::u16string::npos ? 0 : slash + 1);
  if (name.empty()) SetLastError(ERROR_FILE_NOT_FOUND);
  return !name.empty();
}

}  // namespace platform::posix

using platform::matchesWildcard;
using namespace platform::posix;

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  return FindFirstFileExW(pattern, FindExInfoStandard, data, FindExSearchNameMatch, nullptr, 0);
}

HANDLE FindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID found, FINDEX_SEARCH_OPS op,
                        LPVOID filter, DWORD /*flags*/) {
  auto* data = static_cast<LPWIN32_FIND_DATAW>(found);
  const bool knownLevel = level == FindExInfoStandard || level == FindExInfoBasic;
  const bool knownOp = op == FindExSearchNameMatch || op == FindExSearchLimitToDirectories;
  if (pattern == nullptr || data == nullptr || !knownLevel || !knownOp || filter != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const bool directoriesOnly = op == FindExSearchLimitToDirectories;
  try {
    const std::u16string whole(pattern);
    std::u16string directory, name;
    if (!splitSearchPath(whole, directory, name)) return INVALID_HANDLE_VALUE;

    auto search = std::make_unique<SearchObject>();
    const bool exact = !hasWildcard(name) && findExact(toNative(pattern), name, &search->entries, directoriesOnly);
    if (!exact && !scanDirectory(toNative(directory.c_str()), name, &search->entries, directoriesOnly)) {
      return INVALID_HANDLE_VALUE;
    }
    if (search->entries.empty()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    fillFindData(search->entries[0], data);
    search->next = 1;
    HANDLE handle = registerHandle(search.release());
    return handle != nullptr ? handle : INVALID_HANDLE_VALUE;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
}

BOOL FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data) {
  auto* object = static_cast<SearchObject*>(findHandle(search, HandleKind::search));
  if (object == nullptr) return FALSE;
  if (data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (object->next >= object->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  fillFindData(object->entries[object->next++], data);
  return TRUE;
}

BOOL FindClose(HANDLE search) {
  HandleObject* object = unregisterHandle(search, HandleKind::search);
  if (object == nullptr) return FALSE;
  delete object;
  return TRUE;
}

bool platform::findEntry(const WCHAR* path, WIN32_FIND_DATAW* data) {
  if (path == nullptr || data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  try {
    const std::u16string whole(path);
    std::u16string directory, name;
    if (!splitSearchPath(whole, directory, name)) return false;
    // The name as written, else the one of its directory that differs from
    // it only in letter case, as Windows finds it; stat follows links, so a
    // link whose target is gone is no entry (a link that cannot be followed
    // for another reason, a loop, is one: opening it tells why it fails).
    std::vector<FoundEntry> found;
    struct stat link, target;
    const std::string native = toNative(path);
    const longPath at(native);
    // Whether the path as written names an entry, and if not, why.
    bool named = at.stat(&link, AT_SYMLINK_NOFOLLOW) == 0;
    int why = named ? 0 : errno;
    if (named) {
      const bool isLink = S_ISLNK(link.st_mode);
      const bool followed = isLink && at.stat(&target, 0) == 0;
      if (isLink && !followed && errno == ENOENT) {
        named = false;
        why = ENOENT;
      }
      FoundEntry entry;
      entry.name = name;
      if (named && fitsFindData(entry.name) && at.reached()) {
        describe(link, followed ? &target : nullptr, &entry);
        found.push_back(std::move(entry));
      }
    }
    if (!named && why == ENOENT) {
      std::vector<FoundEntry> alike;
      if (scanDirectory(toNative(directory.c_str()), name, &alike, false, true)) {
        for (FoundEntry& entry : alike) {
          const std::string other = toNative((directory + u'/' + entry.name).c_str());
          if (longPath(other).stat(&target, 0) == 0) {
            found.push_back(std::move(entry));
            break;
          }
        }
      }
    }
    if (found.empty()) {
      SetLastError(errorFromErrno(ENOENT, native));
      return false;
    }
    fillFindData(found.front(), data);
    return true;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}
