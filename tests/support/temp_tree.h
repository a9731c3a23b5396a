// The scratch directory of the tests: a fresh tree under /tmp, open to a
// program that runs as another user, in which files and directories are made
// at paths of any length, and which is removed with everything in it
// afterwards (directories of any mode are opened up; links are removed,
// never followed). Plain C++ and POSIX calls, for the unit, platform and
// end-to-end tests alike.
#ifndef TARVIN_TESTS_TEMP_TREE_H
#define TARVIN_TESTS_TEMP_TREE_H

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

// UTF-8 (characters of the Basic Multilingual Plane) as UTF-16.
inline std::u16string widened(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : 3;
    unsigned unit = length == 1 ? c : c & (length == 2 ? 0x1Fu : 0x0Fu);
    for (int k = 1; k < length && i + k < utf8.size(); ++k)
      unit = unit << 6 | (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3Fu);
    out += static_cast<char16_t>(unit);
    i += static_cast<std::size_t>(length);
  }
  return out;
}

inline std::string currentDirectory() {
  char* path = getcwd(nullptr, 0);
  std::string out = path ? path : "";
  std::free(path);
  return out;
}

// Changes the current directory, and puts the old one back afterwards.
class InDirectory {
 public:
  explicit InDirectory(const std::string& path) : saved_(currentDirectory()) { move(path); }
  ~InDirectory() {
    if (chdir(saved_.c_str()) != 0) std::abort();  // every later test would run elsewhere
  }
  static void move(const std::string& path) {
    if (chdir(path.c_str()) != 0) throw std::runtime_error("cannot enter " + path);
  }

 private:
  std::string saved_;
};

class TempTree {
 public:
  explicit TempTree(const std::string& tag = "test") {
    std::string pattern = "/tmp/tarvin-" + tag + "-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    chmod(root_.c_str(), 0755);
  }
  ~TempTree() { removeAll(); }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // The path of a name inside the tree ("" for the tree itself), and the
  // same path as UTF-16.
  std::string path(const std::string& name = "") const { return name.empty() ? root_ : root_ + "/" + name; }
  std::u16string wide(const std::string& name = "") const { return widened(path(name)); }

  // Creates the file (its name may hold any bytes) with the content, and the
  // directories on its way.
  void file(const std::string& name, const std::string& content = "") const {
    const std::size_t slash = name.rfind('/');
    const int dir = directory(slash == std::string::npos ? "" : name.substr(0, slash));
    const int fd = openat(dir, name.c_str() + (slash + 1), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written =
        fd >= 0 && ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    if (fd >= 0) ::close(fd);
    ::close(dir);
    if (!written) throw std::runtime_error("cannot write " + name);
  }
  void dir(const std::string& name) const { ::close(directory(name)); }
  // A symbolic link `name` whose content is `target`, as written.
  void link(const std::string& target, const std::string& name) const {
    if (symlink(target.c_str(), path(name).c_str()) != 0) throw std::runtime_error("symlink failed");
  }

 private:
  // Opens the directory, making it and those on its way one at a time from
  // the descriptor of the one before, so that no call sees the whole path.
  int directory(const std::string& name) const {
    int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t at = 0, end; fd >= 0 && at < name.size(); at = end + 1) {
      end = std::min(name.find('/', at), name.size());
      const std::string part = name.substr(at, end - at);
      if (part.empty()) continue;
      mkdirat(fd, part.c_str(), 0755);
      const int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ::close(fd);
      fd = next;
    }
    if (fd < 0) throw std::runtime_error("cannot make directory " + name);
    return fd;
  }

  // Depth first, a directory at a time from the descriptor of its parent:
  // what can be unlinked goes; the first subdirectory left is opened up and
  // entered; an empty directory is left for its parent and removed.
  void removeAll() const {
    chmod(root_.c_str(), 0700);
    std::vector<std::string> names;  // the directories entered, from the root down
    int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    while (fd >= 0) {
      std::string sub;
      if (DIR* listing = fdopendir(dup(fd))) {
        while (const dirent* entry = readdir(listing)) {
          const std::string name = entry->d_name;
          if (name == "." || name == ".." || unlinkat(fd, name.c_str(), 0) == 0 ||
              unlinkat(fd, name.c_str(), AT_REMOVEDIR) == 0)
            continue;
          sub = name;
          break;
        }
        closedir(listing);
      }
      if (!sub.empty()) {
        fchmodat(fd, sub.c_str(), 0700, 0);
        const int next = openat(fd, sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = next;
        names.push_back(sub);
        continue;
      }
      if (names.empty()) break;
      const int up = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ::close(fd);
      fd = up;
      if (fd >= 0 && unlinkat(fd, names.back().c_str(), AT_REMOVEDIR) != 0) break;  // never enter it again
      names.pop_back();
    }
    if (fd >= 0) ::close(fd);
    rmdir(root_.c_str());
  }

  std::string root_;
};

#endif  // TARVIN_TESTS_TEMP_TREE_H
