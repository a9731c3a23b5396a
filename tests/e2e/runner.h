// Runs the program under test and collects what it writes.
#ifndef TARVIN_E2E_RUNNER_H
#define TARVIN_E2E_RUNNER_H

#include <string>
#include <vector>

struct outcome {
  std::string out;  // standard output, bytes
  std::string err;  // standard error, bytes
  int exitCode = -1;
  bool crashed = false;  // ended by a signal or the time limit
};

struct runOptions {
  std::string directory;        // working directory; empty: the test's own
  std::string stdoutPath;       // standard output to this file instead of a capture
  bool closeStdout = false;     // start with standard output closed
  long memoryLimitMb = 0;       // address-space limit, 0: none
  bool dropPrivileges = false;  // run as nobody (permissions apply even under root)
  int timeoutSeconds = 120;
};

outcome run(const std::vector<std::string>& arguments, const runOptions& options = {});

// Replaces the calling (child) process with the program and its arguments,
// started through the runner if there is one.
[[noreturn]] void execProgram(const std::vector<std::string>& arguments);

#endif  // TARVIN_E2E_RUNNER_H
