// File handles, the standard handles, reading and writing, directories made,
// read-only mappings of whole files, and names looked at, removed and renamed.
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

#include "posix/internal.h"

namespace platform::posix {
namespace {

struct FileObject : HandleObject {
  explicit FileObject(int descriptor) : HandleObject(HandleKind::file), fd(descriptor) {}
  ~FileObject() override { sys.close(fd); }
  const int fd;
};

// A mapping keeps its own descriptor, so it outlives the file handle it was
// made from, and its length: the maximum it was made with, or else the size
// the file had then. Every view of it is that long.
struct MappingObject : HandleObject {
  MappingObject(int descriptor, std::uint64_t bytes)
      : HandleObject(HandleKind::mapping), fd(descriptor), size(bytes) {}
  ~MappingObject() override { sys.close(fd); }
  const int fd;
  const std::uint64_t size;
};

// fd 0, 1 or 2. Whether it is a terminal is asked once, on the first write.
// The constructor is constexpr so that the three objects below exist before
// any other static object of the program can ask for them.
struct StandardObject : HandleObject {
  constexpr explicit StandardObject(int descriptor)
      : HandleObject(HandleKind::standard), fd(descriptor) {}
  bool isTerminal() {
    int known = terminal.load(std::memory_order_relaxed);
    if (known < 0) {
      known = sys.isatty(fd) ? 1 : 0;
      terminal.store(known, std::memory_order_relaxed);
    }
    return known == 1;
  }
  const int fd;
  std::atomic<int> terminal{-1};
  // The process was started without this stream (see markStandardStreamMissing).
  std::atomic<bool> missing{false};
};

StandardObject standardInput{0};
StandardObject standardOutput{1};
StandardObject standardError{2};

constexpr UINT oemCodePage = 866;
std::atomic<UINT> consoleCodePage{oemCodePage};

}  // namespace

void markStandardStreamMissing(int fd) {
  StandardObject* object = fd == 0 ? &standardInput : fd == 1 ? &standardOutput : fd == 2 ? &standardError : nullptr;
  if (object) object->missing.store(true, std::memory_order_relaxed);
}

namespace {

bool isStandard(HANDLE handle) {
  return handle == &standardInput || handle == &standardOutput || handle == &standardError;
}

// Handles given out and not yet closed. A handle is only ever looked up here
// before it is used, so a stale or made-up value is refused, not followed.
std::mutex handlesLock;
std::unordered_set<HANDLE>& liveHandles() {
  static auto* handles = new std::unordered_set<HANDLE>;  // outlives static destructors
  return *handles;
}

// The descriptor behind a handle that can be read, written or examined.
int descriptorOf(HANDLE handle) {
  if (isStandard(handle)) return static_cast<StandardObject*>(handle)->fd;
  if (HandleObject* object = findHandle(handle, HandleKind::file)) {
    return static_cast<FileObject*>(object)->fd;
  }
  return -1;
}

bool fail(DWORD code) {
  SetLastError(code);
  return false;
}

std::uint64_t sizeOf(const struct stat& info) {
  return S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
}

// A FIFO, a socket or a device is no file that can be replaced: a device
// of its own kind.
DWORD attributesOf(const struct stat& info) {
  return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : S_ISREG(info.st_mode) ? FILE_ATTRIBUTE_NORMAL
                                                                                  : FILE_ATTRIBUTE_DEVICE;
}

}  // namespace

FILETIME fileTime(const struct timespec& time) {
  constexpr std::int64_t secondsFrom1601To1970 = 11644473600LL;
  const std::int64_t ticks =
      (static_cast<std::int64_t>(time.tv_sec) + secondsFrom1601To1970) * 10000000LL +
      time.tv_nsec / 100;
  const auto value = static_cast<std::uint64_t>(ticks < 0 ? 0 : ticks);
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

HANDLE registerHandle(HandleObject* object) {
  try {
    std::lock_guard<std::mutex> guard(handlesLock);
    liveHandles().insert(object);
    return object;
  } catch (const std::bad_alloc&) {
    delete object;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

HandleObject* findHandle(HANDLE handle, HandleKind kind) {
  if (kind == HandleKind::standard && isStandard(handle)) {
    return static_cast<HandleObject*>(handle);
  }
  {
    std::lock_guard<std::mutex> guard(handlesLock);
    if (liveHandles().count(handle) != 0) {
      auto* object = static_cast<HandleObject*>(handle);
      if (object->kind == kind) return object;
    }
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

HandleObject* unregisterHandle(HANDLE handle, HandleKind kind) {
  {
    std::lock_guard<std::mutex> guard(handlesLock);
    auto found = liveHandles().find(handle);
    if (found != liveHandles().end() && static_cast<HandleObject*>(handle)->kind == kind) {
      liveHandles().erase(found);
      return static_cast<HandleObject*>(handle);
    }
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

}  // namespace platform::posix

using namespace platform::posix;

namespace {

// Opened for its information alone (access 0): a FIFO or device is not
// opened itself, and with O_NOFOLLOW a link opens as itself.
#if defined(O_PATH)
constexpr int kInformationOnly = O_PATH;
#else
constexpr int kInformationOnly = O_RDONLY | O_NONBLOCK;
#endif

// The open(2) flags of an access, a disposition and the flags of
// CreateFileW; false for a pair the layer does not offer.
bool openFlags(DWORD access, DWORD disposition, DWORD createFlags, int* flags) {
  if (access == GENERIC_READ && disposition == OPEN_EXISTING) {
    // O_NONBLOCK: opening a FIFO without a writer, or a device, must not
    // wait, unless asked to.
    *flags = (createFlags & platform::openWaitsForWriter) ? O_RDONLY : O_RDONLY | O_NONBLOCK;
  } else if (access == 0 && disposition == OPEN_EXISTING) {
    *flags = kInformationOnly;
  } else if (access == GENERIC_WRITE && disposition == OPEN_EXISTING) {
    // O_NONBLOCK: a FIFO without a reader is refused (ENXIO), not waited
    // for; writes wait as usual (see blockingWrites).
    *flags = O_WRONLY | O_NONBLOCK;
  } else if (access == GENERIC_WRITE && disposition == CREATE_NEW) {
    *flags = O_WRONLY | O_CREAT | O_EXCL;
  } else if (access == GENERIC_WRITE && disposition == CREATE_ALWAYS) {
    *flags = O_WRONLY | O_CREAT | O_TRUNC;
  } else {
    return false;
  }
  *flags |= O_CLOEXEC | O_NOCTTY;
  return true;
}

// A handle opened for writing without waiting for a FIFO's reader then
// writes as any other: each write waits until it is taken.
void blockingWrites(int fd, int openedWith) {
  if ((openedWith & O_ACCMODE) != O_WRONLY || (openedWith & O_NONBLOCK) == 0) return;
  const int status = sys.fcntl(fd, F_GETFL, 0);
  if (status != -1) sys.fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
}

// Opens the file; -1 with errno set on failure. CREATE_ALWAYS tells in
// *existed whether the name was taken, as Windows does by the last error: a
// new file is tried first, then the existing one emptied.
int openFile(const std::string& path, int flags, bool* existed) {
  const longPath where(path);
  const mode_t mode = 0666;  // less the umask, as any program creates files
  *existed = false;
  if ((flags & O_TRUNC) == 0) return where.open(flags, mode);
  const int fd = where.open((flags & ~O_TRUNC) | O_EXCL, mode);
  if (fd >= 0 || errno != EEXIST) return fd;
  *existed = true;
  return where.open(flags, mode);
}

}  // namespace

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD /*shareMode*/,
                   LPSECURITY_ATTRIBUTES /*security*/, DWORD disposition, DWORD flags,
                   HANDLE /*templateFile*/) {
  int openAs = 0;
  if (!openFlags(access, disposition, flags, &openAs)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0) openAs |= O_NOFOLLOW;
  try {
    const std::string path = toNative(name);
    if (path.empty()) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    bool existed = false;
    const int fd = openFile(path, openAs, &existed);
    if (fd < 0) {
      // A name taken by a new file's creation is ERROR_FILE_EXISTS; a
      // directory opened for writing is refused as on Windows.
      SetLastError(errorFromErrno(errno, path));
      return INVALID_HANDLE_VALUE;
    }
    blockingWrites(fd, openAs);
    // A directory opens only for its information, as on Windows; where
    // that is asked for, any entry may open.
    struct stat info;
    int error = 0;
    if ((flags & FILE_FLAG_BACKUP_SEMANTICS) == 0) {
      if (sys.fstat(fd, &info) != 0) {
        error = errno;
      } else if (S_ISDIR(info.st_mode)) {
        error = EISDIR;
      }
    }
    if (error != 0) {
      sys.close(fd);
      SetLastError(errorFromErrno(error));
      return INVALID_HANDLE_VALUE;
    }
    auto* object = new (std::nothrow) FileObject(fd);
    if (object == nullptr) {
      sys.close(fd);
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = registerHandle(object);
    if (handle == nullptr) return INVALID_HANDLE_VALUE;
    SetLastError(existed ? ERROR_ALREADY_EXISTS : NO_ERROR);
    return handle;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
}

BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES /*security*/) {
  try {
    const std::string path = toNative(name);
    if (path.empty()) return fail(ERROR_PATH_NOT_FOUND);
    const longPath where(path);
    if (where.makeDirectory(0777) == 0) return TRUE;
    // Any name taken, a file's too, is ERROR_ALREADY_EXISTS here.
    return fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : errorFromErrno(errno, path));
  } catch (const std::bad_alloc&) {
    return fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  const int fd = descriptorOf(file);
  struct stat info;
  if (fd < 0) return INVALID_FILE_SIZE;
  if (sys.fstat(fd, &info) != 0) {
    SetLastError(errorFromErrno(errno));
    return INVALID_FILE_SIZE;
  }
  const std::uint64_t size = sizeOf(info);
  if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(size >> 32);
  // A size whose low part is 0xFFFFFFFF is told from a failure by the error.
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(size);
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  const int fd = descriptorOf(file);
  struct stat status;
  if (fd < 0) return FALSE;
  if (info == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (sys.fstat(fd, &status) != 0) return fail(errorFromErrno(errno));
  const auto device = static_cast<std::uint64_t>(status.st_dev);
  const auto inode = static_cast<std::uint64_t>(status.st_ino);
  const std::uint64_t size = sizeOf(status);
  *info = BY_HANDLE_FILE_INFORMATION{};
  info->dwFileAttributes = attributesOf(status);
  info->ftCreationTime = fileTime(status.st_ctim);
  info->ftLastAccessTime = fileTime(status.st_atim);
  info->ftLastWriteTime = fileTime(status.st_mtim);
  info->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
  info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  info->nFileSizeLow = static_cast<DWORD>(size);
  info->nNumberOfLinks = static_cast<DWORD>(status.st_nlink);
  info->nFileIndexHigh = static_cast<DWORD>(inode >> 32);
  info->nFileIndexLow = static_cast<DWORD>(inode);
  return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
              LPOVERLAPPED overlapped) {
  if (read != nullptr) *read = 0;
  const int fd = descriptorOf(file);
  if (fd < 0) return FALSE;
  if (buffer == nullptr && toRead != 0) return fail(ERROR_INVALID_PARAMETER);
  auto* out = static_cast<unsigned char*>(buffer);
  DWORD done = 0;
  const bool at = overlapped != nullptr;
  const off_t offset = at ? static_cast<off_t>((std::uint64_t{overlapped->OffsetHigh} << 32) | overlapped->Offset) : 0;
  while (done < toRead) {
    const ssize_t n = at ? sys.pread(fd, out + done, toRead - done, offset + static_cast<off_t>(done))
                         : sys.read(fd, out + done, toRead - done);
    if (n > 0) {
      done += static_cast<DWORD>(n);
    } else if (n == 0) {
      break;  // end of file
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A pipe or device opened without waiting that has nothing yet: wait,
      // as a read on Windows does, until it has or its writer is gone.
      pollfd entry{fd, POLLIN, 0};
      if (sys.poll(&entry, 1, -1) < 0 && errno != EINTR) {
        if (read != nullptr) *read = done;
        return fail(errorFromErrno(errno));
      }
    } else {
      if (read != nullptr) *read = done;
      return fail(errorFromErrno(errno));
    }
  }
  if (read != nullptr) *read = done;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
               LPOVERLAPPED /*overlapped*/) {
  if (written != nullptr) *written = 0;
  const int fd = descriptorOf(file);
  if (fd < 0) return FALSE;
  if (buffer == nullptr && toWrite != 0) return fail(ERROR_INVALID_PARAMETER);
  std::size_t done = 0;
  bool ok = false;
  if (isStandard(file) && static_cast<StandardObject*>(file)->isTerminal() &&
      consoleCodePage.load(std::memory_order_relaxed) != CP_UTF8) {
    ok = writeOemToTerminal(fd, static_cast<const unsigned char*>(buffer), toWrite, &done);
  } else {
    ok = writeAll(fd, buffer, toWrite, &done);
  }
  if (written != nullptr) *written = static_cast<DWORD>(done);
  return ok ? TRUE : fail(errorFromErrno(errno));
}

BOOL CloseHandle(HANDLE handle) {
  if (isStandard(handle)) return TRUE;  // the process's streams stay open
  HandleObject* object = unregisterHandle(handle, HandleKind::file);
  if (object == nullptr) object = unregisterHandle(handle, HandleKind::mapping);
  if (object == nullptr) return FALSE;
  delete object;
  return TRUE;
}

HANDLE GetStdHandle(DWORD which) {
  StandardObject* object = nullptr;
  switch (which) {
    case STD_INPUT_HANDLE:
      object = &standardInput;
      break;
    case STD_OUTPUT_HANDLE:
      object = &standardOutput;
      break;
    case STD_ERROR_HANDLE:
      object = &standardError;
      break;
    default:
      SetLastError(ERROR_INVALID_HANDLE);
      return INVALID_HANDLE_VALUE;
  }
  // A process started without this stream has no handle for it.
  if (object->missing.load(std::memory_order_relaxed)) return nullptr;
  return object;
}

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
  if (!isStandard(console) || !static_cast<StandardObject*>(console)->isTerminal())
    return fail(ERROR_INVALID_HANDLE);
  if (mode != nullptr) *mode = 0;
  return TRUE;
}

UINT GetConsoleOutputCP() { return consoleCodePage.load(std::memory_order_relaxed); }

BOOL SetConsoleOutputCP(UINT codePage) {
  if (codePage != oemCodePage && codePage != CP_UTF8) return fail(ERROR_INVALID_PARAMETER);
  consoleCodePage.store(codePage, std::memory_order_relaxed);
  return TRUE;
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, PCONSOLE_SCREEN_BUFFER_INFO info) {
  if (!isStandard(console) || !static_cast<StandardObject*>(console)->isTerminal())
    return fail(ERROR_INVALID_HANDLE);
  if (info == nullptr) return fail(ERROR_INVALID_PARAMETER);
  winsize size{};
  if (sys.ioctl(static_cast<StandardObject*>(console)->fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
    size.ws_col = 80;  // a terminal that does not tell: the classic width
    size.ws_row = 24;
  }
  *info = CONSOLE_SCREEN_BUFFER_INFO{};
  info->dwSize = COORD{static_cast<short>(size.ws_col), static_cast<short>(size.ws_row)};
  info->srWindow = SMALL_RECT{0, 0, static_cast<short>(size.ws_col - 1), static_cast<short>(size.ws_row - 1)};
  info->dwMaximumWindowSize = info->dwSize;
  return TRUE;
}

HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES /*security*/, DWORD protect,
                          DWORD maxSizeHigh, DWORD maxSizeLow, LPCWSTR name) {
  HandleObject* object = findHandle(file, HandleKind::file);
  if (object == nullptr) return nullptr;
  if (protect != PAGE_READONLY || name != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const int fd = static_cast<FileObject*>(object)->fd;
  struct stat info;
  if (sys.fstat(fd, &info) != 0) {
    SetLastError(errorFromErrno(errno));
    return nullptr;
  }
  // Only a regular file with bytes in it can be mapped, as on Windows where
  // mapping an empty file fails with this code.
  std::uint64_t size = sizeOf(info);
  if (size == 0) {
    SetLastError(ERROR_FILE_INVALID);
    return nullptr;
  }
  // A maximum size may only narrow the mapping: a read-only mapping cannot
  // extend its file, and Windows refuses a larger one with this code.
  const std::uint64_t maximum = (std::uint64_t{maxSizeHigh} << 32) | maxSizeLow;
  if (maximum > size) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (maximum != 0) size = maximum;
  const int copy = sys.fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    SetLastError(errorFromErrno(errno));
    return nullptr;
  }
  auto* mapping = new (std::nothrow) MappingObject(copy, size);
  if (mapping == nullptr) {
    sys.close(copy);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return registerHandle(mapping);
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes) {
  HandleObject* object = findHandle(mapping, HandleKind::mapping);
  if (object == nullptr) return nullptr;
  const auto* map = static_cast<MappingObject*>(object);
  // Views start at the beginning of the mapping; the program maps files whole.
  if ((access & FILE_MAP_READ) == 0 || offsetHigh != 0 || offsetLow != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A view longer than its mapping is refused, as on Windows.
  if (bytes > map->size) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const std::uint64_t length = bytes != 0 ? bytes : map->size;
  if (length > std::numeric_limits<std::size_t>::max()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* view = sys.mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_PRIVATE, map->fd, 0);
  if (view == MAP_FAILED) {
    SetLastError(errorFromErrno(errno));
    return nullptr;
  }
  if (!recordView(view, static_cast<std::size_t>(length))) {
    sys.munmap(view, static_cast<std::size_t>(length));
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return view;
}

BOOL UnmapViewOfFile(LPCVOID view) {
  const std::size_t length = forgetView(view);
  if (length == 0) return fail(ERROR_INVALID_PARAMETER);
  sys.munmap(const_cast<void*>(view), length);
  return TRUE;
}

// ---- Names: what one is, removing and renaming ----

namespace {

// The error of a path whose leading pieces could not be reached: stat
// through it fails with that error.
DWORD unreachedError(const longPath& where, const std::string& path) {
  struct stat info;
  where.stat(&info, 0);
  return errorFromErrno(errno, path);
}

// Gives `from` the name `to` unless that name is taken (EEXIST then). Where
// the file system cannot refuse a taken name in the rename itself, the file
// gets a second name and loses its first, and where it has no hard links
// either, the name is looked up first.
int renameWithoutReplacing(const longPath& from, const longPath& to) {
#ifdef RENAME_NOREPLACE
  if (sys.renameat2(from.directory(), from.name(), to.directory(), to.name(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
#endif
  if (sys.linkat(from.directory(), from.name(), to.directory(), to.name(), 0) == 0) {
    sys.unlinkat(from.directory(), from.name(), 0);
    return 0;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) return -1;
  struct stat info;
  if (sys.fstatat(to.directory(), to.name(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return -1;
  }
  return sys.renameat(from.directory(), from.name(), to.directory(), to.name());
}

}  // namespace

DWORD GetFileAttributesW(LPCWSTR name) {
  try {
    const std::string path = toNative(name);
    if (path.empty()) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_FILE_ATTRIBUTES;
    }
    const longPath where(path);
    struct stat info;
    if (where.stat(&info, AT_SYMLINK_NOFOLLOW) != 0) {
      SetLastError(errorFromErrno(errno, path));
      return INVALID_FILE_ATTRIBUTES;
    }
    if (!S_ISLNK(info.st_mode)) return attributesOf(info);
    struct stat target;
    const bool directory = where.stat(&target, 0) == 0 && S_ISDIR(target.st_mode);
    return FILE_ATTRIBUTE_REPARSE_POINT | (directory ? FILE_ATTRIBUTE_DIRECTORY : 0);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_FILE_ATTRIBUTES;
  }
}

DWORD GetFileType(HANDLE file) {
  const int fd = descriptorOf(file);
  struct stat info;
  if (fd < 0) return FILE_TYPE_UNKNOWN;
  if (sys.fstat(fd, &info) != 0) {
    SetLastError(errorFromErrno(errno));
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(NO_ERROR);
  if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(info.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD flags) {
  const int fd = descriptorOf(file);
  if (fd < 0) return 0;
  if (flags != 0 || (path == nullptr && size != 0)) return fail(ERROR_INVALID_PARAMETER);
  try {
    // The kernel keeps it as the link of the descriptor.
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::string target(256, '\0');
    for (;;) {
      const ssize_t length = sys.readlink(link.c_str(), &target[0], target.size());
      if (length < 0) return fail(errorFromErrno(errno));
      if (static_cast<std::size_t>(length) < target.size()) {
        target.resize(static_cast<std::size_t>(length));
        break;
      }
      target.resize(target.size() * 2);
    }
    // A pipe or a socket has no path ("pipe:[…]").
    if (target.empty() || target[0] != '/') return fail(ERROR_NOT_SUPPORTED);
    const std::u16string wide = fromNative(target);
    if (wide.size() + 1 > size) return static_cast<DWORD>(wide.size() + 1);
    std::copy(wide.begin(), wide.end(), path);
    path[wide.size()] = 0;
    return static_cast<DWORD>(wide.size());
  } catch (const std::bad_alloc&) {
    return fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

BOOL DeleteFileW(LPCWSTR name) {
  try {
    const std::string path = toNative(name);
    if (path.empty()) return fail(ERROR_PATH_NOT_FOUND);
    const longPath where(path);
    if (!where.reached()) return fail(unreachedError(where, path));
    if (sys.unlinkat(where.directory(), where.name(), 0) != 0) return fail(errorFromErrno(errno, path));
    return TRUE;
  } catch (const std::bad_alloc&) {
    return fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR replacement, DWORD flags) {
  if ((flags & ~MOVEFILE_REPLACE_EXISTING) != 0) return fail(ERROR_INVALID_PARAMETER);
  try {
    const std::string from = toNative(existing), to = toNative(replacement);
    if (from.empty() || to.empty()) return fail(ERROR_PATH_NOT_FOUND);
    const longPath source(from), target(to);
    if (!source.reached()) return fail(unreachedError(source, from));
    if (!target.reached()) return fail(unreachedError(target, to));
    const int moved = (flags & MOVEFILE_REPLACE_EXISTING) != 0
                          ? sys.renameat(source.directory(), source.name(), target.directory(), target.name())
                          : renameWithoutReplacing(source, target);
    if (moved != 0) return fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : errorFromErrno(errno, to));
    return TRUE;
  } catch (const std::bad_alloc&) {
    return fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}
