// reportQueue: writes the reports of an opened index in key order, each
// followed by its separator line (or each as one JSON line), decoding them
// straight from the mapped data files into the output bytes.
//
// The entries are cut into batches of consecutive reports. A batch is decoded
// into a buffer of its own, by a worker thread ahead of the writer or by the
// writer itself when it gets there first; the writer then writes the batches
// in order, with every error text in its place, so the output is exactly that
// of one thread. At most `window` batches (2 for each worker, and 2) are in
// flight, which bounds the memory: a batch holds at most kBatchBytes of
// encoded reports, so its output is at most kMostPerEncodedByte times that
// (for JSON and UTF-8 the batch is smaller by as much as their text is
// larger). A report larger than a batch is decoded by the writer as it
// writes it, a piece at a time straight from its mapped bytes: no report is
// ever held whole, whatever its size.
//
// Where the OEM code page maps every byte to one unit and back, the decoded
// bytes are the output bytes. Elsewhere (`viaUnits`) each decoded byte
// stands for the UTF-16 units the library decodes it to, and that text is
// converted for output.
#ifndef TARVIN_REPORTQUEUE_H
#define TARVIN_REPORTQUEUE_H

#include <cstddef>
#include <memory>

#include "mFileIndex.h"
#include "reportDecode.h"

// How reports are written.
struct reportFormat {
  enum class kind { plain, jsonl, list };
  kind how = kind::plain;
  bool utf8 = false;  // plain text as UTF-8 (JSON always is)
};

class reportQueue {
 public:
  // Encoded bytes of one batch, for the plain form.
  static constexpr std::size_t kBatchBytes = 256 * 1024;
  // The most output one encoded byte can give: a repeat of 255 in three bytes.
  static constexpr std::size_t kMostPerEncodedByte = 85;

  // `threads` counts the writer: 1 decodes everything on the calling thread.
  // `oneAtATime` writes every report as soon as it is decoded (a console).
  reportQueue(reportFormat format, reportDecode::level level, unsigned threads, bool oneAtATime,
              bool viaUnits = false);
  ~reportQueue();
  reportQueue(const reportQueue&) = delete;
  reportQueue& operator=(const reportQueue&) = delete;

  // Writes every report of the index (its path as the run shows it),
  // numbered from `counter`, which grows by one for each report written.
  // A report that cannot be read gets its error text instead, and no number;
  // one streamed in pieces that fails after some of its text was written
  // ends there, keeps its number, and its error text follows it.
  // Stops early when standard output is lost.
  void write(const mFileIndex& index, const mstr& indexPath, unsigned& counter);

  // The length, in units, of what the plain run's output string holds after
  // the last report: its text and "+++N", or 0 when it failed.
  std::size_t lastUnits() const;

 private:
  struct state;
  std::unique_ptr<state> state_;
};

#endif  // TARVIN_REPORTQUEUE_H
