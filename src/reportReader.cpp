#include "reportReader.h"

#include <algorithm>
#include <cstring>

#include "textDecode.h"
#include "textWriter.h"

namespace {

// The report's bytes taken through text at a time.
constexpr std::size_t kUnitsWindow = 64 * 1024;
// The most bytes a line may reach past its start: its length byte, 255
// codes, and two operands of a repeat that is its last code.
constexpr std::size_t kLineReach = 1 + 255 + 2;
// Reports of this many bytes and more are read with the system's read call
// into memory of the reader's own, and decoded there: touching fresh mapped
// pages (a fault each, and their unmapping) costs more than that copy.
// Shorter ones, many to a page, are decoded where they are mapped, as are
// the very long ones, which would take too much memory.
constexpr std::size_t kReadLeast = 256;
constexpr std::size_t kReadMost = 4 * 1024 * 1024;
// When a report begins where the one read before it from the same data file
// ended, the reports are being read in the order they are stored, and this
// much is read at once, so that the next ones are already in memory: one
// system call for many short reports. A report read out of order is read
// alone, so reading in random order copies nothing twice. Key order often
// takes turns between a few data files, so each of the last few read keeps
// its own window.
constexpr std::size_t kReadAhead = 256 * 1024;

// Notes the damage a call met, at its place in the data file.
void noteDamage(reportReader::result& total, const reportDecode::result& r, std::uint64_t at) {
  if (r.damaged == reportDecode::damage::none) return;
  total.damaged = r.damaged;
  total.damagedAt = at + r.damagedAt;
}

// Lets the mapped pages of a report's bytes before `decoded` go, once a step
// of them was decoded since `released`: a report of gigabytes decoded where
// it is mapped would otherwise keep every page of it in memory.
void releaseBehind(const reportRange& range, std::uint64_t& released, std::uint64_t decoded) {
  if (decoded - released < mFile::kReleaseStep) return;
  range.data->release(released, decoded - released);
  released = decoded;
}

// Runs `reading` on the report's mapped or read bytes, and raises the data
// file's read error when they fail to read.
template <class Reading>
void guarded(const reportRange& range, Reading&& reading) {
  if (!mFile::readMapped(reading)) throw range.data->readFault();
}

}  // namespace

const std::size_t reportReader::kMostRoomPastText = std::max(reportDecode::kLineRoom, textWriter::kMostRoomPastPiece);

void reportReader::probe(const reportRange& range) {
  if (!range.data || range.start >= range.data->size) return;
  if (!viaUnits_ && readBytes(range) != range.bytes()) return;
  if (!range.data->stillReadable(range.start, range.size())) throw range.data->readFault();
}

bool reportReader::withoutBytes(const reportRange& range, result& r) {
  r = result{};
  if (!range.data) return true;
  if (range.start < range.data->size) return false;
  r.beyondEnd = true;
  r.damagedAt = range.data->size;
  return true;
}

template <class Piece>
reportReader::result reportReader::inPieces(const reportRange& range, Piece&& piece) {
  result total;
  std::size_t left = static_cast<std::size_t>(range.size());
  const unsigned char* p = readBytes(range);
  const unsigned char* const first = p;
  const bool mapped = first == range.bytes();
  std::uint64_t released = range.start;
  while (left > 0) {
    const reportDecode::result r = piece(p, left);
    noteDamage(total, r, range.start + static_cast<std::uint64_t>(p - first));
    p += r.consumed;
    left -= r.consumed;
    if (mapped) releaseBehind(range, released, range.start + static_cast<std::uint64_t>(p - first));
  }
  return total;
}

reportReader::result reportReader::check(const reportRange& range) {
  result none;
  if (withoutBytes(range, none)) return none;
  return inPieces(range, [&range](const unsigned char* p, std::size_t left) {
    reportDecode::result r{};
    guarded(range, [&] { r = reportDecode::check(p, left, mFile::kReleaseStep); });
    return r;
  });
}

