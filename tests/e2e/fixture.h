// A scratch directory for the archive trees of one end-to-end case, open to
// the program when it runs as another user and removed afterwards, and the
// forms its paths take on the command line and in messages.
#ifndef TARVIN_E2E_FIXTURE_H
#define TARVIN_E2E_FIXTURE_H

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "target.h"

class archiveTree : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarvin-e2e-tree-XXXXXX";
    root = mkdtemp(tmpl);
    chmod(root.c_str(), 0755);
  }
  void TearDown() override {
    std::system(("chmod -R u+rwx '" + root + "' 2>/dev/null; rm -rf '" + root + "'").c_str());
  }

  // A path below the directory, on this machine.
  std::string at(const std::string& relative) const { return root + "/" + relative; }
  // The same path as the program is given it.
  std::string arg(const std::string& relative) const { return program.path(at(relative)); }
  // The same path as the program prints it.
  std::string shown(const std::string& relative) const {
    std::string out = arg(relative);
    for (char& c : out)
      if (c == '/') c = program.separator();
    return out;
  }

  std::string root;
};

#endif  // TARVIN_E2E_FIXTURE_H
