// mOutput: the process's two standard streams.
//
// Everything written to standard output or standard error leaves through
// the one mOutput of the process. It
//  - converts text to each stream's encoding: the OEM code page, or UTF-8;
//  - gathers standard output into one buffer and writes it when it is full,
//    so that output is a few large writes rather than many small ones. The
//    buffer is written out before anything goes to standard error (the two
//    streams then interleave as they were produced, even into one file),
//    after every piece when standard output is a console, and at the end;
//  - keeps the first failed write of standard output, after which nothing
//    more is written there: the caller asks lost() and stops;
//  - writes standard output to a file in its place when given one (a file
//    is never a console), and switches from file to file;
//  - lets the console show the encoding it is given, and shows its own code
//    page again at the end (consoleCodePage);
//  - takes a status line (one kept at the bottom of the console) away before
//    anything else goes to standard error, and lets it draw itself again
//    after;
//  - shows on a console, on either stream, each control character of what
//    it writes in caret notation ("^[" for ESC), so that no report text or
//    file name can act on the terminal; files and pipes get the bytes as
//    they are.
// The process has one, on its standard streams (get()); tests make others
// on streams in memory. Each is used by one thread, the one that writes; the
// conversions below are plain functions that any thread may call.
#ifndef TARVIN_MOUTPUT_H
#define TARVIN_MOUTPUT_H

#include <cstddef>
#include <memory>

#include "byteSink.h"
#include "consoleCodePage.h"
#include "mstr.h"
#include "win32.h"

class mOutput : public byteSink {
 public:
  enum class encoding { oem, utf8 };
  // Standard output is gathered up to this many bytes.
  static constexpr std::size_t kBufferSize = 512 * 1024;

  // A line kept on the console's standard error, below what is written there.
  class statusLine {
   public:
    virtual ~statusLine() = default;
    virtual void hide() = 0;  // take it away before other text comes
    virtual void show() = 0;  // draw it again after
  };

  // Where the bytes of the two streams go: the process's standard streams,
  // or memory.
  class streams {
   public:
    enum class stream { out, err };
    virtual ~streams() = default;
    // Whether the stream is a console, shown to a person.
    virtual bool isConsole(stream s) = 0;
    // Writes every byte (no bytes are one write too). False, with the
    // system's error in `error`, when a write fails.
    virtual bool write(stream s, const unsigned char* data, std::size_t count, DWORD& error) = 0;
  };

  // The process's, on its standard streams.
  static mOutput& get();
  // One on other streams, with a buffer of its own.
  explicit mOutput(streams& to);
  ~mOutput() override;
  mOutput(const mOutput&) = delete;
  mOutput& operator=(const mOutput&) = delete;

  // The encodings of standard output and standard error.
  void setEncodings(encoding out, encoding err) {
    encoding_ = out;
    errorEncoding_ = err;
  }
  encoding getEncoding() const { return encoding_; }
  encoding getErrorEncoding() const { return errorEncoding_; }

  // ---- Standard output ----
  // Text, converted to the output encoding.
  void text(const unsigned short* units, int count);
  // Bytes already in the output encoding.
  void bytes(const void* data, std::size_t count);
  // Room for at least `least` bytes (at most kBufferSize) to be written in
  // place, and how many fit; commit() then takes the number written.
  unsigned char* room(std::size_t least, std::size_t& available) override;
  void commit(std::size_t count) override { used_ += count; }
  // The end of one piece (a report with its separator, a usage text): on a
  // console it is shown at once.
  void endOfPiece();
  // Writes out what is gathered.
  void flush();
  // Whether a write to standard output failed, and its system error.
  bool lost() const { return lost_; }
  DWORD lostError() const { return lostError_; }
  // Whether standard output is a console (shown to a person); a file never is.
  bool outputIsConsole();
  // From now on standard output goes to `file`, a handle open for writing
  // that the writer then owns; null: the process's standard output again.
  // What is gathered goes out first, to where it was going. Returns the file
  // that was written to until now (its owner is the caller again), or null.
  HANDLE useFile(HANDLE file);
  // Writes out what is gathered and closes the file standard output goes
  // to, if any; the process's standard output follows.
  void closeFile();
  // The bytes written to standard output so far.
  unsigned long long written() const { return written_; }

  // ---- Standard error ----
  // Writes text to standard error at once, after standard output is written
  // out, the status line (if any) taken away for it.
  void errorText(const unsigned short* units, int count);
  // Writes UTF-8 bytes (JSON) to standard error, the same way.
  void errorBytes(const void* data, std::size_t count);
  bool errorIsConsole();
  // The status line, or none.
  void setStatusLine(statusLine* line) { status_ = line; }
  // Writes the status line's own text, its controls ("\r") as they are, to
  // standard error.
  void statusText(const unsigned short* units, int count) { writeError(units, count, false); }

  // The end of the run: standard output is written out, the console shows
  // its own code page again.
  void finish();

  // ---- Plain conversions, for any thread ----
  // UTF-16 text in an encoding, into room for 3 * count + 1 bytes: the OEM
  // code page as console output converts it (a byte a unit), or UTF-8 (a
  // lone surrogate as the replacement character).
  static std::size_t convert(const unsigned short* units, int count, unsigned char* out, encoding e);

  // ---- Control characters on a console ----
  // How a console shows a character that would act on it rather than show:
  // C0 controls but line feed and tab (and a CR before a line feed, which
  // ends the system's texts), DEL, and C1 controls (U+0080 to U+009F), in
  // the caret notation of "cat -v": ESC "^[", BEL "^G", DEL "^?", U+0085
  // "M-^E". Writes it to `out` (room for 4) and returns its length; 0 for a
  // character shown as it is.
  static std::size_t controlNotation(char32_t c, bool beforeLineFeed, char* out);
  // Appends text as a console shows it: each control character in that
  // notation.
  static void appendShown(mstr& out, const unsigned short* units, int count);

 private:
  typedef streams::stream stream;
  mOutput(streams& to, unsigned char* buffer) : streams_(to), buffer_(buffer) {}

  // Writes the bytes to standard output; a failure is kept.
  void writeOut(const void* data, std::size_t count);
  // Writes text to standard error in its encoding; on a console its control
  // characters shown in notation, if asked.
  void writeError(const unsigned short* units, int count, bool shown);
  // Writes bytes of an encoding to a stream, on a console its control
  // characters in notation when `shown`. False, with the system's error in
  // `error`, when a write fails. Even no bytes are one write.
  bool writeBytes(stream s, const unsigned char* data, std::size_t count, encoding e, bool shown, DWORD& error);
  // The same as they are, to standard output's file when it has one.
  bool send(stream s, const unsigned char* data, std::size_t count, DWORD& error);
  unsigned char* scratch(std::size_t count);

  streams& streams_;
  std::unique_ptr<unsigned char[]> ownBuffer_;
  encoding encoding_ = encoding::oem;
  encoding errorEncoding_ = encoding::oem;
  int errorConsole_ = -1;
  consoleCodePage codePage_;
  statusLine* status_ = nullptr;
  unsigned char* buffer_;  // kBufferSize bytes
  std::size_t used_ = 0;
  unsigned long long written_ = 0;
  bool lost_ = false;
  DWORD lostError_ = 0;
  int console_ = -1;  // standard output a console: 1, not: 0, not asked yet: -1
  HANDLE file_ = nullptr;  // where standard output goes instead, or null
  unsigned char* scratch_ = nullptr;
  std::size_t scratchSize_ = 0;
};

#endif  // TARVIN_MOUTPUT_H
