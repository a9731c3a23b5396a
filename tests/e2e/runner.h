// Runs the program under test and collects what it writes.
#ifndef TARVIN_E2E_RUNNER_H
#define TARVIN_E2E_RUNNER_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct outcome {
  std::string out;  // standard output, bytes
  std::string err;  // standard error, bytes
  int exitCode = -1;
  bool crashed = false;  // ended by a signal or the time limit
  int signal = 0;        // the signal that ended it
};

struct runOptions {
  std::string directory;        // working directory; empty: the test's own
  std::string stdoutPath;       // standard output to this file instead of a capture
  bool closeStdout = false;     // start with standard output closed
  bool closeStdin = false;      // start with standard input closed (<&-)
  std::string input;            // standard input: these bytes from a pipe (printf … | tarvin); empty: /dev/null
  long memoryLimitMb = 0;       // address-space limit, 0: none
  long openFilesLimit = 0;      // soft limit of open files (the hard one stays), 0: none
  bool dropPrivileges = false;  // run as nobody (permissions apply even under root)
  int timeoutSeconds = 120;
  // Standard output (1) or error (2) to a pipe that is read only after
  // whileBlocked has run, which it does once the program has filled the pipe:
  // the program is blocked on it, and has got no further than the pipe and
  // its own buffers allow. Then the pipe is read to its end.
  int pipedStream = 0;
  std::function<void()> whileBlocked;
  // With pipedStream: read this many bytes, then close the pipe (| head -c N).
  std::size_t closeAfter = 0;
  // With pipedStream: send this signal once the program is blocked.
  int signalWhenBlocked = 0;
  // Files it writes may not grow beyond this many bytes (a write past it
  // fails, SIGXFSZ ignored), -1: no limit.
  long fileSizeLimit = -1;
  // A POSIX build runs in this locale ("C.UTF-8"), else in the suite's C.
  std::string locale;
};

outcome run(const std::vector<std::string>& arguments, const runOptions& options = {});

// Replaces the calling (child) process with the program and its arguments,
// started through the runner if there is one.
[[noreturn]] void execProgram(const std::vector<std::string>& arguments);

#endif  // TARVIN_E2E_RUNNER_H
