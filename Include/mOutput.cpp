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

// The UTF-8 of each OEM byte, from the character the code page gives it (a
// byte without one as "?"): at most 3 bytes.
struct oemUtf8 {
  unsigned char length[256];
  unsigned char bytes[256][4];

  oemUtf8() : length(), bytes() {
    const oemTable& oem = oemTable::get();
    for (unsigned b = 0; b < 256; ++b) {
      const unsigned short unit = oem.single[b] ? oem.wide[b] : u'?';
      const int n = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(&unit), 1,
                                        reinterpret_cast<LPSTR>(bytes[b]), 4, nullptr, nullptr);
      length[b] = static_cast<unsigned char>(n > 0 ? n : 0);
    }
  }

  static const oemUtf8& get() {
    static const oemUtf8 forms;
    return forms;
  }
};

}  // namespace

mOutput& mOutput::get() {
  static mOutput output;
  return output;
}

mOutput::~mOutput() {
  finish();
  std::free(scratch_);
}

std::size_t mOutput::oemToUtf8(const unsigned char* in, std::size_t count, unsigned char* out) {
  const oemUtf8& forms = oemUtf8::get();
  unsigned char* o = out;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned b = in[i];
    o[0] = forms.bytes[b][0];
    o[1] = forms.bytes[b][1];
    o[2] = forms.bytes[b][2];
    o += forms.length[b];
  }
  return static_cast<std::size_t>(o - out);
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

void mOutput::oemBytes(const unsigned char* data, std::size_t count) {
  if (encoding_ == encoding::oem) return bytes(data, count);
  while (count > 0) {
    std::size_t part = count < kBufferSize / 3 ? count : kBufferSize / 3;
    std::size_t available = 0;
    commit(oemToUtf8(data, part, room(3 * part, available)));
    data += part;
    count -= part;
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
  if (!buffer_) buffer_ = outputBuffer;
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
    DWORD mode = 0;
    console_ = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ? 1 : 0;
  }
  return console_ == 1;
}

void mOutput::writeOut(const void* data, std::size_t count) {
  if (lost_) return;  // the run is stopping: nothing more reaches the stream
  HANDLE handle = file_ ? file_ : GetStdHandle(STD_OUTPUT_HANDLE);
  if (outputIsConsole()) consoleFor(encoding_);
  written_ += count;
  const char* at = static_cast<const char*>(data);
  // Even an empty piece is one write, so that a missing stream shows. A pipe
  // may take part of a write (Wine's does when its reader goes away
  // meanwhile): the rest is written again, so that the failure the system
  // gives is the one kept.
  do {
    DWORD part = static_cast<DWORD>(count < kLargestWrite ? count : kLargestWrite);
    DWORD written = 0;
    if (!WriteFile(handle, at, part, &written, nullptr)) {
      lost_ = true;
      lostError_ = GetLastError();
      return;
    }
    if (written == 0 && part != 0) {
      lost_ = true;
      lostError_ = ERROR_GEN_FAILURE;
      return;
    }
    at += written;
    count -= written;
  } while (count > 0);
}

bool mOutput::errorIsConsole() {
  if (errorConsole_ < 0) {
    DWORD mode = 0;
    errorConsole_ = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) ? 1 : 0;
  }
  return errorConsole_ == 1;
}

void mOutput::consoleFor(encoding e) {
  if (consoleCodePage_ == 0) consoleShows_ = consoleCodePage_ = GetConsoleOutputCP();
  if (consoleCodePage_ == 0) return;  // no console to tell
  UINT wanted = e == encoding::utf8 ? CP_UTF8 : consoleCodePage_;
  if (wanted != consoleShows_ && SetConsoleOutputCP(wanted)) consoleShows_ = wanted;
}

void mOutput::errorText(const unsigned short* units, int count) {
  flush();
  if (status_) status_->hide();
  writeError(units, count);
  if (status_) status_->show();
}

void mOutput::errorBytes(const void* data, std::size_t count) {
  flush();
  if (status_) status_->hide();
  DWORD written = 0;
  // A failure to write an error text is not reported: there is nowhere to.
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), data, static_cast<DWORD>(count), &written, nullptr);
  if (status_) status_->show();
}

void mOutput::writeError(const unsigned short* units, int count) {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  std::size_t need = 3 * static_cast<std::size_t>(count > 0 ? count : 0) + 1;
  unsigned char* converted = scratch(need);
  if (!converted) return;  // no room to convert it: the text is not written
  std::size_t n = convert(units, count > 0 ? count : 0, converted, errorEncoding_);
  if (errorIsConsole()) consoleFor(errorEncoding_);
  DWORD written = 0;
  // A failure to write an error text is not reported: there is nowhere to.
  WriteFile(handle, converted, static_cast<DWORD>(n), &written, nullptr);
}

void mOutput::finish() {
  flush();
  if (consoleCodePage_ && consoleShows_ != consoleCodePage_ && SetConsoleOutputCP(consoleCodePage_))
    consoleShows_ = consoleCodePage_;
}
