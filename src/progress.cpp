#include "progress.h"

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

progress::progress(mOutput& output, const std::uint64_t* bytesRead)
    : output_(output), bytesRead_(bytesRead), started_(GetTickCount64()) {
  output_.setStatusLine(this);
}

progress::~progress() { output_.setStatusLine(nullptr); }

void progress::appendStatus(mstr& line, bool summary, unsigned errorTexts) const {
  const unsigned long long elapsed = GetTickCount64() - started_;
  const unsigned long long bytes = bytesRead_ ? *bytesRead_ : output_.written();
  if (summary) line.append(u"Готово. ");
  line.append(u"Рапортов: ").appendNumber(static_cast<int>(reports_)).append(u", ");
  appendMegabytes(line, bytes);
  line.append(u" МБ, ");
  if (summary) {
    line.append(u"ошибок: ").appendNumber(static_cast<int>(errorTexts)).append(u", ");
    appendTime(line, elapsed);
    return;
  }
  line.append(u"индексов: ").appendNumber(static_cast<int>(indexDone_));
  line.append(u" из ").appendNumber(static_cast<int>(indexFiles_)).append(u", ");
  appendTime(line, elapsed);
  line.append(u", ");
  appendMegabytes(line, elapsed ? bytes * 1000 / elapsed : 0);
  line.append(u" МБ/с, ");
  // The directory last, cut at its start to what the console's width leaves.
  int room = width() - line.get_count();
  const unsigned short* directory = directory_.c_str();
  int length = directory_.get_count();
  if (length > room && room > 3) {
    appendAscii(line, "...");
    directory += length - (room - 3);
    length = room - 3;
  }
  if (length <= room) line.append_n(directory, length);
}

int progress::width() {
  // One column less than the console has, so that the line never wraps: a
  // wrapped line could not be drawn over with "\r".
  int columns = 80;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
    columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 1 ? columns - 1 : 1;
}

void progress::draw(bool now) {
  if (finished_) return;
  const unsigned long long tick = GetTickCount64();
  if (!now && tick - drawn_ < 100) return;  // at most ten times a second
  try {
    mstr line(u"\r");
    appendStatus(line, false, 0);
    // A console narrower than the status keeps its start.
    if (line.get_count() - 1 > width()) line.erase(line.get_data() + 1 + width(), line.get_end());
    int length = line.get_count() - 1;
    for (int i = length; i < onScreen_; ++i) line.append(u" ");  // over the longer line before
    output_.statusText(line.c_str(), line.get_count());
    onScreen_ = length > 0 ? length : 1;
    drawn_ = tick;
  } catch (...) {
    // No memory for the status line: it is not drawn this time.
  }
}

void progress::hide() {
  if (!onScreen_) return;
  try {
    mstr blank(u"\r");
    for (int i = 0; i < onScreen_; ++i) blank.append(u" ");
    blank.append(u"\r");
    output_.statusText(blank.c_str(), blank.get_count());
  } catch (...) {
  }
  onScreen_ = 0;
}

void progress::directory(const mstr& path, unsigned indexFiles) {
  // A name is no text of our own: its control characters are shown, as in
  // every other text on the console.
  directory_.clear();
  mOutput::appendShown(directory_, path.c_str(), path.get_count());
  indexDone_ = 0;
  indexFiles_ = indexFiles;
  draw(false);
}

void progress::indexDone() {
  ++indexDone_;
  draw(false);
}

void progress::reports(unsigned count) {
  reports_ += count;
  draw(false);
}

void progress::finish(unsigned errorTexts) {
  if (finished_) return;
  output_.flush();
  hide();
  finished_ = true;
  try {
    mstr line;
    appendStatus(line, true, errorTexts);
    line.append(u"\n");
    output_.statusText(line.c_str(), line.get_count());
  } catch (...) {
  }
}
