// reportFormat: what a run writes, every rule of it in one place.
//
//  - Plain: each report's text (code page 866, or UTF-8), every line ended by
//    "\n", then its separator line "+++N": N counts the reports written, from
//    0, across index files and directories.
//  - JSON lines: one object per report, one per line, UTF-8:
//    {"n":N,"index":"…","key":"…","data":"ARCHIVE.07","block":B,"bytes":S,
//    "text":"…"}; "data" and "bytes" are null for a missing data file.
//  - List: the same objects without "text"; no report is decoded.
//  - Trimmed (in every form): a report's text without the empty lines that
//    end it, which the zero padding of its last block decodes to.
//  - Verify: every report is decoded and no text written; a line for each
//    damaged report or index file (index, key, data file, what is wrong, at
//    which byte), each index file, data file or directory that could not be
//    read, then a summary line of every count; as JSON objects with JSON
//    lines.
//  - Salvaged reports (of bytes no index record names) have no index and no
//    key: in the JSON forms "index":null,"key":null,"salvaged":true, and
//    "data" the data file's full path; --key selects none of them.
//  - Error texts go to standard error, in the layout of mEx, each where it
//    was met among the reports; in the JSON modes, where standard error
//    holds JSON objects alone, one a line, each is its JSON form instead:
//    {"code":N,"message":"…","file":"…","function":"…","line":N,
//    "level":"report|index|directory|run|warning","text":"…"}, "text" the whole
//    text.
//  - The program's one-line texts on standard error ("tarvin: …": usage
//    errors, warnings, no index file found, a list that names nothing) are
//    in the JSON modes {"kind":"…","text":"…"}.
//  - The size line "<>Размер строки<> N" of a text longer than 10000
//    characters: of the output text left at the end of a run (the last
//    report with its separator, or the usage text) and of the text of each
//    list file. It goes to standard output, or, in the JSON modes, where
//    nothing but JSON may go there, to standard error as
//    {"kind":"size line","text":"…"}; so does the line "Ошибка! N"
//    ("kind":"failure").
#ifndef TARVIN_REPORTFORMAT_H
#define TARVIN_REPORTFORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mFileIndex.h"
#include "mOutput.h"
#include "reportReader.h"

// What an error ended: a report, an index file, a directory (a search-path
// entry, or a directory of its tree that could not be listed, and what lies
// below it), the run.
// Or nothing, a warning of damage, which counts as no error text.
enum class errorLevel { report, index, directory, run, warning };

// What a run read, for the summary of a verifying run and its exit code.
struct runTally {
  unsigned indexes = 0;                // index files converted
  unsigned indexesFailed = 0;          // index files that could not be opened or loaded
  std::uint64_t reports = 0;           // reports read
  std::uint64_t bytes = 0;             // of report codes read: the bytes that records name
  std::uint64_t damaged = 0;           // reports and index files whose damage was mended
  unsigned dataUsed = 0;               // data files read
  unsigned dataMissing = 0;            // data files that records name, not there
  unsigned dataUnreadable = 0;         // data files that records name, there but unreadable
  unsigned directoriesUnreadable = 0;  // directories that could not be listed
  unsigned dataOrphaned = 0;           // data files that no record names
  unsigned rangesUnreferenced = 0;     // leading ranges of data files that no record names
  std::uint64_t bytesUnreferenced = 0;  // of orphaned data files and unreferenced ranges
  std::uint64_t salvaged = 0;          // salvaged reports written
};

class reportFormat {
 public:
  enum class kind { plain, jsonl, list };
  static constexpr std::size_t kNoNumber = static_cast<std::size_t>(-1);

  struct settings {
    settings(kind h = kind::plain, bool u = false) : how(h), utf8(u) {}  // NOLINT: {kind} reads as a form
    kind how = kind::plain;
    bool utf8 = false;    // plain text in UTF-8 instead of the OEM code page
    bool verify = false;  // decode, write no text, tell the damage
    bool trim = false;    // leave out the empty lines that end a report
    std::vector<mstr> keys;  // wildcard patterns: only reports whose key matches one (none: all)
  };

  reportFormat(const settings& s, mOutput& output)
      : how_(s.verify && s.how == kind::list ? kind::jsonl : s.how), utf8_(s.utf8), verify_(s.verify), trim_(s.trim),
        keys_(s.keys), output_(output) {}

