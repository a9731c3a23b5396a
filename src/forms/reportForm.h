// reportForm: what a run writes around each report's text, in the form its
// options chose once: plain text, JSON Lines, the list, or (a wrapper of one
// of them) the findings of a verifying run. The writer asks a form its
// constants once (traits), and for each report what stands before and after
// its text.
#ifndef TARVIN_REPORTFORM_H
#define TARVIN_REPORTFORM_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "mFileIndex.h"
#include "reportReader.h"

// The reports a writer is given: those of an index file, or those salvaged
// from the bytes of one data file that no index record names (they have no
// index and no key).
struct reportSource {
  const mFileIndex& index;
  const mstr& path;  // the index file's path, or the salvaged data file's
  bool salvaged = false;
};

// What a form writes around one report's text, appended to the bytes of
// its batch, and where the report's number stands in them: the form places
// it, once.
class reportFrame {
 public:
  static constexpr std::size_t kNoNumber = static_cast<std::size_t>(-1);

  // `slot`: that of the form's fields of the report's source (begin()).
  reportFrame(mbytes& out, unsigned number, unsigned slot = 0) : out_(out), number_(number), slot_(slot) {}

  void append(const char* text, std::size_t length);
  template <std::size_t N>
  void append(const char (&text)[N]) {
    append(text, N - 1);
  }
  void append(const std::string& text) { append(text.data(), text.size()); }
  void appendDecimal(std::uint64_t value);
  // A text as a quoted JSON string, written where it stands.
  void appendQuoted(const mstr& text);
  // The report's number, here.
  void number();
  mbytes& bytes() { return out_; }
  unsigned slot() const { return slot_; }

  // Where the number stands in the bytes, and its digits; kNoNumber: none.
  std::size_t numberAt() const { return numberAt_; }
  unsigned numberLength() const { return numberLength_; }

 private:
  mbytes& out_;
  const unsigned number_;
  const unsigned slot_;
  std::size_t numberAt_ = kNoNumber;
  unsigned numberLength_ = 0;
};

class reportForm {
 public:
  // What stays the same for every report of a run.
  struct traits {
    bool decodes = true;     // reports are read at all
    bool writesText = true;  // and decoded into text that is written, else only checked
    textForm text = textForm::oem;
    std::size_t bytesPerCharacter = 1;  // the most one character of that text takes
    bool trims = false;                 // without the empty lines that end a report
    // The characters of the output text that a report adds besides its own
    // and its number (the "+++" of its separator), of which the size line at
    // the end counts those of the last report; kNoText: the output is no
    // text, and has no size line.
    std::size_t unitsAround = kNoText;
    bool json = false;  // its lines are JSON objects
  };
  static constexpr std::size_t kNoText = static_cast<std::size_t>(-1);

  virtual ~reportForm() = default;
  virtual traits constants() const = 0;
  // The slots of what a form keeps of a source: the reports of two sources
  // may be out at once, the last ones of one written while the first ones of
  // the next are decoded.
  static constexpr unsigned kSourceSlots = 2;
  // The reports of the source follow, their frames naming `slot`: told
  // before any of them is decoded (on the writer's thread), while no report
  // of the source that had the slot before is out.
  virtual void begin(const reportSource& source, unsigned slot) = 0;
  // What stands before a report's text, and after it (any thread).
  virtual void opening(reportFrame& frame, const mIndexEntry& entry, const reportRange& range) const = 0;
  virtual void closing(reportFrame& frame, const mIndexEntry& entry, const reportRange& range,
                       const reportReader::result& read) const = 0;
};

#endif  // TARVIN_REPORTFORM_H
