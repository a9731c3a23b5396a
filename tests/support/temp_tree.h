// File-system helpers for tests: a fresh directory tree under /tmp that is
// removed with everything in it afterwards (links are removed, never
// followed), and the mEx that a piece of code raises.
#ifndef TARVIN_TESTS_TEMP_TREE_H
#define TARVIN_TESTS_TEMP_TREE_H

#include <ftw.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>

#include "archive_writer.h"
#include "mEx.h"
#include "mstr.h"

inline std::u16string widened(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

inline std::string currentDirectory() {
  char* path = getcwd(nullptr, 0);
  std::string out = path ? path : "";
  std::free(path);
  return out;
}

class TempTree {
 public:
  TempTree() {
    char pattern[] = "/tmp/tarvin-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    chmod(root_.c_str(), 0755);  // open to a test child that runs as another user
  }
  ~TempTree() {
    nftw(
        root_.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); },
        16, FTW_DEPTH | FTW_PHYS);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // The path of a name inside the tree ("" for the tree itself).
  std::string path(const std::string& name = "") const { return name.empty() ? root_ : root_ + "/" + name; }
  std::u16string wide(const std::string& name = "") const { return widened(path(name)); }
  mstr text(const std::string& name = "") const { return mstr(wide(name).c_str()); }

  // Creates the file, and the directories on its way, with the content.
  void file(const std::string& name, const std::string& content = "x") const {
    const std::string p = path(name);
    archive::makeDirectories(p.substr(0, p.rfind('/')));
    archive::writeFile(p, content);
  }
  void dir(const std::string& name) const { archive::makeDirectories(path(name)); }
  // A symbolic link `name` whose content is `target`, as written.
  void link(const std::string& target, const std::string& name) const {
    if (symlink(target.c_str(), path(name).c_str()) != 0) throw std::runtime_error("symlink failed");
  }

 private:
  std::string root_;
};

template <class Code>
mEx raised(Code code) {
  try {
    code();
  } catch (mEx& e) {
    return mEx(std::move(e));
  }
  ADD_FAILURE() << "no mEx raised";
  return mEx();
}

#endif  // TARVIN_TESTS_TEMP_TREE_H
