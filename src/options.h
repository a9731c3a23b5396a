// The converter's own options: one table, from which both the parser and the
// help text come, and the platform's rule of which arguments are switches.
//
// On POSIX the options are long options ("--utf8", "--simd=avx2"), a few
// with a short form too ("-h", "-o FILE", whose value is the next argument),
// and an argument that begins with "-" and is none of them is a usage error. On
// Windows they are switches ("/utf8", "/simd:avx2") and long options alike;
// an unknown "/" switch keeps its old meaning (stored, not consulted) and is
// warned about. "--" ends the options: what follows is never taken for one.
#ifndef TARVIN_OPTIONS_H
#define TARVIN_OPTIONS_H

#include <vector>

#include "mstr.h"
#include "reportDecode.h"

struct runOptions {
  bool utf8 = false;     // both streams in UTF-8 instead of the OEM code page
  bool jsonl = false;    // one JSON object per report instead of its text
  bool list = false;     // the same objects without the texts, nothing decoded
  bool strict = false;   // exit code 1 also when damage was mended
  bool verify = false;   // read and decode everything, write the damage found instead of texts
  bool salvage = false;  // convert the bytes that no index record names too
  bool quiet = false;    // no progress line
  bool trim = false;     // reports without the empty lines that end them
  std::vector<mstr> keys;  // only reports whose key matches one of these patterns
  mstr output;           // standard output to this file instead (empty: none)
  mstr split;            // a file for each index file below this directory instead (empty: none)
  bool force = false;    // with split: files that were there before are replaced
  bool version = false;  // the version instead of a conversion
  bool help = false;     // the usage text and the options
  // A decoding level forced with "simd" (for measuring), else the best one.
  bool levelForced = false;
  reportDecode::level level = reportDecode::level::scalar;

  // What the command line got wrong, one line each: a usage error (nothing
  // is converted, exit code 2), or a warning (the run goes on).
  std::vector<mstr> usageErrors;
  std::vector<mstr> warnings;
};

// Takes the converter's own options out of the arguments (argv[1] on),
// moving the others up and lowering argc, so that none of them is ever taken
// for a directory or a stored switch.
runOptions takeRunOptions(int& argc, WCHAR** argv);

// A line for each option, as the help lists them after the usage text.
void appendOptionHelp(mstr& out);

// Whether an argument is a switch: on Windows every argument that begins with
// "/"; on POSIX, where such an argument is an absolute path, only the forms
// the program knows ("/?" alone or with ":" and a value, "/install",
// "/remove", "/start", "/test", "/run", "/log:…", "/deb:…").
bool isSwitch(const unsigned short* argument);

#endif  // TARVIN_OPTIONS_H
