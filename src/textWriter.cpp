#include "textWriter.h"

#include <algorithm>
#include <cstring>

#include "json.h"
#include "mOutput.h"
#include "oemTable.h"

namespace {

// The UTF-8 of the OEM bytes, made once from the code page.
const reportDecode::utf8Table& oemUtf8() {
  static const reportDecode::utf8Table table = [] {
    const oemTable& oem = oemTable::get();
    return reportDecode::makeUtf8Table(oem.utf8Length, oem.utf8[0], oem.utf8[1], oem.utf8[2]);
  }();
  return table;
}

}  // namespace

const std::size_t textWriter::kMostRoomPastPiece = std::max(json::kMostPerUnit * kPiece + 1, 3 * kPiece + reportDecode::kUtf8Slack);

void textWriter::lineEnds(std::uint64_t count) {
  unsigned char ends[4096];
  std::memset(ends, '\n', sizeof ends);
  while (count > 0) {
    const std::size_t part = count < sizeof ends ? static_cast<std::size_t>(count) : sizeof ends;
    put(ends, part);
    count -= part;
  }
}

void textWriter::put(const unsigned char* bytes, std::size_t count) {
  std::size_t available = 0;
  // JSON, or UTF-8 and what its conversion may write past it.
  unsigned char* at =
      out_.room(std::max(json::kMostPerUnit * count + 1, 3 * count + reportDecode::kUtf8Slack), available);
  switch (form_) {
    case textForm::json:
      out_.commit(json::fromOem(bytes, count, at));
      break;
    case textForm::utf8:
      out_.commit(toUtf8_(bytes, count, at, oemUtf8()));
      break;
    default:
      std::memcpy(at, bytes, count);
      out_.commit(count);
  }
  units_ += count;
}

void textWriter::put(const unsigned short* units, std::size_t count) {
  std::size_t available = 0;
  unsigned char* at = out_.room(json::kMostPerUnit * count + 1, available);
  if (form_ == textForm::json)
    out_.commit(json::fromUnits(units, count, at));
  else
    out_.commit(mOutput::convert(units, static_cast<int>(count), at,
                                 form_ == textForm::utf8 ? mOutput::encoding::utf8 : mOutput::encoding::oem));
  units_ += count;
}
