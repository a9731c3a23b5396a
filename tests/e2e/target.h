// The program under test and everything about it that depends on the
// platform it was built for: how it is started, how paths are written, which
// arguments are switches, the system's error codes and texts. The end-to-end
// cases are written once against this.
#ifndef TARVIN_E2E_TARGET_H
#define TARVIN_E2E_TARGET_H

#include <string>
#include <vector>

// The system that runs a Windows build: Windows itself, or Wine, which has
// Russian system texts of its own and differs from Windows in a few answers.
enum class windowsSystem { windows, wine };

struct target {
  std::string binary;               // the program
  std::vector<std::string> runner;  // a command that starts it (e.g. wine), or nothing
  bool windows = false;             // a Windows build: drive paths, "\" and "/" switches
  bool sanitized = false;           // built with sanitizers: no memory limits
  windowsSystem system = windowsSystem::windows;

  // A path of this machine as the program is given it and writes it back.
  std::string path(const std::string& hostPath) const;
  // The separator the program puts between a directory and a name.
  char separator() const { return windows ? '\\' : '/'; }

  // The switch rule. On Windows every argument that begins with "/" is a
  // switch. On POSIX only the forms the program knows are; any other such
  // argument is an absolute path.
  bool slashArgumentsAreSwitches() const { return windows; }
  // The converter's own options: "--utf8" on POSIX, "/utf8" on Windows; on
  // POSIX "-h" asks for the help too.
  std::string option(const std::string& word) const { return (windows ? "/" : "--") + word; }
  std::string option(const std::string& word, const std::string& value) const {
    return option(word) + (windows ? ":" : "=") + value;
  }
  bool dashHelpShowsHelp() const { return !windows; }

  // The error of a write to a full disk: ERROR_DISK_FULL, which our POSIX
  // layer gives for ENOSPC too.
  unsigned diskFullError() const { return 112; }
  // The error of a search for index files in a file instead of a directory:
  // ERROR_DIRECTORY, which our POSIX layer gives too; Wine gives
  // ERROR_INVALID_NAME.
  unsigned fileAsDirectoryError() const { return underWine() ? 123 : 267; }
  // The system's text for an error code, as FormatMessage gives it (UTF-8).
  // A POSIX build ends it in LF alone where its output is UTF-8 (`utf8Output`), in the
  // CR LF of Windows where it writes the Windows bytes.
  std::string systemText(unsigned code, bool utf8Output = false) const;

  // A typed path longer than MAX_PATH: Windows refuses it (only what the
  // walk finds is reached in the long "\\?\" form), but Wine resolves it,
  // and so does our POSIX layer one longer than PATH_MAX.
  bool resolvesPathsBeyondMaxPath() const { return !windows || underWine(); }

  // Standard input closed (<&-): the program has no handle for it, but Wine
  // gives one whose read fails with ERROR_INVALID_FUNCTION.
  bool closedInputHasAHandle() const { return underWine(); }

  // Directory links are walked into on POSIX; the Windows build walks into
  // no reparse point, and Wine shows a symbolic link as one.
  bool walksDirectoryLinks() const { return !windows; }

  // A reader that closes its pipe: on POSIX SIGPIPE ends the program; on
  // Windows its write fails (Wine: ERROR_PIPE_NOT_CONNECTED), and it ends
  // with the exit code of lost output, as quietly.
  bool closedPipeEndsBySignal() const { return !windows; }

  bool underWine() const { return windows && system == windowsSystem::wine; }
};

// Set from the command line of the test program.
extern target program;

#endif  // TARVIN_E2E_TARGET_H
