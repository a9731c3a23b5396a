#include "reportFormat.h"

#include <cstring>
#include <vector>

#include "decimal.h"
#include "json.h"
#include "wildcard.h"

namespace {

const std::size_t kLongText = 10000;

void append(mbytes& out, const char* text) {
  out.append_n(reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
}
void append(mbytes& out, const std::string& text) {
  out.append_n(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

// Writes a number and returns where it starts.
std::size_t appendNumber(mbytes& out, std::uint64_t value) {
  const std::size_t at = static_cast<std::size_t>(out.get_count());
  unsigned char digits[kMostDigits];
  out.append_n(digits, static_cast<int>(putDecimal(value, digits)));
  return at;
}

// A text as a quoted JSON string.
std::string quoted(const unsigned short* units, int count) {
  std::vector<unsigned char> bytes(json::kMostPerUnit * static_cast<std::size_t>(count) + 2);
  bytes[0] = '"';
  std::size_t n = 1 + json::fromUnits(units, static_cast<std::size_t>(count), bytes.data() + 1);
  bytes[n++] = '"';
  return std::string(bytes.begin(), bytes.begin() + static_cast<long>(n));
}

}  // namespace

bool reportFormat::selects(const mIndexEntry& entry) const {
  if (keys_.empty()) return true;
  if (salvaging_) return false;  // no key, which no pattern matches, "*" neither
  const std::u16string_view key(reinterpret_cast<const char16_t*>(entry.c_str()));  // up to its first 0, as any text
  for (const mstr& pattern : keys_)
    if (platform::matchesWildcard(key, reinterpret_cast<const char16_t*>(pattern.c_str()))) return true;
  return false;
}

std::size_t reportFormat::bytesPerCharacter() const {
  switch (textForm()) {
    case reportReader::form::json:
      return json::kMostPerUnit;
    case reportReader::form::utf8:
      return 3;
    default:
      return 1;
  }
}

void reportFormat::beginIndex(const mFileIndex& index, const mstr& indexPath) {
  indexPath_.assign(indexPath);
  salvaging_ = false;
  if (how_ == kind::plain) return;
  indexJson_ = quoted(indexPath.c_str(), indexPath.get_count());
  for (int number = 0; number < 256; ++number)
    if (const mFileData* data = index.dataFileOf[number]) dataJson_[number] = quoted(data->c_str(), data->get_count());
}

void reportFormat::beginSalvage(const mFileIndex& set, const mstr& dataPath) {
  salvaging_ = true;
  dataPath_.assign(dataPath);
  indexJson_ = "null";
  for (int number = 0; number < 256; ++number)
    if (set.dataFileOf[number]) dataJson_[number] = quoted(dataPath.c_str(), dataPath.get_count());
}

std::size_t reportFormat::opening(mbytes& out, const mIndexEntry& entry, const reportRange& range,
                                  unsigned number) const {
  if (how_ == kind::plain || verify_) return kNoNumber;
  append(out, "{\"n\":");
  const std::size_t at = appendNumber(out, number);
  append(out, ",\"index\":");
  append(out, indexJson_);
  append(out, ",\"key\":");
  append(out, salvaging_ ? std::string("null,\"salvaged\":true") : quoted(entry.c_str(), entry.get_count()));
  append(out, ",\"data\":");
  append(out, range.data ? dataJson_[entry.fileNumber] : std::string("null"));
  append(out, ",\"block\":");
  appendNumber(out, salvaging_ ? range.start / kBlockSize : entry.firstBlock);
  append(out, ",\"bytes\":");
  if (range.data)
    appendNumber(out, range.size());
  else
    append(out, "null");
  if (how_ == kind::jsonl) append(out, ",\"text\":\"");
  return at;
}

std::size_t reportFormat::closing(mbytes& out, const mIndexEntry& entry, const reportRange& range,
                                  unsigned number, const reportReader::result& read) const {
  if (verify_) {
    if (read.sound()) return kNoNumber;
    if (salvaging_)
      finding(out, nullptr, nullptr, &dataPath_, damageOf(read), read.damagedAt);
    else
      finding(out, &indexPath_, &entry, range.data, damageOf(read), read.damagedAt);
    return kNoNumber;
  }
  if (how_ != kind::plain) {
    append(out, how_ == kind::jsonl ? "\"}\n" : "}\n");
    return kNoNumber;
  }
  append(out, "+++");
  const std::size_t at = appendNumber(out, number);
  append(out, "\n");
  return at;
}

std::uint64_t reportFormat::outputUnits(std::uint64_t textUnits, unsigned number) const {
  if (how_ != kind::plain) return 0;
  unsigned char digits[kMostDigits];
  return textUnits + 3 + putDecimal(number, digits);
}

// A text of one or more lines, ended by a line feed, as the value of a JSON
// field: without that last line feed.
std::string reportFormat::textField(const unsigned short* text, int count) {
  if (count > 0 && text[count - 1] == u'\n') --count;
  return ",\"text\":" + quoted(text, count) + "}\n";
}

void reportFormat::error(const mEx& error, errorLevel level) {
  mEx text;
  error.getText(text);
  const unsigned short* message = text.getMessage();
  const int length = message ? lstrlenW(reinterpret_cast<LPCWSTR>(message)) : 0;
  if (level != errorLevel::warning) ++errorTexts_;
  if (how_ == kind::plain) return output_.errorText(message, length);
  // Its JSON form: the newest error of the chain, as the text's last part,
  // and the whole text.
  static const char* const levels[] = {"report", "index", "directory", "run", "warning"};
  auto field = [](const unsigned short* text) {
    return text ? quoted(text, lstrlenW(reinterpret_cast<LPCWSTR>(text))) : std::string("null");
  };
  std::string object = "{\"code\":" + std::to_string(error.sysError) + ",\"message\":" + field(error.message) +
                       ",\"file\":" + field(error.file) + ",\"function\":" + field(error.function) +
                       ",\"line\":" + std::to_string(error.line) + ",\"level\":\"" +
                       levels[static_cast<int>(level)] + "\"" + textField(message, length);
  output_.errorBytes(object.data(), object.size());
}

void reportFormat::notice(const char* what, const mstr& line) const {
  if (how_ == kind::plain) return output_.errorText(line.c_str(), line.get_count());
  const std::string object = std::string("{\"kind\":\"") + what + "\"" + textField(line.c_str(), line.get_count());
  output_.errorBytes(object.data(), object.size());
}

const char* reportFormat::damageOf(const reportReader::result& read) {
  if (read.beyondEnd) return "beyond end";
  return read.damaged == reportDecode::damage::lineCut ? "line cut" : "repeat cut";
}

void reportFormat::finding(mbytes& out, const mstr* where, const mstr* key, const mstr* data, const char* damage,
                           std::uint64_t at) const {
  if (how_ != kind::plain) {
    auto field = [](const mstr* text) { return text ? quoted(text->c_str(), text->get_count()) : "null"; };
    std::string object = "{\"index\":" + field(where) + ",\"key\":" + field(key) + ",\"data\":" + field(data) +
                         ",\"damage\":\"" + damage + "\",\"at\":" + (at == kNoByte ? "null" : std::to_string(at)) +
                         "}\n";
    append(out, object);
    return;
  }
  // Said in words.
  static const struct {
    const char* name;
    const char16_t* words;
  } kWords[] = {
      {"line cut", u"строка длиннее байтов, что остались до конца рапорта"},
      {"repeat cut", u"повтору символа не хватает байтов до конца рапорта"},
      {"beyond end", u"рапорт начинается за концом файла данных"},
      {"trailing piece", u"последняя запись индекса короче 40 байтов"},
      {"index failed", u"индексный файл не прочитан"},
      {"data missing", u"нет файла данных"},
      {"data unreadable", u"файл данных не прочитан"},
      {"directory unreadable", u"каталог не прочитан"},
      {"orphaned data", u"не назван ни одной записью индекса до конца файла"},
      {"unreferenced bytes", u"не назван ни одной записью индекса до первого названного блока"},
  };
  mstr text;
  if (where) text.append(where->c_str()).append(u": ");
  if (key) text.append(u"ключ \"").append(key->c_str()).append(u"\", ");
  if (data) text.append(data->c_str()).append(u": ");
  for (const auto& w : kWords)
    if (std::strcmp(w.name, damage) == 0) text.append(w.words);
  if (at != kNoByte) {
    text.append(u", байт ");
    unsigned short digits[kMostDigits];
    text.append_n(digits, static_cast<int>(putDecimal(at, digits)));
  }
  text.append(u"\n");
  const int units = text.get_count();
  unsigned char* to = out.reserve_end(3 * units + 1);
  out.commit_end(static_cast<int>(mOutput::convert(text.c_str(), units, to, output_.getEncoding())));
}

void reportFormat::findingNow(const mstr& where, const mstr* data, const char* damage) const {
  mbytes out;
  finding(out, &where, nullptr, data, damage, kNoByte);
  output_.bytes(out.get_data(), static_cast<std::size_t>(out.get_count()));
}

void reportFormat::unnamedBytes(const mstr& dataPath, std::uint64_t end, bool orphaned) {
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
  if (!verify_) return;
  mbytes out;
  finding(out, nullptr, nullptr, &dataPath, orphaned ? "orphaned data" : "unreferenced bytes", end);
  output_.bytes(out.get_data(), static_cast<std::size_t>(out.get_count()));
}

void reportFormat::indexDamage(const mFileIndex& index) {
  if (!verify_) return;
  const std::uint64_t piece = index.size % kRecordSize;
  if (piece != 0) {
    mbytes out;
    finding(out, &indexPath_, nullptr, nullptr, "trailing piece", index.size - piece);
    output_.bytes(out.get_data(), static_cast<std::size_t>(out.get_count()));
  }
  mstr name;
  for (unsigned number = 0; number < 256; ++number) {
    if (index.dataMissing[number]) findingNow(indexPath_, &index.dataFileName(number, name), "data missing");
    if (index.dataUnreadable[number]) findingNow(indexPath_, &index.dataFileName(number, name), "data unreadable");
  }
}

void reportFormat::indexFailed(const mstr& indexPath) const {
  if (verify_) findingNow(indexPath, nullptr, "index failed");
}

void reportFormat::directoryUnreadable(const mstr& directoryPath) const {
  if (verify_) findingNow(directoryPath, nullptr, "directory unreadable");
}

void reportFormat::nothingFound() {
  notice("nothing found", mstr(u"tarvin: не найдено ни одного индексного файла (*.idx)\n"));
  ++errorTexts_;
}

void reportFormat::emptyList(const mstr& argument) {
  mstr text(u"tarvin: в списке \"");
  notice("empty list", text.append(argument.c_str()).append(u"\" нет ни одного каталога\n"));
  ++errorTexts_;
}

void reportFormat::listLineWithNul(const mstr& argument, int line) {
  mstr text(u"tarvin: в списке \"");
  text.append(argument.c_str()).append(u"\" в строке ").appendNumber(line);
  notice("nul in list", text.append(u" байт NUL, строка пропущена (списки find -print0 читает --null)\n"));
  ++errorTexts_;
}

void reportFormat::summary(const runTally& tally) const {
  // Every count, in words and as a JSON field, in the order they are told.
  const struct {
    const char* field;
    const char16_t* words;
    std::uint64_t value;
  } counts[] = {
      {"indexes", u"Проверено индексов: ", tally.indexes},
      {"indexesFailed", u", не прочитано: ", tally.indexesFailed},
      {"reports", u"; рапортов: ", tally.reports},
      {"bytes", u", байтов: ", tally.bytes},
      {"dataUsed", u"; файлов данных: ", tally.dataUsed},
      {"dataMissing", u", нет: ", tally.dataMissing},
      {"dataUnreadable", u", не прочитано: ", tally.dataUnreadable},
      {"dataOrphaned", u", осиротевших: ", tally.dataOrphaned},
      {"directoriesUnreadable", u"; каталогов не прочитано: ", tally.directoriesUnreadable},
      {"rangesUnreferenced", u"; участков без ссылок: ", tally.rangesUnreferenced},
      {"bytesUnreferenced", u", байтов без ссылок: ", tally.bytesUnreferenced},
      {"salvaged", u", восстановлено рапортов: ", tally.salvaged},
      {"damaged", u"; повреждено: ", tally.damaged},
      {"errors", u", ошибок: ", errorTexts_},
  };
  if (how_ != kind::plain) {
    std::string object;
    for (const auto& count : counts)
      object += (object.empty() ? "{\"" : ",\"") + std::string(count.field) + "\":" + std::to_string(count.value);
    object += "}\n";
    output_.bytes(object.data(), object.size());
    return;
  }
  mstr text;
  for (const auto& count : counts) {
    unsigned short digits[kMostDigits];
    text.append(count.words).append_n(digits, static_cast<int>(putDecimal(count.value, digits)));
  }
  text.append(u"\n");
  output_.text(text.c_str(), text.get_count());
}

void reportFormat::line(const char* what, const mstr& text) const {
  if (how_ == kind::plain)
    output_.text(text.c_str(), text.get_count());
  else
    notice(what, text);
}

void reportFormat::sizeLine(std::uint64_t units) const {
  if (units <= kLongText) return;
  mstr line(u"<>Размер строки<> ");
  unsigned short digits[kMostDigits];
  line.append_n(digits, static_cast<int>(putDecimal(units, digits)));
  line.append(u"\n");
  this->line("size line", line);
}

void reportFormat::unexpectedFailure(DWORD lastError) {
  mstr line(u"Ошибка! ");
  line.appendNumber(static_cast<int>(lastError)).append(u"\n");
  this->line("failure", line);
  ++errorTexts_;
}
