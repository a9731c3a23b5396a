// What the files of the POSIX layer share with each other (and with the
// layer's tests and posix/faults.h), and nothing else includes.
#ifndef TARVIN_PLATFORM_POSIX_INTERNAL_H
#define TARVIN_PLATFORM_POSIX_INTERNAL_H

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

#include "win32.h"

namespace platform::posix {

// ---- System calls ----

// One system call of the table below: the real call, unless a test has put
// a fault in its place (posix/faults.h). Calling it costs one load and one
// indirect call more than the call itself.
template <class Signature>
class systemCall;
template <class Result, class... Arguments>
class systemCall<Result(Arguments...)> {
 public:
  using function = Result (*)(Arguments...);
  constexpr systemCall(function real) : current_(real) {}
  Result operator()(Arguments... arguments) const { return current_.load(std::memory_order_acquire)(arguments...); }
  // Puts `replacement` in place; returns what was there.
  function exchange(function replacement) { return current_.exchange(replacement); }

 private:
  std::atomic<function> current_;
};

// Every system call the layer makes for files, directories, mappings and the
// standard streams, with the arguments of the C library's functions (those
// that take a variable list here take the one argument the layer passes).
// Called directly are only the unlink of the interruption handler, which
// runs in a signal handler, and the directory streams of systems other than
// Linux.
struct systemCalls {
  systemCall<int(int directory, const char* name, int flags, mode_t mode)> openat;
  systemCall<int(int fd)> close;
  systemCall<int(int fd, int to)> dup2;
  systemCall<ssize_t(int fd, void* into, std::size_t count)> read;
  systemCall<ssize_t(int fd, void* into, std::size_t count, off_t offset)> pread;
  systemCall<ssize_t(int fd, const void* bytes, std::size_t count)> write;
  systemCall<int(pollfd* fds, nfds_t count, int timeout)> poll;
  systemCall<int(int fd, struct stat* info)> fstat;
  systemCall<int(int directory, const char* name, struct stat* info, int flags)> fstatat;
  systemCall<int(int fd, int command, int argument)> fcntl;
  systemCall<int(int fd, unsigned long request, void* argument)> ioctl;
  systemCall<int(int fd)> isatty;
  systemCall<void*(void* at, std::size_t length, int protection, int flags, int fd, off_t offset)> mmap;
  systemCall<int(void* at, std::size_t length)> munmap;
  systemCall<int(void* at, std::size_t length, int advice)> madvise;
  // The entries of a directory (Linux; elsewhere the layer reads them with
  // readdir, and a fault of this entry does not reach them).
  systemCall<ssize_t(int fd, void* into, std::size_t count)> getdents64;
  systemCall<int(int directory, const char* name, mode_t mode)> mkdirat;
  systemCall<int(int directory, const char* name, int flags)> unlinkat;
  systemCall<int(int fromDirectory, const char* from, int toDirectory, const char* to)> renameat;
  // renameat2 with RENAME_NOREPLACE where the system has it; elsewhere ENOSYS.
  systemCall<int(int fromDirectory, const char* from, int toDirectory, const char* to, unsigned flags)> renameat2;
  systemCall<int(int fromDirectory, const char* from, int toDirectory, const char* to, int flags)> linkat;
  systemCall<ssize_t(const char* path, char* into, std::size_t count)> readlink;
  systemCall<char*(char* into, std::size_t count)> getcwd;
};
extern systemCalls sys;

// ---- Names and arguments: UTF-8 on the system side, UTF-16 on ours ----

// The bytes of a zero-terminated UTF-16 name as the system wants them:
// UTF-8, with U+DC80..U+DCFF turned back into the single byte they carry and
// any other lone surrogate written as '?'. Null gives "".
std::string toNative(const WCHAR* name);

// Writes the UTF-8 of a code point (below U+110000) to `out` and returns its
// length, 1 to 4 bytes. The one encoder of the layer: names, terminal
// output and WideCharToMultiByte(CP_UTF8) use it.
constexpr std::size_t encodeUtf8(char32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

// The UTF-16 form of system bytes. Valid UTF-8 decodes normally; each byte
// that is not part of valid UTF-8 becomes U+DC80 + byte, so toNative of the
// result gives back exactly these bytes.
std::u16string fromNative(const char* bytes, std::size_t length);
inline std::u16string fromNative(const std::string& bytes) {
  return fromNative(bytes.data(), bytes.size());
}

// ---- Paths of any length ----

// A path as a directory descriptor and a name below it, for the *at calls.
// A path the system takes in one call is (AT_FDCWD, the path) itself. A
// longer one is reached a piece at a time: its leading components are opened
// as directories, each piece shorter than PATH_MAX, until what is left is
// short enough; the descriptor is closed with the object, and the name is
// the end of the given path, which must outlive it. The pair names the same
// file as the whole path would, links and ".." included.
class longPath {
 public:
  explicit longPath(const std::string& path);
  ~longPath();
  longPath(const longPath&) = delete;
  longPath& operator=(const longPath&) = delete;

  // open(2), fstatat(2) and mkdir(2) of the path: -1 with errno set on
  // failure, also when a leading piece could not be opened. `mode` is that of
  // a file or directory made.
  int open(int flags, mode_t mode = 0) const;
  int stat(struct stat* info, int flags) const;
  int makeDirectory(mode_t mode) const;
  // For other *at calls: whether the leading pieces were opened, and the
  // descriptor and name to use then.
  bool reached() const { return error_ == 0; }
  int directory() const { return fd_; }
  const char* name() const { return name_; }

 private:
  int fd_;
  int error_ = 0;
  const char* name_;
};

// ---- Errors ----

// The Windows code for an errno value. With a path, ENOENT tells a missing
// file (2) from a missing directory on the way to it (3).
DWORD errorFromErrno(int error);
DWORD errorFromErrno(int error, const std::string& path);

// ---- Code page 866 ----

// The characters of bytes 0x80..0xFF; bytes below 0x80 stand for themselves.
inline constexpr char16_t oemUpperHalf[128] = {
    // 0x80: А..Я
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    // 0xA0: а..п
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    // 0xB0: shades and box drawing
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    // 0xE0: р..я
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
    // 0xF0: Ё ё Є є Ї ї Ў ў ° ∙ · √ № ¤ ■ NBSP
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0};

constexpr char16_t oemToUnicode(unsigned char byte) {
  return byte < 0x80 ? char16_t(byte) : oemUpperHalf[byte - 0x80];
}

// ---- Files ----

// A system time as a Windows file time (100 ns steps since 1601-01-01).
FILETIME fileTime(const struct timespec& time);

// ---- Handles ----

// Every HANDLE the layer gives out points at one of these. The standard
// handles live for the whole process; all others are created by an open call
// and destroyed by their close call.
enum class HandleKind { file, mapping, search, standard };

struct HandleObject {
  constexpr explicit HandleObject(HandleKind k) : kind(k) {}
  virtual ~HandleObject() = default;
  HandleObject(const HandleObject&) = delete;
  HandleObject& operator=(const HandleObject&) = delete;
  const HandleKind kind;
};

// Takes ownership of a new object and returns its handle. On failure (no
// memory) deletes it, sets ERROR_NOT_ENOUGH_MEMORY and returns null.
HANDLE registerHandle(HandleObject* object);
// The live object behind a handle if it has that kind; otherwise null with
// ERROR_INVALID_HANDLE. Standard handles are found under HandleKind::standard.
HandleObject* findHandle(HANDLE handle, HandleKind kind);
// Forgets a live handle of that kind and returns its object, which the caller
// destroys; null with ERROR_INVALID_HANDLE when there is none.
HandleObject* unregisterHandle(HANDLE handle, HandleKind kind);

// ---- Mapped views ----

// The views MapViewOfFile has handed out and UnmapViewOfFile has not taken
// back. The guard of mapped reads asks it from its signal handler, so it
// takes no lock: recording and forgetting allocate only when the record
// grows, and looking up only reads.
// Records a view of `length` bytes; false when there is no memory for it.
bool recordView(const void* view, std::size_t length);
// Forgets a view and returns its length; 0 when it is not a live view.
std::size_t forgetView(const void* view);
// Whether the address lies inside a live view. Safe in a signal handler.
bool isInLiveView(const void* address);

// ---- Output ----

// Writes all bytes to fd, waiting when it is non-blocking and full. Returns
// false with errno set on failure; *written is what reached the fd.
// The process was started with this standard descriptor (0, 1 or 2) closed:
// GetStdHandle gives no handle for it from now on.
void markStandardStreamMissing(int fd);

bool writeAll(int fd, const void* bytes, std::size_t size, std::size_t* written);
// Writes OEM bytes to a terminal as the UTF-8 of the characters they stand
// for. *written counts the OEM bytes whose text reached the terminal.
bool writeOemToTerminal(int fd, const unsigned char* bytes, std::size_t size,
                        std::size_t* written);

}  // namespace platform::posix

#endif  // TARVIN_PLATFORM_POSIX_INTERNAL_H
