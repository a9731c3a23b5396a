// reportWriter: writes the reports of opened indexes in key order, each in
// the run's form, decoding them ahead on every core.
//
// An index's entries are cut into batches of consecutive reports, handed out
// on an ordered queue: a batch is decoded into a buffer of its own by a
// worker thread ahead of the writer, or by the writer itself when it gets
// there first; the writer then writes the batches in order, with every error
// text in its place, so the output is exactly that of one thread. At most a
// window of batches is out (2 for each thread, and 4 more while batches are
// cut small; 2 for the writer alone), which bounds the memory: a batch holds
// at most kBatchBytes of encoded reports (fewer where each character takes
// several bytes), so its output is at most reportDecode::kMostPerCodeByte
// times that. A report larger than a batch is a batch of its own, which the
// writer decodes as it writes it, in pieces.
#ifndef TARVIN_REPORTWRITER_H
#define TARVIN_REPORTWRITER_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "errorSink.h"
#include "keyFilter.h"
#include "mFileIndex.h"
#include "mOutput.h"
#include "progress.h"
#include "reportDecode.h"
#include "reportForm.h"
#include "runTally.h"

class reportWriter {
 public:
  // Encoded bytes of one batch at most, for text of a byte a character.
  static constexpr std::size_t kBatchBytes = 256 * 1024;

  // How it reads the reports.
  struct reading {
    reportDecode::decoder decode;
    // Through UTF-16 text (a code page whose bytes are not their own
    // characters).
    bool viaUnits = false;
    // The threads that decode, the writer's counted: 1 decodes everything on
    // the calling thread.
    unsigned threads = 1;
    // Every report written as soon as it is decoded (a console).
    bool oneAtATime = false;
  };

  // Writes the reports `keys` selects in `form` to `output`, the error
  // texts of those that fail to `errors`; what it reads is counted in
  // `tally`. `shown`, when given, hears of the reports written.
  reportWriter(reportForm& form, const keyFilter& keys, mOutput& output, errorSink& errors, runTally& tally,
               const reading& how, progress* shown = nullptr);
  ~reportWriter();
  reportWriter(const reportWriter&) = delete;
  reportWriter& operator=(const reportWriter&) = delete;

  // Writes every report of the source, numbered from `counter`, which grows
  // by one for each report written; the form is told of the source first. A
  // report that cannot be read gets its error text instead, and no number.
  // Stops early when the output is lost.
  //
  // `next`, when given, is the source whose reports are written next: its
  // first batches are cut and decoded while the last ones of this source
  // are written, so that no thread waits at the end of a small index. The
  // next call must then write `next`, which stays alive until it does, or
  // drop it with dropAhead().
  void write(const reportSource& source, unsigned& counter, const reportSource* next = nullptr);
  // Drops what was decoded ahead of the source told as the next: it will not
  // be written. Nothing of it is read any more afterwards.
  void dropAhead();

  // The characters the output text holds after the last report written (its
  // text and separator), or 0 when it failed.
  std::uint64_t lastUnits() const;

 private:
  struct state;
  std::unique_ptr<state> state_;
};

#endif  // TARVIN_REPORTWRITER_H
