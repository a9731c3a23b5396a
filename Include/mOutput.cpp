#include "mOutput.h"

#include <cstdlib>
#include <cstring>

#include "oemTable.h"

namespace {

// Standard output is gathered here; it lives as long as the process.
alignas(64) unsigned char outputBuffer[mOutput::kBufferSize];

// A chunk this large goes to the system as it is, without a copy.
constexpr std::size_t kDirectWrite = 64 * 1024;
// WriteFile takes a 32-bit count.
constexpr std::size_t kLargestWrite = 1u << 30;

// Writes every byte to a handle. A pipe may take part of a write (Wine's
// does when its reader goes away meanwhile): the rest is written again, so
// that the failure the system gives is the one kept.
bool writeHandle(HANDLE handle, const unsigned char* at, std::size_t size, DWORD& error) {
  do {
    DWORD part = static_cast<DWORD>(size < kLargestWrite ? size : kLargestWrite);
    DWORD written = 0;
    if (!WriteFile(handle, at, part, &written, nullptr)) {
      error = GetLastError();
      return false;
    }
    if (written == 0 && part != 0) {
      error = ERROR_GEN_FAILURE;
      return false;
    }
    at += written;
    size -= written;
  } while (size > 0);
  return true;
}

// The process's standard streams. A process without one (a null handle)
// still writes to it, and the write fails.
class standardStreams : public mOutput::streams {
 public:
  bool isConsole(stream s) override {
    DWORD mode = 0;
    return GetConsoleMode(handle(s), &mode) != 0;
  }
  bool write(stream s, const unsigned char* data, std::size_t count, DWORD& error) override {
    return writeHandle(handle(s), data, count, error);
  }

 private:
  static HANDLE handle(stream s) { return GetStdHandle(s == stream::out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }
};

}  // namespace

mOutput& mOutput::get() {
  static standardStreams process;
  static mOutput output(process, outputBuffer);
  return output;
}

mOutput::mOutput(streams& to) : mOutput(to, nullptr) {
  ownBuffer_.reset(new unsigned char[kBufferSize]);
  buffer_ = ownBuffer_.get();
}

mOutput::~mOutput() {
  finish();
  std::free(scratch_);
}

std::size_t mOutput::convert(const unsigned short* units, int count, unsigned char* out, encoding e) {
  int n = 0;
  if (e == encoding::oem) {
    char* bytes = reinterpret_cast<char*>(out);
    n = oemTable::get().narrow(units, count, bytes);
    // A unit outside the table: the system's conversion, into count + 1
    // bytes, as the code page is taken to have one byte a character.
    if (n < 0)
      n = WideCharToMultiByte(CP_OEMCP, 0, reinterpret_cast<LPCWSTR>(units), count, bytes, count + 1,
                              nullptr, nullptr);
  } else if (count > 0) {
    // A lone surrogate has no UTF-8: the system writes the replacement character.
    n = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(units), count, reinterpret_cast<LPSTR>(out),
                            3 * count + 1, nullptr, nullptr);
  }
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::size_t mOutput::controlNotation(char32_t c, bool beforeLineFeed, char* out) {
  if (c == u'\n' || c == u'\t' || (c == u'\r' && beforeLineFeed)) return 0;
  std::size_t n = 0;
  if (c >= 0x80 && c < 0xA0) {
    out[n++] = 'M';
    out[n++] = '-';
    c -= 0x80;
  } else if (c >= 0x20 && c != 0x7F) {
    return 0;
  }
  out[n++] = '^';
  out[n++] = static_cast<char>(c == 0x7F ? '?' : c + 0x40);
  return n;
}

void mOutput::appendShown(mstr& out, const unsigned short* units, int count) {
  for (int i = 0; i < count; ++i) {
    char notation[4];
    const std::size_t n = controlNotation(units[i], i + 1 < count && units[i + 1] == u'\n', notation);
    if (n == 0) out.push_value(units[i]);
    for (std::size_t k = 0; k < n; ++k) out.push_value(static_cast<unsigned short>(notation[k]));
  }
}

bool mOutput::send(stream s, const unsigned char* data, std::size_t count, DWORD& error) {
  if (s == stream::out && file_) return writeHandle(file_, data, count, error);
  return streams_.write(s, data, count, error);
}

bool mOutput::writeBytes(stream s, const unsigned char* data, std::size_t count, encoding e, bool shown,
                         DWORD& error) {
  if (!shown) return send(s, data, count, error);
  // Through a buffer of its own, a part at a time, so that no write
  // allocates however long the text is. In UTF-8 a C1 control is the two
  // bytes C2 80 to C2 9F; in the OEM code page those bytes are letters.
  unsigned char part[4096];
  std::size_t used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (used + 4 > sizeof part) {
      if (!send(s, part, used, error)) return false;
      used = 0;
    }
    char32_t c = data[i];
    const bool c1 = e == encoding::utf8 && c == 0xC2 && i + 1 < count && data[i + 1] >= 0x80 && data[i + 1] < 0xA0;
    if (c1) c = data[++i];
    const std::size_t n =
        c < 0x80 || c1 ? controlNotation(c, i + 1 < count && data[i + 1] == '\n', reinterpret_cast<char*>(part + used))
                       : 0;
    if (n == 0 && c1) part[used++] = 0xC2;
    if (n == 0) part[used++] = static_cast<unsigned char>(c);
    used += n;
  }
  return send(s, part, used, error);
}

