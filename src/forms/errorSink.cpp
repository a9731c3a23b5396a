#include "errorSink.h"

#include <string>

#include "decimal.h"
#include "json.h"

namespace {

const std::size_t kLongText = 10000;

// A text of one or more lines, ended by a line feed, as the field "text" of
// a JSON object, and the object's end: without that last line feed.
std::string textField(const unsigned short* text, int count) {
  if (count > 0 && text[count - 1] == u'\n') --count;
  return ",\"text\":" + json::quoted(text, count) + "}\n";
}

}  // namespace

void errorSink::error(const mEx& error, errorLevel level) {
  mEx text;
  error.getText(text);
  const unsigned short* message = text.getMessage();
  const int length = message ? lstrlenW(reinterpret_cast<LPCWSTR>(message)) : 0;
  if (level != errorLevel::warning) ++errorTexts_;
  if (!json_) return output_.errorText(message, length);
  // Its JSON form: the newest error of the chain, as the text's last part,
  // and the whole text.
  static const char* const levels[] = {"report", "index", "directory", "run", "warning"};
  auto field = [](const unsigned short* text) {
    return text ? json::quoted(text, lstrlenW(reinterpret_cast<LPCWSTR>(text))) : std::string("null");
  };
  std::string object = "{\"code\":" + std::to_string(error.sysError) + ",\"message\":" + field(error.message) +
                       ",\"file\":" + field(error.file) + ",\"function\":" + field(error.function) +
                       ",\"line\":" + std::to_string(error.line) + ",\"level\":\"" +
                       levels[static_cast<int>(level)] + "\"" + textField(message, length);
  output_.errorBytes(object.data(), object.size());
}

void errorSink::notice(const char* kind, const mstr& line) const {
  if (!json_) return output_.errorText(line.c_str(), line.get_count());
  const std::string object = std::string("{\"kind\":\"") + kind + "\"" + textField(line.c_str(), line.get_count());
  output_.errorBytes(object.data(), object.size());
}

void errorSink::usageError(const mstr& line) {
  notice("usage error", line);
  ++usageErrors_;
}

void errorSink::unnamedBytes(const mstr& dataPath, std::uint64_t end, bool orphaned) {
  mEx warning(orphaned ? origin::orphanedData : origin::unreferencedBytes);
  mstr count;
  unsigned short digits[kMostDigits];
  count.append_n(digits, static_cast<int>(putDecimal(end, digits)));
  if (orphaned)
    warning.appendText(u"Файл рапортов (байтов: ").appendText(count.c_str()).appendText(u") не назван");
  else
    warning.appendText(u"Первые ").appendText(count.c_str()).appendText(u" байтов файла рапортов не названы");
  warning.appendText(u" ни одной записью индекса: ").appendText(dataPath.c_str());
  error(warning, errorLevel::warning);
}

void errorSink::nothingFound() {
  notice("nothing found", mstr(u"tarvin: не найдено ни одного индексного файла (*.idx)\n"));
  ++errorTexts_;
}

void errorSink::emptyList(const mstr& argument) {
  mstr text(u"tarvin: в списке \"");
  notice("empty list", text.append(argument.c_str()).append(u"\" нет ни одного каталога\n"));
  ++errorTexts_;
}

void errorSink::listLineWithNul(const mstr& argument, int line) {
  mstr text(u"tarvin: в списке \"");
  text.append(argument.c_str()).append(u"\" в строке ").appendNumber(line);
  notice("nul in list", text.append(u" байт NUL, строка пропущена (списки find -print0 читает --null)\n"));
  ++errorTexts_;
}

void errorSink::line(const char* kind, const mstr& text) const {
  if (json_)
    notice(kind, text);
  else
    output_.text(text.c_str(), text.get_count());
}

void errorSink::sizeLine(std::uint64_t units) const {
  if (units <= kLongText) return;
  mstr line(u"<>Размер строки<> ");
  unsigned short digits[kMostDigits];
  line.append_n(digits, static_cast<int>(putDecimal(units, digits)));
  line.append(u"\n");
  this->line("size line", line);
}

void errorSink::unexpectedFailure(DWORD lastError) {
  mstr line(u"Ошибка! ");
  line.appendNumber(static_cast<int>(lastError)).append(u"\n");
  this->line("failure", line);
  ++errorTexts_;
}

int errorSink::exitCode(bool damage) const {
  if (usageErrors_ > 0) return 2;
  return outputFailed_ || errorTexts_ > 0 || damage ? 1 : 0;
}