  kind how() const { return how_; }
  bool verifies() const { return verify_; }
  // Whether a report's text goes without the empty lines that end it.
  bool trims() const { return trim_; }
  // Whether a report is written at all: its key matches a pattern asked for
  // ("*" any run, "?" one character, letter case ignored, as the index mask
  // matches names), or none was. The others are not read, and get no number.
  bool selects(const mIndexEntry& entry) const;
  // Whether a report is decoded at all.
  bool decodes() const { return how_ != kind::list; }
  // Whether its text is written, once decoded.
  bool writesText() const { return how_ != kind::list && !verify_; }
  // The form its text takes.
  reportReader::form textForm() const {
    if (verify_) return reportReader::form::oem;  // decoded to be kept nowhere
    return how_ == kind::jsonl ? reportReader::form::json : utf8_ ? reportReader::form::utf8 : reportReader::form::oem;
  }
  // The most bytes one character of a report's text takes in that form.
  std::size_t bytesPerCharacter() const;

  // The texts every report of an index repeats: its path, its data files.
  void beginIndex(const mFileIndex& index, const mstr& indexPath);
  // The same for the salvaged reports of one data file (`set` holds it and
  // them, with no key).
  void beginSalvage(const mFileIndex& set, const mstr& dataPath);
  // What comes before a report's text in `out`: nothing in the plain form,
  // the object's fields in the JSON ones. Returns where its number stands,
  // or kNoNumber.
  std::size_t opening(mbytes& out, const mIndexEntry& entry, const reportRange& range, unsigned number) const;
  // What comes after it: the separator line, or the end of the object; when
  // verifying, a line for its damage, if it was damaged. Returns where its
  // number stands, or kNoNumber.
  std::size_t closing(mbytes& out, const mIndexEntry& entry, const reportRange& range, unsigned number,
                      const reportReader::result& read) const;
  // The characters a report leaves in the output text, whose size line the
  // run may end with: in the plain form its text, "+++" and its number; none
  // in the JSON ones (no object is that text).
  std::uint64_t outputUnits(std::uint64_t textUnits, unsigned number) const;

  // Writes the text of an error where error texts go, and counts it.
  void error(const mEx& error, errorLevel level);
  unsigned errorTexts() const { return errorTexts_; }
  // The damage of an index file itself (a trailing piece shorter than a
  // record), and its data files that were missing or unreadable, when
  // verifying: written at once.
  void indexDamage(const mFileIndex& index);
  // An index file that could not be opened or loaded, and a directory that
  // could not be listed, when verifying: written at once.
  void indexFailed(const mstr& indexPath) const;
  void directoryUnreadable(const mstr& directoryPath) const;
  // The warning for the bytes [0, end) of a data file that no index record
  // names: the whole file (orphaned), or the range before its first named
  // block; when verifying, its finding too.
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
  // The summary of a verifying run.
  void summary(const runTally& tally) const;

  // A one-line text of the program's own for standard error, ended by a
  // line feed: as it is in the plain form, in the JSON ones as
  // {"kind":"<what>","text":"…"}.
  void notice(const char* what, const mstr& line) const;

  // The size line of a text of `units` characters, when it has one.
  void sizeLine(std::uint64_t units) const;
  // The line "Ошибка! N" of a failure that is no error of the library, N the
  // system's last error code: where the reports go in the plain form, with
  // the error texts in the JSON ones. It counts as an error text.
  void unexpectedFailure(DWORD lastError);

 private:
  // A line of its own on standard output (its text converted) in the plain
  // form; in the JSON ones, where standard output holds reports alone, a
  // notice of that kind on standard error.
  void line(const char* what, const mstr& text) const;
  // The field "text" of an object and the object's end.
  static std::string textField(const unsigned short* text, int count);
  // A finding of a verifying run: where it is (an index, or a directory),
  // what is damaged there (a report's key, a data file, or the index or
  // directory itself), each when known, the name of the damage, and the
  // byte where it stands (kNoByte: none).
  static constexpr std::uint64_t kNoByte = static_cast<std::uint64_t>(-1);
  void finding(mbytes& out, const mstr* where, const mstr* key, const mstr* data, const char* damage,
               std::uint64_t at) const;
  // The same, written at once.
  void findingNow(const mstr& where, const mstr* data, const char* damage) const;
  static const char* damageOf(const reportReader::result& read);

  kind how_;
  bool utf8_;
  bool verify_;
  bool trim_;
  std::vector<mstr> keys_;
  mOutput& output_;
  unsigned errorTexts_ = 0;
  mstr indexPath_;              // of the index being written
  bool salvaging_ = false;      // salvaged reports are being written
  mstr dataPath_;               // their data file's full path
  std::string indexJson_;       // "path" of the index
  std::string dataJson_[256];   // "name" of each data file found
};

#endif  // TARVIN_REPORTFORMAT_H