unsigned char* mOutput::scratch(std::size_t count) {
  if (count > scratchSize_) {
    void* grown = std::realloc(scratch_, count);
    if (!grown) return nullptr;
    scratch_ = static_cast<unsigned char*>(grown);
    scratchSize_ = count;
  }
  return scratch_;
}

void mOutput::text(const unsigned short* units, int count) {
  if (count <= 0) return;
  std::size_t need = 3 * static_cast<std::size_t>(count) + 1;
  if (need <= kBufferSize) {
    std::size_t available = 0;
    unsigned char* at = room(need, available);
    commit(convert(units, count, at, encoding_));
    return;
  }
  if (unsigned char* converted = scratch(need)) {
    bytes(converted, convert(units, count, converted, encoding_));
  } else if (!lost_) {
    lost_ = true;  // no room to convert it: the text would be lost
    lostError_ = ERROR_NOT_ENOUGH_MEMORY;
  }
}

void mOutput::bytes(const void* data, std::size_t count) {
  if (count == 0) return;  // an empty piece may come without any bytes behind it
  if (count >= kDirectWrite) {
    flush();
    writeOut(data, count);
    return;
  }
  std::size_t available = 0;
  std::memcpy(room(count, available), data, count);
  commit(count);
}

unsigned char* mOutput::room(std::size_t least, std::size_t& available) {
  if (kBufferSize - used_ < least) flush();
  available = kBufferSize - used_;
  return buffer_ + used_;
}

void mOutput::endOfPiece() {
  if (outputIsConsole()) flush();
}

void mOutput::flush() {
  if (used_ == 0) return;
  std::size_t count = used_;
  used_ = 0;
  writeOut(buffer_, count);
}

HANDLE mOutput::useFile(HANDLE file) {
  flush();
  HANDLE previous = file_;
  file_ = file;
  return previous;
}

void mOutput::closeFile() {
  if (HANDLE file = useFile(nullptr)) CloseHandle(file);
}

bool mOutput::outputIsConsole() {
  if (file_) return false;
  if (console_ < 0) {
    console_ = streams_.isConsole(stream::out) ? 1 : 0;
  }
  return console_ == 1;
}

void mOutput::writeOut(const void* data, std::size_t count) {
  if (lost_) return;  // the run is stopping: nothing more reaches the stream
  const bool console = outputIsConsole();
  if (console) codePage_.show(encoding_ == encoding::utf8);
  written_ += count;
  // Even an empty piece is one write, so that a missing stream shows.
  if (!writeBytes(stream::out, static_cast<const unsigned char*>(data), count, encoding_, console, lostError_))
    lost_ = true;
}

bool mOutput::errorIsConsole() {
  if (errorConsole_ < 0) {
    errorConsole_ = streams_.isConsole(stream::err) ? 1 : 0;
  }
  return errorConsole_ == 1;
}

void mOutput::errorText(const unsigned short* units, int count) {
  flush();
  if (status_) status_->hide();
  writeError(units, count, true);
  if (status_) status_->show();
}

void mOutput::errorBytes(const void* data, std::size_t count) {
  flush();
  if (status_) status_->hide();
  const bool console = errorIsConsole();
  if (console) codePage_.show(true);
  DWORD error = 0;
  // A failure to write an error text is not reported: there is nowhere to.
  writeBytes(stream::err, static_cast<const unsigned char*>(data), count, encoding::utf8, console, error);
  if (status_) status_->show();
}

void mOutput::writeError(const unsigned short* units, int count, bool shown) {
  std::size_t need = 3 * static_cast<std::size_t>(count > 0 ? count : 0) + 1;
  unsigned char* converted = scratch(need);
  if (!converted) return;  // no room to convert it: the text is not written
  std::size_t n = convert(units, count > 0 ? count : 0, converted, errorEncoding_);
  const bool console = errorIsConsole();
  if (console) codePage_.show(errorEncoding_ == encoding::utf8);
  DWORD error = 0;
  // A failure to write an error text is not reported: there is nowhere to.
  writeBytes(stream::err, converted, n, errorEncoding_, shown && console, error);
}

void mOutput::finish() {
  flush();
  codePage_.restore();
}
