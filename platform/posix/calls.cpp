// The table of the system calls the layer makes, set to the real calls.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "posix/internal.h"

namespace platform::posix {
namespace {

// The calls whose C functions take a variable list of arguments.
int openAt(int directory, const char* name, int flags, mode_t mode) { return ::openat(directory, name, flags, mode); }
int controlFile(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }
int controlDevice(int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); }

int renameAt2(int fromDirectory, const char* from, int toDirectory, const char* to, unsigned flags) {
#ifdef RENAME_NOREPLACE
  return ::renameat2(fromDirectory, from, toDirectory, to, flags);
#else
  (void)fromDirectory, (void)from, (void)toDirectory, (void)to, (void)flags;
  errno = ENOSYS;
  return -1;
#endif
}

ssize_t directoryEntries(int fd, void* into, std::size_t count) {
#if defined(__linux__)
  return ::getdents64(fd, into, count);
#else
  (void)fd, (void)into, (void)count;
  errno = ENOSYS;
  return -1;
#endif
}

}  // namespace

// Constant-initialized: in place before any static object of the program
// can make a call.
systemCalls sys = {openAt,  ::close,   ::dup2,         ::read,   ::pread,   ::write,    ::poll,
                   ::fstat, ::fstatat, controlFile,    controlDevice,       ::isatty,  ::mmap,
                   ::munmap, ::madvise, directoryEntries, ::mkdirat, ::unlinkat, ::renameat, renameAt2,
                   ::linkat, ::readlink, ::getcwd};

}  // namespace platform::posix
