// The forms of a run's reports:
//  - plain: each report's text (code page 866, or UTF-8), every line ended
//    by "\n", then its separator line "+++N": N counts the reports written,
//    from 0, across index files and directories;
//  - JSON Lines: one object per report, one per line, UTF-8:
//    {"n":N,"index":"…","key":"…","data":"ARCHIVE.07","block":B,"bytes":S,
//    "text":"…"}; "data" and "bytes" are null for a missing data file.
//    Salvaged reports (of bytes no index record names) have no index and no
//    key: "index":null,"key":null,"salvaged":true, and "data" the data
//    file's full path;
//  - list: the same objects without "text"; no report is decoded.
// Trimmed (in every form): a report's text without the empty lines that end
// it, which the zero padding of its last block decodes to.
#ifndef TARVIN_TEXTFORMS_H
#define TARVIN_TEXTFORMS_H

#include <string>

#include "reportForm.h"

class plainForm : public reportForm {
 public:
  plainForm(bool utf8, bool trim) : utf8_(utf8), trim_(trim) {}
  traits constants() const override;
  void begin(const reportSource&, unsigned) override {}
  void opening(reportFrame&, const mIndexEntry&, const reportRange&) const override {}
  void closing(reportFrame& frame, const mIndexEntry& entry, const reportRange& range,
               const reportReader::result& read) const override;

 private:
  const bool utf8_;
  const bool trim_;
};

class jsonLinesForm : public reportForm {
 public:
  explicit jsonLinesForm(bool trim) : trim_(trim) {}
  traits constants() const override;
  void begin(const reportSource& source, unsigned slot) override;
  void opening(reportFrame& frame, const mIndexEntry& entry, const reportRange& range) const override;
  void closing(reportFrame& frame, const mIndexEntry& entry, const reportRange& range,
               const reportReader::result& read) const override;

 protected:
  // The object's fields before its text.
  void fields(reportFrame& frame, const mIndexEntry& entry, const reportRange& range) const;

 private:
  const bool trim_;
  // The fields of a source's reports.
  struct sourceFields {
    bool salvaged = false;      // its reports are salvaged
    std::string indexJson;      // "path" of the index, or null
    std::string dataJson[256];  // "name" of each data file found
  };
  sourceFields sources_[kSourceSlots];
};

class listForm : public jsonLinesForm {
 public:
  explicit listForm(bool trim) : jsonLinesForm(trim) {}
  traits constants() const override;
  void opening(reportFrame& frame, const mIndexEntry& entry, const reportRange& range) const override;
  void closing(reportFrame& frame, const mIndexEntry& entry, const reportRange& range,
               const reportReader::result& read) const override;
};

#endif  // TARVIN_TEXTFORMS_H
