// outputFiles: the files that take the output instead of standard output,
// the one of -o FILE and those of --split=DIR.
#ifndef TARVIN_OUTPUTFILES_H
#define TARVIN_OUTPUTFILES_H

#include <set>
#include <tuple>

#include "mFileObject.h"
#include "mOutput.h"
#include "reportFormat.h"

// The file of -o: made, or emptied when it was there, as a redirection
// does. Raises the run's error when it cannot be made.
HANDLE openOutputFile(const mstr& path);

// The split file of an index found below a search-path entry: the
// directory, the index's path below the entry (its name alone when the
// entry does not lead to it), ".txt" in place of its extension.
mstr splitFileName(const mstr& directory, const mFileObject& entry, const mFileObject& index);

// The files of a split run: one for each index file, written in turn
// through the one writer. A file that was there is replaced only when asked
// (force), and one this run wrote never is: its index gets error 80, as
// Windows gives when a new file's name is taken. The file of the last
// report written stays open until a later file holds a report, so that the
// size line at the end of the run follows that report's text.
class splitOutput {
 public:
  splitOutput(const mstr& directory, bool force, mOutput& output);
  ~splitOutput();
  splitOutput(const splitOutput&) = delete;
  splitOutput& operator=(const splitOutput&) = delete;

  // Makes the directory; raises the run's error when it cannot.
  void prepare();
  // Sends the output to the file of an index found below `entry`, from
  // report `counter` on, what the file before still had to take already
  // written out. False, after its error text, when the file cannot be had:
  // the index is skipped.
  bool begin(const mFileObject& entry, const mFileObject& index, unsigned counter, reportFormat& format);
  // At the end of the run: the output goes back to the file of the last
  // report written, when a later file holds none, what it still had to take
  // already written out.
  void end(unsigned counter);
  // The file being written, or null before the first one.
  const mstr* current() const { return name_.get_count() > 0 ? &name_ : nullptr; }

 private:
  typedef std::tuple<DWORD, DWORD, DWORD> identity;  // volume, file index

  HANDLE open(const mstr& path);
  bool writtenBefore(const mstr& path) const;

  mstr directory_;
  const bool force_;
  mOutput& output_;
  std::set<identity> written_;  // every file this run opened
  mstr name_;                   // the file being written
  unsigned counterAtOpen_ = 0;  // the number of the first report it may hold
  HANDLE holding_ = nullptr;    // the file of the last report written, when it is another one
  mstr holdingName_;
};

#endif  // TARVIN_OUTPUTFILES_H
