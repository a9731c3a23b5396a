#include "reportFormat.h"

#include <vector>

#include "decimal.h"
#include "json.h"

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
  if (how_ == kind::plain) return;
  indexJson_ = quoted(indexPath.c_str(), indexPath.get_count());
  for (int number = 0; number < 256; ++number)
    if (const mFileData* data = index.dataFileOf[number]) dataJson_[number] = quoted(data->c_str(), data->get_count());
}

std::size_t reportFormat::opening(mbytes& out, const mIndexEntry& entry, const reportRange& range,
                                  unsigned number) const {
  if (how_ == kind::plain) return kNoNumber;
  append(out, "{\"n\":");
  const std::size_t at = appendNumber(out, number);
  append(out, ",\"index\":");
  append(out, indexJson_);
  append(out, ",\"key\":");
  append(out, quoted(entry.c_str(), entry.get_count()));
  append(out, ",\"data\":");
  append(out, range.data ? dataJson_[entry.fileNumber] : std::string("null"));
  append(out, ",\"block\":");
  appendNumber(out, entry.firstBlock);
  append(out, ",\"bytes\":");
  if (range.data)
    appendNumber(out, range.size());
  else
    append(out, "null");
  if (how_ == kind::jsonl) append(out, ",\"text\":\"");
  return at;
}

std::size_t reportFormat::closing(mbytes& out, unsigned number) const {
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

void reportFormat::error(const mEx& error, errorLevel) {
  mEx text;
  error.getText(text);
  const unsigned short* message = text.getMessage();
  output_.errorText(message, message ? lstrlenW(reinterpret_cast<LPCWSTR>(message)) : 0);
  ++errorTexts_;
}

void reportFormat::sizeLine(std::uint64_t units) const {
  if (units <= kLongText) return;
  mstr line(u"<>Размер строки<> ");
  unsigned short digits[kMostDigits];
  line.append_n(digits, static_cast<int>(putDecimal(units, digits)));
  line.append(u"\n");
  if (how_ == kind::plain)
    output_.text(line.c_str(), line.get_count());
  else
    output_.errorText(line.c_str(), line.get_count());
}

void reportFormat::unexpectedFailure(DWORD lastError) {
  mstr line(u"Ошибка! ");
  line.appendNumber(static_cast<int>(lastError)).append(u"\n");
  if (how_ == kind::plain)
    output_.text(line.c_str(), line.get_count());
  else
    output_.errorText(line.c_str(), line.get_count());
  ++errorTexts_;
}
