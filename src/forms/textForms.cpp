#include "textForms.h"

#include <cstring>

#include "decimal.h"
#include "json.h"

// Straight into the room at the end: every report is framed with a few of
// these, and the general insert costs more than the bytes.
void reportFrame::append(const char* text, std::size_t length) {
  unsigned char* at = out_.reserve_end(static_cast<int>(length));
  std::memcpy(at, text, length);
  out_.commit_end(static_cast<int>(length));
}

void reportFrame::appendDecimal(std::uint64_t value) {
  unsigned char* at = out_.reserve_end(kMostDigits);
  out_.commit_end(static_cast<int>(putDecimal(value, at)));
}

void reportFrame::appendQuoted(const mstr& text) {
  const std::size_t count = static_cast<std::size_t>(text.get_count());
  unsigned char* at = out_.reserve_end(static_cast<int>(json::kMostPerUnit * count + 2));
  at[0] = '"';
  std::size_t n = 1 + json::fromUnits(text.c_str(), count, at + 1);
  at[n++] = '"';
  out_.commit_end(static_cast<int>(n));
}

void reportFrame::number() {
  numberAt_ = static_cast<std::size_t>(out_.get_count());
  appendDecimal(number_);
  numberLength_ = static_cast<unsigned>(static_cast<std::size_t>(out_.get_count()) - numberAt_);
}

// ---- plain ----

reportForm::traits plainForm::constants() const {
  traits t;
  t.text = utf8_ ? textForm::utf8 : textForm::oem;
  t.bytesPerCharacter = utf8_ ? 3 : 1;
  t.trims = trim_;
  t.unitsAround = 3;
  return t;
}

void plainForm::closing(reportFrame& frame, const mIndexEntry&, const reportRange&, const reportReader::result&) const {
  frame.append("+++");
  frame.number();
  frame.append("\n");
}

// ---- JSON Lines ----

reportForm::traits jsonLinesForm::constants() const {
  traits t;
  t.text = textForm::json;
  t.bytesPerCharacter = json::kMostPerUnit;
  t.trims = trim_;
  t.json = true;
  return t;
}

void jsonLinesForm::begin(const reportSource& source, unsigned slot) {
  sourceFields& fields = sources_[slot];
  // Quoted into the slot's strings, whose memory the next source reuses.
  fields.salvaged = source.salvaged;
  if (source.salvaged)
    fields.indexJson.assign("null");
  else
    json::quote(fields.indexJson, source.path.c_str(), source.path.get_count());
  for (int number = 0; number < 256; ++number) {
    if (const mFileData* data = source.index.dataFileOf[number]) {
      const mstr& name = source.salvaged ? source.path : *data;
      json::quote(fields.dataJson[number], name.c_str(), name.get_count());
    }
  }
}

void jsonLinesForm::fields(reportFrame& frame, const mIndexEntry& entry, const reportRange& range) const {
  const sourceFields& source = sources_[frame.slot()];
  frame.append("{\"n\":");
  frame.number();
  frame.append(",\"index\":");
  frame.append(source.indexJson);
  frame.append(",\"key\":");
  if (source.salvaged)
    frame.append("null,\"salvaged\":true");
  else
    frame.appendQuoted(entry);
  frame.append(",\"data\":");
  if (range.data)
    frame.append(source.dataJson[entry.fileNumber]);
  else
    frame.append("null");
  frame.append(",\"block\":");
  frame.appendDecimal(source.salvaged ? range.start / kBlockSize : entry.firstBlock);
  frame.append(",\"bytes\":");
  if (range.data)
    frame.appendDecimal(range.size());
  else
    frame.append("null");
}

void jsonLinesForm::opening(reportFrame& frame, const mIndexEntry& entry, const reportRange& range) const {
  fields(frame, entry, range);
  frame.append(",\"text\":\"");
}

void jsonLinesForm::closing(reportFrame& frame, const mIndexEntry&, const reportRange&,
                            const reportReader::result&) const {
  frame.append("\"}\n");
}

// ---- list ----

reportForm::traits listForm::constants() const {
  traits t = jsonLinesForm::constants();
  t.decodes = t.writesText = false;
  t.bytesPerCharacter = 1;
  return t;
}

void listForm::opening(reportFrame& frame, const mIndexEntry& entry, const reportRange& range) const {
  fields(frame, entry, range);
}

void listForm::closing(reportFrame& frame, const mIndexEntry&, const reportRange&, const reportReader::result&) const {
  frame.append("}\n");
}
