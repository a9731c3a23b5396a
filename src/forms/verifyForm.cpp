#include "verifyForm.h"

#include <string>

#include "decimal.h"
#include "json.h"

namespace {

// Each damage's name in JSON and its words, in the order of verifyForm::damage.
const struct {
  const char* name;
  const char16_t* words;
} kDamages[] = {
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

verifyForm::damage damageOf(const reportReader::result& read) {
  if (read.beyondEnd) return verifyForm::damage::beyondEnd;
  return read.damaged == reportDecode::damage::lineCut ? verifyForm::damage::lineCut : verifyForm::damage::repeatCut;
}

}  // namespace

verifyForm::verifyForm(const reportForm& wrapped, mOutput& output) : traits_(wrapped.constants()), output_(output) {
  // Every report is read and checked, and no text is written: the output
  // holds findings alone, so there is no size line of a last report either.
  traits_.decodes = true;
  traits_.writesText = false;
  traits_.text = textForm::oem;
  traits_.bytesPerCharacter = 1;
  traits_.unitsAround = kNoText;
}

void verifyForm::begin(const reportSource& source, unsigned slot) {
  sources_[slot].path.assign(source.path);
  sources_[slot].salvaged = source.salvaged;
}

void verifyForm::closing(reportFrame& frame, const mIndexEntry& entry, const reportRange& range,
                         const reportReader::result& read) const {
  if (read.sound()) return;
  const sourceFields& source = sources_[frame.slot()];
  if (source.salvaged)
    finding(frame.bytes(), nullptr, nullptr, &source.path, damageOf(read), read.damagedAt);
  else
    finding(frame.bytes(), &source.path, &entry, range.data, damageOf(read), read.damagedAt);
}

void verifyForm::finding(mbytes& out, const mstr* where, const mstr* key, const mstr* data, damage d,
                         std::uint64_t at) const {
  const char* name = kDamages[static_cast<int>(d)].name;
  if (traits_.json) {
    auto field = [](const mstr* text) { return text ? json::quoted(text->c_str(), text->get_count()) : "null"; };
    std::string object = "{\"index\":" + field(where) + ",\"key\":" + field(key) + ",\"data\":" + field(data) +
                         ",\"damage\":\"" + name + "\",\"at\":" + (at == kNoByte ? "null" : std::to_string(at)) + "}\n";
    out.append_n(reinterpret_cast<const unsigned char*>(object.data()), static_cast<int>(object.size()));
    return;
  }
  // Said in words.
  mstr text;
  if (where) text.append(where->c_str()).append(u": ");
  if (key) text.append(u"ключ \"").append(key->c_str()).append(u"\", ");
  if (data) text.append(data->c_str()).append(u": ");
  text.append(kDamages[static_cast<int>(d)].words);
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

void verifyForm::findingNow(const mstr* where, const mstr* data, damage d, std::uint64_t at) const {
  mbytes out;
  finding(out, where, nullptr, data, d, at);
  output_.bytes(out.get_data(), static_cast<std::size_t>(out.get_count()));
}

void verifyForm::indexDamage(const mFileIndex& index, const mstr& indexPath) const {
  const std::uint64_t piece = index.size % kRecordSize;
  if (piece != 0) findingNow(&indexPath, nullptr, damage::trailingPiece, index.size - piece);
  mstr name;
  for (unsigned number = 0; number < 256; ++number) {
    if (index.dataMissing[number]) findingNow(&indexPath, &index.dataFileName(number, name), damage::dataMissing);
    if (index.dataUnreadable[number]) findingNow(&indexPath, &index.dataFileName(number, name), damage::dataUnreadable);
  }
}

void verifyForm::indexFailed(const mstr& indexPath) const { findingNow(&indexPath, nullptr, damage::indexFailed); }

void verifyForm::directoryUnreadable(const mstr& directoryPath) const {
  findingNow(&directoryPath, nullptr, damage::directoryUnreadable);
}

void verifyForm::unnamedBytes(const mstr& dataPath, std::uint64_t end, bool orphaned) const {
  findingNow(nullptr, &dataPath, orphaned ? damage::orphanedData : damage::unreferencedBytes, end);
}

void verifyForm::summary(const runTally& tally, unsigned errorTexts) const {
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
      {"errors", u", ошибок: ", errorTexts},
  };
  if (traits_.json) {
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
