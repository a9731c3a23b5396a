// A fresh directory for one test, removed with everything in it afterwards.
#ifndef TARVIN_TESTS_PLATFORM_TEMP_DIR_H
#define TARVIN_TESTS_PLATFORM_TEMP_DIR_H

#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "posix/internal.h"

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/tarvin-platform-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
  }
  ~TempDir() {
    nftw(
        root_.c_str(),
        [](const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); },
        16, FTW_DEPTH | FTW_PHYS);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The system path of a name inside the directory ("" for the directory).
  std::string path(const std::string& name = "") const {
    return name.empty() ? root_ : root_ + "/" + name;
  }
  // The same path as the program names it.
  std::u16string wide(const std::string& name = "") const {
    return platform::posix::fromNative(path(name));
  }
  // Creates a file (the name may hold any bytes) with the given content.
  void write(const std::string& name, const std::string& content = "") const {
    const int fd = ::open(path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + name);
    const bool ok = ::write(fd, content.data(), content.size()) ==
                    static_cast<ssize_t>(content.size());
    ::close(fd);
    if (!ok) throw std::runtime_error("cannot write " + name);
  }

 private:
  std::string root_;
};

#endif  // TARVIN_TESTS_PLATFORM_TEMP_DIR_H
