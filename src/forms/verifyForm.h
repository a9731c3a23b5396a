// verifyForm: the form of a verifying run, around the form the other
// options chose. Every report is read and checked for all that decoding it
// would mend, and no text is written: a line for each damaged report or
// index file (index, key, data file, what is wrong, at which byte), for each
// index file, data file or directory that could not be read, and for the
// bytes no index record names, then a summary line of every count; in
// words, or as JSON objects where the form it wraps writes JSON.
#ifndef TARVIN_VERIFYFORM_H
#define TARVIN_VERIFYFORM_H

#include <cstdint>

#include "mOutput.h"
#include "reportForm.h"
#include "runTally.h"

class verifyForm : public reportForm {
 public:
  verifyForm(const reportForm& wrapped, mOutput& output);
  traits constants() const override { return traits_; }
  void begin(const reportSource& source, unsigned slot) override;
  void opening(reportFrame&, const mIndexEntry&, const reportRange&) const override {}
  // A line for the report's damage, if it was damaged.
  void closing(reportFrame& frame, const mIndexEntry& entry, const reportRange& range,
               const reportReader::result& read) const override;

  // Written at once: the damage of an index file itself (a trailing piece
  // shorter than a record), and its data files that were missing or
  // unreadable;
  void indexDamage(const mFileIndex& index, const mstr& indexPath) const;
  // an index file that could not be opened or loaded, a directory that
  // could not be listed;
  void indexFailed(const mstr& indexPath) const;
  void directoryUnreadable(const mstr& directoryPath) const;
  // the bytes [0, end) of a data file that no index record names: the whole
  // file (orphaned), or the range before its first named block;
  void unnamedBytes(const mstr& dataPath, std::uint64_t end, bool orphaned) const;
  // the summary of the run.
  void summary(const runTally& tally, unsigned errorTexts) const;

  // What a finding tells.
  enum class damage {
    lineCut,
    repeatCut,
    beyondEnd,
    trailingPiece,
    indexFailed,
    dataMissing,
    dataUnreadable,
    directoryUnreadable,
    orphanedData,
    unreferencedBytes
  };

 private:
  // A finding: where it is (an index, or a directory), what is damaged
  // there (a report's key, a data file, or the index or directory itself),
  // each when known, the damage, and the byte where it stands (kNoByte:
  // none).
  static constexpr std::uint64_t kNoByte = static_cast<std::uint64_t>(-1);
  void finding(mbytes& out, const mstr* where, const mstr* key, const mstr* data, damage d, std::uint64_t at) const;
  // The same, written at once.
  void findingNow(const mstr* where, const mstr* data, damage d, std::uint64_t at = kNoByte) const;

  traits traits_;
  mOutput& output_;
  // The source of the reports of each slot.
  struct sourceFields {
    mstr path;
    bool salvaged = false;
  };
  sourceFields sources_[kSourceSlots];
};

#endif  // TARVIN_VERIFYFORM_H
