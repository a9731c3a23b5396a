#include "reportReader.h"

#include <cstring>

#include "json.h"
#include "mOutput.h"
#include "reportText.h"

namespace {

// Decoded text converted to UTF-8 or JSON goes in pieces of at most this
// many characters, so that its converted form (6 bytes each at most) fits
// the room a sink gives.
constexpr std::size_t kPiece = 64 * 1024;
// The report's bytes taken through text at a time.
constexpr std::size_t kUnitsWindow = 64 * 1024;
// The most bytes a line may reach past its start: its length byte, 255
// codes, and two operands of a repeat that is its last code.
constexpr std::size_t kLineReach = 1 + 255 + 2;

std::size_t converted(const unsigned char* in, std::size_t count, unsigned char* out, reportReader::form f) {
  return f == reportReader::form::json ? json::fromOem(in, count, out) : mOutput::oemToUtf8(in, count, out);
}

}  // namespace

void reportReader::probe(const reportRange& range) {
  if (!range.data || range.end <= range.start) return;
  const unsigned char* p = range.bytes();
  const std::size_t size = static_cast<std::size_t>(range.size());
  volatile unsigned char sink = 0;
  if (!mFile::readMapped([p, size, &sink] {
        for (std::size_t at = 0; at < size; at += 4096) sink = p[at];
        sink = p[size - 1];
      }))
    throw range.data->readFault();
}

namespace {

// Notes the damage a call met, at its place in the data file.
void noteDamage(reportReader::result& total, const reportDecode::result& r, std::uint64_t at) {
  if (r.damaged == reportDecode::damage::none) return;
  total.damaged = r.damaged;
  total.damagedAt = at + r.damagedAt;
}

}  // namespace

reportReader::result reportReader::read(const reportRange& range, form f, byteSink& out) {
  if (!range.data) return result{};
  if (range.start >= range.data->size) {
    result beyond;
    beyond.beyondEnd = true;
    beyond.damagedAt = range.data->size;
    return beyond;
  }
  if (viaUnits_) return readUnits(range, f, out);
  const unsigned char* p = range.bytes();
  std::size_t left = static_cast<std::size_t>(range.size());
  result total;
  while (left > 0) {
    reportDecode::result r{};
    unsigned char* at = nullptr;
    std::size_t room = 0;
    if (f == form::oem) {
      at = out.room(reportDecode::kLineRoom, room);
    } else {
      decoded_.clear();
      at = decoded_.reserve_end(static_cast<int>(kPiece + reportDecode::kLineRoom));
      room = kPiece + reportDecode::kLineRoom;
    }
    if (!mFile::readMapped([&] { r = decode_(p, left, at, room); })) throw range.data->readFault();
    if (f == form::oem) {
      out.commit(r.produced);
    } else {
      std::size_t available = 0;
      unsigned char* to = out.room(json::kMostPerUnit * r.produced, available);
      out.commit(converted(at, r.produced, to, f));
    }
    total.units += r.produced;
    noteDamage(total, r, range.start + static_cast<std::uint64_t>(p - range.bytes()));
    p += r.consumed;
    left -= r.consumed;
  }
  return total;
}

// The report's bytes are copied a window at a time (the decoding into text
// takes memory, which no guarded read may do), and its lines decoded as far
// as they lie whole in the window.
reportReader::result reportReader::readUnits(const reportRange& range, form f, byteSink& out) {
  const unsigned char* p = range.bytes();
  std::size_t left = static_cast<std::size_t>(range.size());
  result total;
  while (left > 0) {
    const std::size_t window = left < kUnitsWindow ? left : kUnitsWindow;
    copy_.clear();
    unsigned char* to = copy_.reserve_end(static_cast<int>(window));
    if (!mFile::readMapped([to, p, window] { std::memcpy(to, p, window); })) throw range.data->readFault();
    copy_.commit_end(static_cast<int>(window));
    // Lines that start this far from the window's end lie whole in it; at
    // the report's end every line does.
    const std::size_t limit = window == left ? window : window - kLineReach;
    text_.clear();
    const reportDecode::result r = decodeReportText(to, window, text_, limit);
    for (std::size_t done = 0, count = static_cast<std::size_t>(text_.get_count()); done < count;) {
      const std::size_t part = count - done < kPiece ? count - done : kPiece;
      const unsigned short* units16 = text_.c_str() + done;
      std::size_t available = 0;
      unsigned char* at = out.room(json::kMostPerUnit * part + 1, available);
      if (f == form::json)
        out.commit(json::fromUnits(units16, part, at));
      else
        out.commit(mOutput::convert(units16, static_cast<int>(part), at,
                                    f == form::utf8 ? mOutput::encoding::utf8 : mOutput::encoding::oem));
      done += part;
    }
    total.units += static_cast<std::uint64_t>(text_.get_count());
    noteDamage(total, r, range.start + static_cast<std::uint64_t>(p - range.bytes()));
    p += r.consumed;
    left -= r.consumed;
  }
  return total;
}
