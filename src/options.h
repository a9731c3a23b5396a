// The converter's own options and the switches the program has always known:
// one table each, from which come the one walk of the command line, the rule
// of which arguments are switches on each platform, and the help text.
//
// On POSIX the options are long options ("--utf8", "--simd=avx2" or
// "--simd avx2", and any beginning of a word that no other word shares), a
// few with a short form too ("-h", "-o FILE" or "-oFILE"), and an argument
// that begins with "-" and is none of them is a usage error; so is no
// argument at all. On Windows they are switches ("/utf8", "/simd:avx2",
// "/o:FILE", matched exactly) and long options alike; an unknown "/" switch
// keeps its old meaning (stored, not consulted) and is warned about. "--"
// ends the options: what follows is never taken for one.
#ifndef TARVIN_OPTIONS_H
#define TARVIN_OPTIONS_H

#include <cstddef>
#include <functional>
#include <vector>

#include "mstr.h"
#include "reportDecode.h"

struct runOptions {
  bool utf8 = false;     // both streams in UTF-8 instead of the OEM code page
  bool oem = false;      // both streams and list files in the OEM code page, whatever the locale
  bool nullEnds = false;  // list-file entries end at NUL alone (find -print0)
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
  // The help instead of a conversion: the usage text alone ("/?", and
  // "/?:TEXT" puts TEXT before it), or with the option lines (-h, --help).
  enum class helpKind { none, usage, options };
  helpKind help = helpKind::none;
  mstr usageTitle;  // the TEXT of "/?:TEXT"
  // A decoding level forced with "simd" (for measuring), else the best one.
  bool levelForced = false;
  reportDecode::level level = reportDecode::level::scalar;

  // What the command line got wrong, one line each: a usage error (nothing
  // is converted, exit code 2), or a warning (the run goes on).
  std::vector<mstr> usageErrors;
  std::vector<mstr> warnings;
};

// Walks the arguments (argv[1] on) once: applies the converter's options,
// and hands every other argument to `keep`, in their order, as typedArgument
// gives it.
runOptions takeRunOptions(int argc, WCHAR** argv, const std::function<void(const mstr&)>& keep);

// An argument as the user meant it: without the double quotes around it.
mstr typedArgument(const unsigned short* argument);

// How the options are spelled: as long options ("--utf8", "-o FILE"), or
// as switches ("/utf8").
enum class spelling { options, switches };
// This platform's: switches where a "/" marks them.
constexpr spelling kSpelling = platform::slashMarksSwitches ? spelling::switches : spelling::options;

// The help text: the usage text, and for helpKind::options an empty line, a
// line for each option and the exit codes after it, spelled so.
mstr helpText(runOptions::helpKind kind, spelling how = kSpelling);
// The version text: the program's name and version, copyright and licence.
mstr versionText();

// A switch the program has always known beyond its options, stored without
// being consulted: an exact form ("/?", "/install"), or a form that a value
// follows ("/?:", "/log:", the form ends in ":").
struct knownSwitch {
  const char16_t* form;
  int bit;                   // its part of the bit sum stored as "flags"
  const char16_t* storedAs;  // the name its value is stored under as well, or null
  bool takesValue() const;
};
struct knownSwitchTable {
  const knownSwitch* first;
  const knownSwitch* last;
  const knownSwitch* begin() const { return first; }
  const knownSwitch* end() const { return last; }
};
knownSwitchTable knownSwitches();

// Whether an argument is a switch: on Windows every argument that begins with
// "/"; on POSIX, where such an argument is an absolute path, only the known
// switches.
bool isSwitch(const unsigned short* argument);

#endif  // TARVIN_OPTIONS_H
