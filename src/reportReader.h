// reportReader: the one way a report is read. It takes the report's bytes
// where its data file holds them (mapped, every read guarded, or read whole)
// or, for reports of 256 bytes up to 4 MiB, from memory of its own that the
// system's read call filled (several reports at a time where they come in
// the order they are stored), and decodes them piece by piece, through a
// textWriter, into the form the output wants. Where the OEM code page's
// bytes are not one character each (`viaUnits`), it decodes through UTF-16
// text as the library does. No report larger than 4 MiB is copied whole, so
// a report of any size is read.
#ifndef TARVIN_REPORTREADER_H
#define TARVIN_REPORTREADER_H

#include <cstdint>

#include "byteSink.h"
#include "mFileIndex.h"
#include "reportDecode.h"
#include "textWriter.h"

class reportReader {
 public:
  reportReader(reportDecode::decoder decode, bool viaUnits) : decode_(decode), viaUnits_(viaUnits) {}
  reportReader(const reportReader&) = delete;
  reportReader& operator=(const reportReader&) = delete;

  // What reading a report gave: its characters (the OEM bytes, or the UTF-16
  // units of its text), and the damage that its decoding mended, with the
  // byte of its data file where it stands.
  struct result {
    std::uint64_t units = 0;
    reportDecode::damage damaged = reportDecode::damage::none;
    std::uint64_t damagedAt = 0;
    // The report begins at or beyond the end of its data file: it has no
    // bytes at all (damagedAt is then the file's size).
    bool beyondEnd = false;
    bool sound() const { return damaged == reportDecode::damage::none && !beyondEnd; }
  };

  // Appends the text of the report at `range` in that form to `out` (nothing
  // for a missing data file); with `trim`, without the empty lines that end
  // it (its last block's padding). Raises the data file's read error when
  // its bytes are gone; what was appended before stays.
  result read(const reportRange& range, textForm f, byteSink& out, bool trim = false);

  // Reads the report at `range` as read() does and finds the damage its
  // decoding would mend, without decoding it to text (units stays 0).
  result check(const reportRange& range);

  // Makes sure that the report can be read before any of it is written:
  // bytes that read() takes with the read call are read now, and kept for
  // it; of mapped ones every page is read once. Raises the data file's read
  // error when they cannot be read.
  void probe(const reportRange& range);

  // Reports read in the order they are stored are read ahead, with the ones
  // after them, up to this place of their data file at most (never less
  // than the report asked for); with `together`, from the next report asked
  // for on, whatever was read before. kNoLimit: a whole window.
  static constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};
  void readAheadTo(std::uint64_t end, bool together) {
    aheadEnd_ = end;
    together_ = together;
  }

  // The most room reading a report asks of its sink past the text it gives:
  // it asks for room for a whole line, or for a piece in its widest form.
  static const std::size_t kMostRoomPastText;

 private:
  // A report that has no bytes to read: its data file is missing, or it
  // begins at or past that file's end. False for any other.
  static bool withoutBytes(const reportRange& range, result& r);
  // The bytes of a report that has some (readBytes), from the first on,
  // through calls of piece(bytes, left) that each return what one decoding
  // call returns; its damage noted, mapped pages let go behind.
  template <class Piece>
  result inPieces(const reportRange& range, Piece&& piece);
  result readUnits(const reportRange& range, textForm f, byteSink& out, bool trim);
  // The report's bytes: read into a window of its data file (with the ones
  // after it, when the reports of the file come in the order they are
  // stored) or into input_, or where they are mapped. Raises the read fault
  // when they cannot be read.
  const unsigned char* readBytes(const reportRange& range);

  reportDecode::decoder decode_;
  bool viaUnits_;
  mbytes input_;  // a long report's bytes, read from its data file
  std::uint64_t inputOf_ = 0, inputFrom_ = 0;  // the opening of that file, and where they start
  // Bytes read from one data file, from `from` on.
  struct readWindow {
    mbytes bytes;
    std::uint64_t from = 0;
    std::uint64_t of = 0;       // the data file's opening
    std::uint64_t lastEnd = 0;  // where the report read last from it ends
    std::uint64_t used = 0;     // when it was used last
  };
  readWindow windows_[4];
  std::uint64_t aheadEnd_ = kNoLimit;
  bool together_ = false;
  std::uint64_t uses_ = 0;
  mbytes decoded_;  // a piece decoded before it is converted
  mbytes copy_;     // a piece of the report's bytes, on the way through text
  mstr text_;       // that piece's text
};

#endif  // TARVIN_REPORTREADER_H
