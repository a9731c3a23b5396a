// mOutput: the program's two standard streams.
//
// Everything the program writes leaves through the one mOutput of the
// process: the text of mstr (mstr::write and its callers), the bytes of
// decoded reports and the lines of JSON. It
//  - converts text to the output encoding: the OEM code page, or UTF-8;
//  - gathers standard output into one buffer and writes it when it is full,
//    so that output is a few large writes rather than two per report. The
//    buffer is written out before anything goes to standard error (the two
//    streams then interleave as they were produced, even into one file),
//    after every piece when standard output is a console, and at the end;
//  - keeps the first failed write of standard output, after which nothing
//    more is written there: the caller asks lost() and stops;
//  - keeps a progress line on standard error while standard error is a
//    console and standard output is not.
// It is used by one thread, the one that writes; the conversions below are
// plain functions that any thread may call.
#ifndef TARVIN_MOUTPUT_H
#define TARVIN_MOUTPUT_H

#include <cstddef>

#include "win32.h"

class mstr;

class mOutput {
 public:
  enum class encoding { oem, utf8 };
  // Standard output is gathered up to this many bytes.
  static constexpr std::size_t kBufferSize = 512 * 1024;

  static mOutput& get();

  // The encodings of standard output and standard error.
  void setEncodings(encoding out, encoding err) {
    encoding_ = out;
    errorEncoding_ = err;
  }
  encoding getEncoding() const { return encoding_; }
  // The size lines of long strings go to standard error instead of standard
  // output (which then holds JSON lines only).
  void setSizeLinesToError(bool toError) { sizeLinesToError_ = toError; }
  bool sizeLinesToError() const { return sizeLinesToError_; }

  // ---- Standard output ----
  // Text, converted to the output encoding.
  void text(const unsigned short* units, int count);
  // OEM text, converted when the output is UTF-8.
  void oemBytes(const unsigned char* bytes, std::size_t count);
  // Bytes already in the output encoding.
  void bytes(const void* data, std::size_t count);
  // Room for `count` bytes (at most kBufferSize) to be written in place;
  // commit() then takes the number written.
  unsigned char* room(std::size_t count);
  // The same, telling how much room there is (at least count).
  unsigned char* room(std::size_t count, std::size_t& available) {
    unsigned char* at = room(count);
    available = kBufferSize - used_;
    return at;
  }
  void commit(std::size_t count) { used_ += count; }
  // The end of one piece (a report with its separator, a usage text): on a
  // console it is shown at once.
  void endOfPiece();
  // Writes out what is gathered.
  void flush();
  // Whether a write to standard output failed, and its system error.
  bool lost() const { return lost_; }
  DWORD lostError() const { return lostError_; }
  // Whether standard output is a console (shown to a person).
  bool outputIsConsole();

  // ---- Standard error ----
  // Writes text to standard error at once, after standard output is written
  // out (and the progress line is taken away, and drawn again after it).
  void errorText(const unsigned short* units, int count);
  // An error text was written (by printErrorText, or the line of an
  // unexpected failure); their number decides a strict run's exit code.
  void countErrorText() { ++errorTexts_; }
  unsigned errorTexts() const { return errorTexts_; }
  bool errorIsConsole();

  // ---- Progress, on a console as standard error ----
  // Shows a status line from now on: redrawn at most ten times a second with
  // the reports and megabytes written, the index files done of those found
  // in the current directory, that directory, the time and the rate.
  void showProgress();
  void progressDirectory(const unsigned short* directory, int count, unsigned indexFiles);
  void progressIndexDone();
  void progressReports(unsigned reports);

  // The end of the run: standard output is written out, the progress line
  // gives way to a summary line, the console shows its own code page again.
  void finish();

  // ---- Plain conversions, for any thread ----
  // The UTF-8 of OEM bytes: room for 3 bytes each. Returns the bytes written.
  static std::size_t oemToUtf8(const unsigned char* in, std::size_t count, unsigned char* out);
  // UTF-16 text in an encoding, into room for 3 * count + 1 bytes: the OEM
  // code page as console output converts it (a byte a unit), or UTF-8 (a
  // lone surrogate as the replacement character).
  static std::size_t convert(const unsigned short* units, int count, unsigned char* out, encoding e);

 private:
  mOutput() = default;
  ~mOutput();
  mOutput(const mOutput&) = delete;
  mOutput& operator=(const mOutput&) = delete;

  struct progressState {
    bool shown = false;
    unsigned long long started = 0;   // tick of the first update
    unsigned long long drawn = 0;     // tick of the last drawing
    unsigned long long bytes = 0;     // written to standard output
    unsigned reports = 0;
    unsigned indexDone = 0;
    unsigned indexFiles = 0;
    unsigned short directory[260] = {};  // the start of the current directory's path
    int directoryLength = 0;
    int onScreen = 0;  // characters of the line now shown, 0: none
  };

  // Writes the bytes to standard output; a failure is kept.
  void writeOut(const void* data, std::size_t count);
  // Writes text to standard error as it is, in its encoding.
  void writeError(const unsigned short* units, int count);
  unsigned char* scratch(std::size_t count);
  // Lets the console show bytes of this encoding.
  void consoleFor(encoding e);
  void drawProgress(bool now);
  void clearProgress();
  void appendStatus(mstr& line, bool summary) const;
  // The characters a status line may have on the console.
  static int progressWidth();

  encoding encoding_ = encoding::oem;
  encoding errorEncoding_ = encoding::oem;
  bool sizeLinesToError_ = false;
  unsigned errorTexts_ = 0;
  int errorConsole_ = -1;
  UINT consoleCodePage_ = 0;   // what the console showed when first written to, 0: untouched
  UINT consoleShows_ = 0;      // what it shows now
  progressState progress_;
  unsigned char* buffer_ = nullptr;  // kBufferSize bytes, taken on first use
  std::size_t used_ = 0;
  bool lost_ = false;
  DWORD lostError_ = 0;
  int console_ = -1;  // standard output a console: 1, not: 0, not asked yet: -1
  unsigned char* scratch_ = nullptr;
  std::size_t scratchSize_ = 0;
};

#endif  // TARVIN_MOUTPUT_H
