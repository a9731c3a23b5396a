// The program under test and everything about it that depends on the
// platform it was built for: how it is started, how paths are written, and
// the system's error texts. The end-to-end cases are written once against
// this.
#ifndef TARVIN_E2E_TARGET_H
#define TARVIN_E2E_TARGET_H

#include <string>
#include <vector>

struct target {
  std::string binary;               // the program
  std::vector<std::string> runner;  // a command that starts it (e.g. wine), or nothing
  bool windows = false;             // a Windows build: drive paths, "\" and "/" switches
  bool sanitized = false;           // built with sanitizers: no memory limits

  // A path of this machine as the program is given it and writes it back.
  std::string path(const std::string& hostPath) const;
  // The separator the program puts between a directory and a name.
  char separator() const { return windows ? '\\' : '/'; }
  // The system's text for an error code, as FormatMessage gives it (UTF-8).
  std::string systemText(unsigned code) const;
};

// Set from the command line of the test program.
extern target program;

#endif  // TARVIN_E2E_TARGET_H
