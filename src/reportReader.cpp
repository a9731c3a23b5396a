#include "reportReader.h"

#include <algorithm>
#include <cstring>

#include "json.h"
#include "mOutput.h"
#include "oemTable.h"
#include "textDecode.h"

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

// The UTF-8 of the OEM bytes, made once from the code page.
const reportDecode::utf8Table& oemUtf8() {
  static const reportDecode::utf8Table table = [] {
    const oemTable& oem = oemTable::get();
    return reportDecode::makeUtf8Table(oem.utf8Length, oem.utf8[0], oem.utf8[1], oem.utf8[2]);
  }();
  return table;
}

// Writes decoded text to a sink in a form, piece by piece, and leaves out
// the empty lines that end the report when it trims: line ends are held back
// until text follows them, and at the end one is written after the last
// line that has any.
class textWriter {
 public:
  textWriter(byteSink& out, reportReader::form f, bool trim, reportDecode::utf8Function toUtf8)
      : out_(out), form_(f), trim_(trim), toUtf8_(toUtf8) {}

  // A piece of OEM bytes, or of UTF-16 units.
  template <class Unit>
  void piece(const Unit* text, std::size_t count) {
    if (trim_) {
      std::size_t kept = count;
      while (kept > 0 && text[kept - 1] == '\n') --kept;
      if (kept == 0) {
        held_ += count;
        return;
      }
      lineEnds(held_);
      held_ = count - kept;
      count = kept;
      any_ = true;
    }
    for (std::size_t done = 0; done < count;) {
      const std::size_t part = count - done < kPiece ? count - done : kPiece;
      put(text + done, part);
      done += part;
    }
  }

  // The end of the report.
  void end() {
    if (trim_ && any_) lineEnds(1);
  }

  std::uint64_t units() const { return units_; }

 private:
  void lineEnds(std::uint64_t count) {
    unsigned char ends[4096];
    std::memset(ends, '\n', sizeof ends);
    while (count > 0) {
      const std::size_t part = count < sizeof ends ? static_cast<std::size_t>(count) : sizeof ends;
      put(ends, part);
      count -= part;
    }
  }

  void put(const unsigned char* bytes, std::size_t count) {
    std::size_t available = 0;
    // JSON, or UTF-8 and what its conversion may write past it.
    unsigned char* at =
        out_.room(std::max(json::kMostPerUnit * count + 1, 3 * count + reportDecode::kUtf8Slack), available);
    switch (form_) {
      case reportReader::form::json:
        out_.commit(json::fromOem(bytes, count, at));
        break;
      case reportReader::form::utf8:
        out_.commit(toUtf8_(bytes, count, at, oemUtf8()));
        break;
      default:
        std::memcpy(at, bytes, count);
        out_.commit(count);
    }
    units_ += count;
  }

  void put(const unsigned short* units, std::size_t count) {
    std::size_t available = 0;
    unsigned char* at = out_.room(json::kMostPerUnit * count + 1, available);
    if (form_ == reportReader::form::json)
      out_.commit(json::fromUnits(units, count, at));
    else
      out_.commit(mOutput::convert(units, static_cast<int>(count), at,
                                   form_ == reportReader::form::utf8 ? mOutput::encoding::utf8 : mOutput::encoding::oem));
    units_ += count;
  }

  byteSink& out_;
  const reportReader::form form_;
  const bool trim_;
  const reportDecode::utf8Function toUtf8_;
  std::uint64_t held_ = 0;  // line ends not yet written
  bool any_ = false;        // text written
  std::uint64_t units_ = 0;
};

}  // namespace

const std::size_t reportReader::kMostRoomPastText =
    std::max(reportDecode::kLineRoom, json::kMostPerUnit * kPiece + 1);

void reportReader::probe(const reportRange& range) {
  if (!range.data || range.start >= range.data->size) return;
  if (!viaUnits_ && readBytes(range) != range.bytes()) return;
  if (!range.data->stillReadable(range.start, range.size())) throw range.data->readFault();
}

reportReader::result reportReader::read(const reportRange& range, form f, byteSink& out, bool trim) {
  if (!range.data) return result{};
  if (range.start >= range.data->size) {
    result beyond;
    beyond.beyondEnd = true;
    beyond.damagedAt = range.data->size;
    return beyond;
  }
  if (viaUnits_) return readUnits(range, f, out, trim);
  std::size_t left = static_cast<std::size_t>(range.size());
  const unsigned char* p = readBytes(range);
  const unsigned char* const first = p;
  const bool mapped = first == range.bytes();
  std::uint64_t released = range.start;
  result total;
  // OEM bytes as they are go straight into the sink; every other way passes
  // a piece at a time through scratch memory.
  const bool direct = f == form::oem && !trim;
  textWriter text(out, f, trim, decode_.utf8);
  while (left > 0) {
    reportDecode::result r{};
    unsigned char* at = nullptr;
    std::size_t room = 0;
    if (direct) {
      at = out.room(reportDecode::kLineRoom, room);
    } else {
      decoded_.clear();
      room = kPiece + reportDecode::kLineRoom;
      at = decoded_.reserve_end(static_cast<int>(room));
    }
    if (!mFile::readMapped([&] { r = decode_(p, left, at, room); })) throw range.data->readFault();
    if (direct) {
      out.commit(r.produced);
      total.units += r.produced;
    } else {
      text.piece(at, r.produced);
    }
    noteDamage(total, r, range.start + static_cast<std::uint64_t>(p - first));
    p += r.consumed;
    left -= r.consumed;
    if (mapped) releaseBehind(range, released, range.start + static_cast<std::uint64_t>(p - first));
  }
  if (!direct) {
    text.end();
    total.units = text.units();
  }
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
  const bool inOrder = w->of == data.opening && range.start == w->lastEnd;
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
  const std::size_t want = inOrder && !longOne
                               ? static_cast<std::size_t>(std::min<std::uint64_t>(kReadAhead, data.size - range.start))
                               : left;
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
reportReader::result reportReader::readUnits(const reportRange& range, form f, byteSink& out, bool trim) {
  const unsigned char* p = range.bytes();
  std::size_t left = static_cast<std::size_t>(range.size());
  std::uint64_t released = range.start;
  result total;
  textWriter text(out, f, trim, decode_.utf8);
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
