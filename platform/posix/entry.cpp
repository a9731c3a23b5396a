// The program's entry on POSIX: the arguments arrive as bytes (UTF-8 as a
// rule, but any bytes at all), and wmain wants UTF-16. The conversion is
// lossless, so a file name given on the command line can always be opened.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "posix/internal.h"

using platform::posix::sys;

int main(int argc, char** argv) {
  // A reader that goes away ends the program quietly, as any filter: the
  // default action, whatever the parent left in place.
  std::signal(SIGPIPE, SIG_DFL);

  // A standard stream that the process was started without stays without a
  // handle. Its descriptor is taken by a read-only /dev/null, so that no
  // archive file opened later can take its place and receive output.
  for (int fd = 0; fd <= 2; ++fd) {
    if (sys.fcntl(fd, F_GETFD, 0) != -1) continue;
    int placeholder = sys.openat(AT_FDCWD, "/dev/null", O_RDONLY | O_CLOEXEC, 0);
    if (placeholder >= 0 && placeholder != fd) {
      sys.dup2(placeholder, fd);
      sys.close(placeholder);
    }
    platform::posix::markStandardStreamMissing(fd);
  }

  // Every data file of an index stays open while its reports are written,
  // up to 256 of them, as handles do on Windows, where there is no small
  // limit: the soft limit of open files is raised to the hard one.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  std::vector<std::u16string> arguments;
  arguments.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    arguments.push_back(platform::posix::fromNative(argv[i], std::strlen(argv[i])));
  }
  std::vector<WCHAR*> pointers;
  pointers.reserve(arguments.size() + 1);
  for (std::u16string& argument : arguments) pointers.push_back(&argument[0]);
  pointers.push_back(nullptr);
  return wmain(argc, pointers.data());
}
