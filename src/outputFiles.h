// outputFiles: the files that take the output instead of standard output,
// the one of -o FILE and those of --split=DIR.
//
// No output file destroys an input, reaches outside its folder, or looks
// complete when it is not:
//  - each is written under a temporary name in its target's folder
//    (".NAME.tarvin-XXXXXX", made new, never through a link) and renamed
//    over the target once complete; a failure removes it, and so does an
//    interruption of the process (Ctrl+C, SIGINT, SIGTERM), which then ends
//    with exit code 130 or 143;
//  - an -o FILE that exists and is no regular file (a device such as
//    /dev/null, a FIFO, a console) is written directly, and its open never
//    waits; an -o FILE that is a link to a regular file has that file
//    replaced;
//  - a target that is one of the run's inputs (a list file, an index or a
//    data file, told by volume and file index, so also through a link) is
//    not replaced: an error text names it;
//  - below the split directory no link is followed: a directory on the way
//    that is a link or no directory, and with --force a link, directory or
//    special file where a split file goes, are errors naming them, and the
//    index is skipped.
#ifndef TARVIN_OUTPUTFILES_H
#define TARVIN_OUTPUTFILES_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "mFileIndex.h"
#include "mOutput.h"
#include "errorSink.h"

// What tells one file from every other, through any link or name: the
// volume and the file index.
typedef std::tuple<DWORD, DWORD, DWORD> fileIdentity;

// The list files of these names ("-" standard input), those that can be
// opened.
std::vector<fileIdentity> listFileIdentities(const std::vector<mstr>& names);

// The split file of an index found below a search-path entry: the
// directory, the entry's name there (`entryName`), the index's path below
// the entry (its name alone when the entry does not lead to it), each name
// as appendSplitName writes it, ".txt" in place of its extension. For the
// salvaged text of a data file (`whole`), ".txt" after its whole name.
mstr splitFileName(const mstr& directory, const mstr& entryName, const mFileObject& entry, const mFileObject& index,
                   bool whole = false);
// Appends a name from the file system as one name below the split
// directory, so that it never leaves it nor reads as an option: "%" and two
// hex digits for a control character, "%", "/", "\" and ":", for the dots
// of "." and "..", and for a "-" that starts it.
void appendSplitName(mstr& out, const unsigned short* name, int length);

// A file written under a temporary name beside its target, until it is put
// in its place or removed.
struct pendingFile {
  mstr target;
  mstr temporary;        // empty: none (the target is written directly, or nothing is pending)
  bool replace = false;  // the target was there, and may be replaced
};

// The file of -o: standard output goes there.
class outputFile {
 public:
  outputFile(const mstr& path, mOutput& output);
  ~outputFile();  // a temporary still there is removed
  outputFile(const outputFile&) = delete;
  outputFile& operator=(const outputFile&) = delete;

  // Sends the output there; raises the run's error when the file cannot be
  // had, or is one of the list files.
  void open(const std::vector<fileIdentity>& listFiles);
  // An index opened, with its data files: the file may be one of them.
  void opened(const mFileIndex& index);
  // At the end, the output written out: the file is put in place when the
  // output is `complete`, else left as it was. False after an error text
  // when it could not be put in place.
  bool finish(bool complete, errorSink& errors);
  const mstr& name() const { return path_; }

 private:
  mstr path_;
  mOutput& output_;
  pendingFile file_;
  bool known_ = false;  // it was there: its identity and size
  fileIdentity identity_;
  std::uint64_t size_ = 0;
  bool isInput_ = false;
};

// The files of a split run: one for each index file, written in turn
// through the one writer. A file that was there is replaced only when asked
// (force), and one this run wrote never is: its index gets error 80, as
// Windows gives when a new file's name is taken. The file of the last
// report written stays pending (and open) until a later file holds a
// report, so that the size line at the end of the run follows that
// report's text.
class splitOutput {
 public:
  splitOutput(const mstr& directory, bool force, mOutput& output);
  ~splitOutput();  // temporaries still there are removed
  splitOutput(const splitOutput&) = delete;
  splitOutput& operator=(const splitOutput&) = delete;

  // Makes the directory, or checks that it is one in which files can be
  // made; raises the run's error when it is not. The list files are never
  // replaced.
  void prepare(std::vector<fileIdentity> listFiles);
  // Sends the output to the file of an index found below `entry`, from
  // report `counter` on, what the file before still had to take already
  // written out; with `whole`, to the file of a data file's salvaged text.
  // False, after its error text, when the file cannot be had: the index is
  // skipped.
  bool begin(const mFileObject& entry, const mFileObject& index, unsigned counter, errorSink& errors,
             bool whole = false);
  // The end of the conversions: the output goes back to the file of the
  // last report written, when a later file holds none, what it still had
  // to take already written out.
  void end(unsigned counter, errorSink& errors);
  // At the end, the output written out: the files are put in place, but
  // the one being written only when the output is `complete`. False when an
  // index file was skipped or a file could not be put in place, after
  // their error texts.
  bool finish(bool complete, errorSink& errors);
  // The file being written, or null before the first one.
  const mstr* current() const { return current_.target.get_count() > 0 ? &current_.target : nullptr; }

 private:
  const mstr& entryName(const mFileObject& entry);
  HANDLE open(const mstr& path, pendingFile& file);
  void makeWay(const mstr& path) const;
  void put(pendingFile& file, errorSink& errors);

  mstr directory_;
  const bool force_;
  mOutput& output_;
  std::vector<fileIdentity> listFiles_;
  std::set<fileIdentity> written_;      // every file this run made
  std::set<std::u16string> claimed_;    // the targets of the files still pending
  std::map<std::u16string, mstr> entryNames_;  // each entry's name there, by its absolute path
  std::set<std::u16string> entryNamesTaken_;   // those names, letter case folded
  pendingFile current_;                 // the file being written
  unsigned counterAtOpen_ = 0;          // the number of the first report it may hold
  HANDLE holding_ = nullptr;            // the file of the last report written, when it is another one
  pendingFile held_;
  unsigned failed_ = 0;  // index files skipped, and files that could not be put in place
};

#endif  // TARVIN_OUTPUTFILES_H
