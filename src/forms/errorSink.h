// errorSink: where a run's error texts and its own lines go, and the counts
// its exit code needs.
//  - Error texts go to standard error, in the layout of mEx, each where it
//    was met among the reports; in the JSON forms, where standard error
//    holds JSON objects alone, one a line, each is its JSON form instead:
//    {"code":N,"message":"…","file":"…","function":"…","line":N,
//    "level":"report|index|directory|run|warning","text":"…"}, "text" the
//    whole text.
//  - The program's one-line texts on standard error ("tarvin: …": usage
//    errors, warnings, no index file found, a list that names nothing) are
//    in the JSON forms {"kind":"…","text":"…"}.
//  - The size line "<>Размер строки<> N" of a text longer than 10000
//    characters goes to standard output, or, in the JSON forms, where
//    nothing but JSON may go there, to standard error as
//    {"kind":"size line","text":"…"}; so does the line "Ошибка! N"
//    ("kind":"failure").
#ifndef TARVIN_ERRORSINK_H
#define TARVIN_ERRORSINK_H

#include <cstdint>

#include "mEx.h"
#include "mOutput.h"

// What an error ended: a report, an index file, a directory (a search-path
// entry, or a directory of its tree that could not be listed, and what lies
// below it), the run.
// Or nothing, a warning of damage, which counts as no error text.
enum class errorLevel { report, index, directory, run, warning };

class errorSink {
 public:
  errorSink(mOutput& output, bool json) : output_(output), json_(json) {}

  // Writes the text of an error where error texts go, and counts it.
  void error(const mEx& error, errorLevel level);
  // A one-line text of the program's own for standard error, ended by a
  // line feed: as it is in the plain form, in the JSON ones as
  // {"kind":"<kind>","text":"…"}.
  void notice(const char* kind, const mstr& line) const;
  // What the command line got wrong: nothing is converted.
  void usageError(const mstr& line);
  // The warning for the bytes [0, end) of a data file that no index record
  // names: the whole file (orphaned), or the range before its first named
  // block.
  void unnamedBytes(const mstr& dataPath, std::uint64_t end, bool orphaned);
  // The line of a run that found no index file at all. It counts as an
  // error text.
  void nothingFound();
  // The warning for a list file (its argument, "@name") that named no
  // directory. It counts as an error text.
  void emptyList(const mstr& argument);
  // The error of a line of a list file that holds a NUL and was skipped. It
  // counts as an error text.
  void listLineWithNul(const mstr& argument, int line);
  // The size line of a text of `units` characters, when it has one.
  void sizeLine(std::uint64_t units) const;
  // The line "Ошибка! N" of a failure that is no error of the library, N the
  // system's last error code: where the reports go in the plain form, with
  // the error texts in the JSON ones. It counts as an error text.
  void unexpectedFailure(DWORD lastError);
  // Output was lost, or an output file was not had or not put in place.
  void outputFailed() { outputFailed_ = true; }
  bool hasOutputFailed() const { return outputFailed_; }

  unsigned errorTexts() const { return errorTexts_; }
  // The exit code of the run, for a script to act on (as tar, diff and gzip
  // have theirs): 2 a usage error, nothing done; 1 something was not
  // converted: an error text was written, output was lost, or there was
  // `damage` that counts (under --strict or --verify); 0 everything was
  // converted.
  int exitCode(bool damage) const;

 private:
  // A line of its own on standard output (its text converted) in the plain
  // form; in the JSON ones, where standard output holds reports alone, a
  // notice of that kind on standard error.
  void line(const char* kind, const mstr& text) const;

  mOutput& output_;
  const bool json_;
  unsigned errorTexts_ = 0;
  unsigned usageErrors_ = 0;
  bool outputFailed_ = false;
};

#endif  // TARVIN_ERRORSINK_H
