#include "mOutput.h"

#include <cstdlib>
#include <cstring>

#include "mstr.h"
#include "oemTable.h"

namespace {

// Standard output is gathered here; it lives as long as the process.
alignas(64) unsigned char outputBuffer[mOutput::kBufferSize];

// A chunk this large goes to the system as it is, without a copy.
constexpr std::size_t kDirectWrite = 64 * 1024;
// WriteFile takes a 32-bit count.
constexpr std::size_t kLargestWrite = 1u << 30;

// The bytes of one character in an output form: at most 6.
struct encoded {
  unsigned char length;
  unsigned char bytes[6];
};

std::size_t putUtf8(unsigned code, unsigned char* out) {
  if (code < 0x80) {
    out[0] = static_cast<unsigned char>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | code >> 6);
    out[1] = static_cast<unsigned char>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | code >> 12);
    out[1] = static_cast<unsigned char>(0x80 | (code >> 6 & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | code >> 18);
  out[1] = static_cast<unsigned char>(0x80 | (code >> 12 & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | (code >> 6 & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (code & 0x3F));
  return 4;
}

std::size_t putEscape(unsigned unit, unsigned char* out) {
  static const char hex[] = "0123456789abcdef";
  out[0] = '\\';
  out[1] = 'u';
  for (int i = 0; i < 4; ++i) out[2 + i] = static_cast<unsigned char>(hex[unit >> (12 - 4 * i) & 0xF]);
  return 6;
}

bool isHighSurrogate(unsigned u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(unsigned u) { return u >= 0xDC00 && u <= 0xDFFF; }

// One unit that is no part of a surrogate pair, inside a JSON string.
std::size_t putJsonUnit(unsigned unit, unsigned char* out) {
  if (unit == u'"' || unit == u'\\') {
    out[0] = '\\';
    out[1] = static_cast<unsigned char>(unit);
    return 2;
  }
  if (unit < 0x20 || isHighSurrogate(unit) || isLowSurrogate(unit)) return putEscape(unit, out);
  return putUtf8(unit, out);
}

// The UTF-8 and JSON forms of each OEM byte, from the character the code
// page gives it.
struct oemForms {
  encoded utf8[256];
  encoded json[256];

  oemForms() : utf8(), json() {
    const oemTable& oem = oemTable::get();
    for (unsigned b = 0; b < 256; ++b) {
      unsigned unit = oem.single[b] ? oem.wide[b] : u'?';
      utf8[b].length = static_cast<unsigned char>(putUtf8(unit, utf8[b].bytes));
      json[b].length = static_cast<unsigned char>(putJsonUnit(unit, json[b].bytes));
    }
  }

  static const oemForms& get() {
    static const oemForms forms;
    return forms;
  }
};

std::size_t recode(const encoded* forms, const unsigned char* in, std::size_t count, unsigned char* out) {
  unsigned char* o = out;
  for (std::size_t i = 0; i < count; ++i) {
    const encoded& e = forms[in[i]];
    std::memcpy(o, e.bytes, 4);  // the room holds 6 a byte: copy the common lengths in one move
    if (e.length > 4) std::memcpy(o + 4, e.bytes + 4, 2);
    o += e.length;
  }
  return static_cast<std::size_t>(o - out);
}

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
  const oemForms& forms = oemForms::get();
  unsigned char* o = out;
  for (std::size_t i = 0; i < count; ++i) {
    const encoded& e = forms.utf8[in[i]];
    o[0] = e.bytes[0];
    o[1] = e.bytes[1];
    o[2] = e.bytes[2];
    o += e.length;
  }
  return static_cast<std::size_t>(o - out);
}

std::size_t mOutput::oemToJson(const unsigned char* in, std::size_t count, unsigned char* out) {
  return recode(oemForms::get().json, in, count, out);
}

namespace {

// UTF-16 text as UTF-8, a surrogate pair as its character; `single` writes
// every other unit.
template <class Single>
std::size_t unitsToUtf8(const unsigned short* units, int count, unsigned char* out, Single single) {
  unsigned char* o = out;
  for (int i = 0; i < count; ++i) {
    unsigned u = units[i];
    if (isHighSurrogate(u) && i + 1 < count && isLowSurrogate(units[i + 1])) {
      o += putUtf8(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00u), o);
      ++i;
    } else {
      o += single(u, o);
    }
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace

std::size_t mOutput::unitsToJson(const unsigned short* units, int count, unsigned char* out) {
  return unitsToUtf8(units, count, out, putJsonUnit);
}

std::size_t mOutput::convert(const unsigned short* units, int count, unsigned char* out, encoding e) {
  if (e == encoding::oem) {
    char* bytes = reinterpret_cast<char*>(out);
    int n = oemTable::get().narrow(units, count, bytes);
    // A unit outside the table: the system's conversion, into count + 1
    // bytes, as the code page is taken to have one byte a character.
    if (n < 0)
      n = WideCharToMultiByte(CP_OEMCP, 0, reinterpret_cast<LPCWSTR>(units), count, bytes, count + 1,
                              nullptr, nullptr);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  // A lone surrogate has no UTF-8: the replacement character.
  return unitsToUtf8(units, count, out, [](unsigned u, unsigned char* o) {
    return putUtf8(isHighSurrogate(u) || isLowSurrogate(u) ? 0xFFFD : u, o);
  });
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
    unsigned char* at = room(need);
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
    commit(oemToUtf8(data, part, room(3 * part)));
    data += part;
    count -= part;
  }
}

void mOutput::bytes(const void* data, std::size_t count) {
  if (count >= kDirectWrite) {
    flush();
    writeOut(data, count);
    return;
  }
  std::memcpy(room(count), data, count);
  commit(count);
}

unsigned char* mOutput::room(std::size_t count) {
  if (!buffer_) buffer_ = outputBuffer;
  if (kBufferSize - used_ < count) flush();
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

bool mOutput::outputIsConsole() {
  if (console_ < 0) {
    DWORD mode = 0;
    console_ = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ? 1 : 0;
  }
  return console_ == 1;
}

void mOutput::writeOut(const void* data, std::size_t count) {
  if (lost_) return;  // the run is stopping: nothing more reaches the stream
  HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (outputIsConsole()) consoleFor(encoding_);
  progress_.bytes += count;
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
  clearProgress();
  writeError(units, count);
  drawProgress(false);
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

// ---- Progress ----

namespace {

void appendAscii(mstr& line, const char* text) {
  for (; *text; ++text) line.push_value(static_cast<unsigned short>(*text));
}

// A count of bytes as megabytes with one decimal, written the Russian way.
void appendMegabytes(mstr& line, unsigned long long bytes) {
  unsigned long long tenths = (bytes + 50000) / 100000;
  line.appendNumber(static_cast<int>(tenths / 10)).append(u",").appendNumber(static_cast<int>(tenths % 10));
}

void appendTime(mstr& line, unsigned long long milliseconds) {
  unsigned long long seconds = milliseconds / 1000;
  if (seconds >= 3600) {
    line.appendNumber(static_cast<int>(seconds / 3600)).append(u":");
    if (seconds / 60 % 60 < 10) line.append(u"0");
  }
  line.appendNumber(static_cast<int>(seconds / 60 % 60)).append(u":");
  if (seconds % 60 < 10) line.append(u"0");
  line.appendNumber(static_cast<int>(seconds % 60));
}

}  // namespace

void mOutput::appendStatus(mstr& line, bool summary) const {
  const unsigned long long elapsed = GetTickCount64() - progress_.started;
  if (summary) line.append(u"Готово. ");
  line.append(u"Рапортов: ").appendNumber(static_cast<int>(progress_.reports)).append(u", ");
  appendMegabytes(line, progress_.bytes);
  line.append(u" МБ, ");
  if (summary) {
    line.append(u"ошибок: ").appendNumber(static_cast<int>(errorTexts_)).append(u", ");
    appendTime(line, elapsed);
    return;
  }
  line.append(u"индексов: ").appendNumber(static_cast<int>(progress_.indexDone));
  line.append(u" из ").appendNumber(static_cast<int>(progress_.indexFiles)).append(u", ");
  appendTime(line, elapsed);
  line.append(u", ");
  appendMegabytes(line, elapsed ? progress_.bytes * 1000 / elapsed : 0);
  line.append(u" МБ/с, ");
  // The directory last, cut at its start to what the console's width leaves.
  int room = progressWidth() - line.get_count();
  const unsigned short* directory = progress_.directory;
  int length = progress_.directoryLength;
  if (length > room && room > 3) {
    appendAscii(line, "...");
    directory += length - (room - 3);
    length = room - 3;
  }
  if (length <= room) line.append_n(directory, length);
}

int mOutput::progressWidth() {
  // One column less than the console has, so that the line never wraps: a
  // wrapped line could not be drawn over with "\r".
  int width = 80;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
    width = info.srWindow.Right - info.srWindow.Left + 1;
  return width > 1 ? width - 1 : 1;
}

void mOutput::drawProgress(bool now) {
  if (!progress_.shown) return;
  const unsigned long long tick = GetTickCount64();
  if (!now && tick - progress_.drawn < 100) return;  // at most ten times a second
  try {
    mstr line(u"\r");
    appendStatus(line, false);
    // A console narrower than the status keeps its start.
    if (line.get_count() - 1 > progressWidth()) line.erase(line.get_data() + 1 + progressWidth(), line.get_end());
    int length = line.get_count() - 1;
    for (int i = length; i < progress_.onScreen; ++i) line.append(u" ");  // over the longer line before
    writeError(line.c_str(), line.get_count());
    progress_.onScreen = length > 0 ? length : 1;
    progress_.drawn = tick;
  } catch (...) {
    // No memory for the status line: it is not drawn this time.
  }
}

void mOutput::clearProgress() {
  if (!progress_.onScreen) return;
  try {
    mstr blank(u"\r");
    for (int i = 0; i < progress_.onScreen; ++i) blank.append(u" ");
    blank.append(u"\r");
    writeError(blank.c_str(), blank.get_count());
  } catch (...) {
  }
  progress_.onScreen = 0;
}

void mOutput::showProgress() {
  progress_.shown = true;
  progress_.started = GetTickCount64();
}

void mOutput::progressDirectory(const unsigned short* directory, int count, unsigned indexFiles) {
  if (!progress_.shown) return;
  int length = count < 260 ? count : 259;
  std::memcpy(progress_.directory, directory + (count - length), static_cast<std::size_t>(length) * 2);
  progress_.directoryLength = length;
  progress_.indexDone = 0;
  progress_.indexFiles = indexFiles;
  drawProgress(false);
}

void mOutput::progressIndexDone() {
  ++progress_.indexDone;
  drawProgress(false);
}

void mOutput::progressReports(unsigned reports) {
  progress_.reports += reports;
  drawProgress(false);
}

void mOutput::finish() {
  flush();
  if (progress_.shown) {
    clearProgress();
    try {
      mstr line;
      appendStatus(line, true);
      line.append(u"\n");
      writeError(line.c_str(), line.get_count());
    } catch (...) {
    }
    progress_.shown = false;
  }
  if (consoleCodePage_ && consoleShows_ != consoleCodePage_ && SetConsoleOutputCP(consoleCodePage_))
    consoleShows_ = consoleCodePage_;
}