reportReader::result reportReader::read(const reportRange& range, textForm f, byteSink& out, bool trim) {
  result none;
  if (withoutBytes(range, none)) return none;
  if (viaUnits_) return readUnits(range, f, out, trim);
  // OEM bytes as they are go straight into the sink; every other way passes
  // a piece at a time through scratch memory.
  const bool direct = f == textForm::oem && !trim;
  textWriter text(out, f, trim, decode_.utf8);
  std::uint64_t units = 0;
  result total = inPieces(range, [&](const unsigned char* p, std::size_t left) {
    unsigned char* at = nullptr;
    std::size_t room = 0;
    if (direct) {
      at = out.room(reportDecode::kLineRoom, room);
    } else {
      decoded_.clear();
      room = textWriter::kPiece + reportDecode::kLineRoom;
      at = decoded_.reserve_end(static_cast<int>(room));
    }
    reportDecode::result r{};
    guarded(range, [&] { r = decode_(p, left, at, room); });
    if (direct) {
      out.commit(r.produced);
      units += r.produced;
    } else {
      text.piece(at, r.produced);
    }
    return r;
  });
  if (!direct) {
    text.end();
    units = text.units();
  }
  total.units = units;
  return total;
}

const unsigned char* reportReader::readBytes(const reportRange& range) {
  const mFileData& data = *range.data;
  const std::size_t left = static_cast<std::size_t>(range.size());
  // The data file's window, or the one used longest ago, which it takes.
  readWindow* w = &windows_[0];
  for (readWindow& each : windows_) {
    if (each.of == data.opening) {
      w = &each;
      break;
    }
    if (each.used < w->used) w = &each;
  }
  w->used = ++uses_;
  const bool inOrder = together_ || (w->of == data.opening && range.start == w->lastEnd);
  if (w->of != data.opening) {
    w->of = data.opening;
    w->bytes.clear();
  }
  w->lastEnd = range.end;
  if (range.start >= w->from && range.end <= w->from + static_cast<std::uint64_t>(w->bytes.get_count()))
    return w->bytes.get_data() + (range.start - w->from);
  if (left < kReadLeast || left > kReadMost || !data.canReadAt()) return range.bytes();
  // Long ones go into memory of their own, so that no window grows past
  // kReadAhead; one that probe() read is there still.
  const bool longOne = left > kReadAhead;
  if (longOne && inputOf_ == data.opening && inputFrom_ == range.start && input_.get_count() > 0)
    return input_.get_data();
  mbytes& into = longOne ? input_ : w->bytes;
  const std::uint64_t end = std::min<std::uint64_t>(aheadEnd_, data.size);
  const std::uint64_t ahead = end > range.start ? std::min<std::uint64_t>(kReadAhead, end - range.start) : 0;
  const std::size_t want = inOrder && !longOne ? static_cast<std::size_t>(std::max<std::uint64_t>(ahead, left)) : left;
  into.clear();
  const std::size_t read = data.readAt(range.start, into.reserve_end(static_cast<int>(want)), want);
  if (read < left) {
    into.clear();
    throw data.readFault();
  }
  into.commit_end(static_cast<int>(read));
  if (longOne) {
    inputOf_ = data.opening;
    inputFrom_ = range.start;
  } else {
    w->from = range.start;
  }
  return into.get_data();
}

// The report's bytes are copied a window at a time (the decoding into text
// takes memory, which no guarded read may do), and its lines decoded as far
// as they lie whole in the window.
reportReader::result reportReader::readUnits(const reportRange& range, textForm f, byteSink& out, bool trim) {
  const unsigned char* p = range.bytes();
  std::size_t left = static_cast<std::size_t>(range.size());
  std::uint64_t released = range.start;
  result total;
  textWriter text(out, f, trim, decode_.utf8);
  while (left > 0) {
    const std::size_t window = left < kUnitsWindow ? left : kUnitsWindow;
    copy_.clear();
    unsigned char* to = copy_.reserve_end(static_cast<int>(window));
    guarded(range, [to, p, window] { std::memcpy(to, p, window); });
    copy_.commit_end(static_cast<int>(window));
    // Lines that start this far from the window's end lie whole in it; at
    // the report's end every line does.
    const std::size_t limit = window == left ? window : window - kLineReach;
    text_.clear();
    const reportDecode::result r = decodeReportText(to, window, text_, limit);
    text.piece(text_.c_str(), static_cast<std::size_t>(text_.get_count()));
    noteDamage(total, r, range.start + static_cast<std::uint64_t>(p - range.bytes()));
    p += r.consumed;
    left -= r.consumed;
    releaseBehind(range, released, range.start + static_cast<std::uint64_t>(p - range.bytes()));
  }
  text.end();
  total.units = text.units();
  return total;
}
