// reportWriter: writes the reports of opened indexes in key order, each as
// the format wants it, decoding them ahead on every core.
//
// An index's entries are cut into batches of consecutive reports, handed out
// on an ordered queue: a batch is decoded into a buffer of its own by a
// worker thread ahead of the writer, or by the writer itself when it gets
// there first; the writer then writes the batches in order, with every error
// text in its place, so the output is exactly that of one thread. At most a
// window of batches is out (2 for each worker, and 2), which bounds the
// memory: a batch holds at most kBatchBytes of encoded reports (fewer where
// each character takes several bytes), so its output is at most
// reportDecode::kMostPerCodeByte times that. A report larger than a batch is
// a batch of its own, which the writer decodes as it writes it, in pieces.
#ifndef TARVIN_REPORTWRITER_H
#define TARVIN_REPORTWRITER_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "mFileIndex.h"
#include "progress.h"
#include "reportDecode.h"
#include "reportFormat.h"

class reportWriter {
 public:
  // Encoded bytes of one batch at most, for text of a byte a character.
  static constexpr std::size_t kBatchBytes = 256 * 1024;

  // `threads` counts the writer: 1 decodes everything on the calling thread.
  // `oneAtATime` writes every report as soon as it is decoded (a console).
  // `viaUnits` decodes through UTF-16 text (a code page whose bytes are not
  // their own characters). `shown`, when given, hears of the reports written.
  // What it reads is counted in `tally`.
  reportWriter(reportFormat& format, runTally& tally, reportDecode::decoder decode, bool viaUnits, unsigned threads,
               bool oneAtATime, progress* shown = nullptr);
  ~reportWriter();
  reportWriter(const reportWriter&) = delete;
  reportWriter& operator=(const reportWriter&) = delete;

  // Writes every report of the index (the format has begun it), numbered
  // from `counter`, which grows by one for each report written. A report
  // that cannot be read gets its error text instead, and no number. Stops
  // early when standard output is lost.
  void write(const mFileIndex& index, unsigned& counter);

  // The characters the output text holds after the last report written (its
  // text and separator), or 0 when it failed.
  std::uint64_t lastUnits() const;

 private:
  struct state;
  std::unique_ptr<state> state_;
};

#endif  // TARVIN_REPORTWRITER_H
