#include "reportWriter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <vector>

#include "decimal.h"
#include "orderedQueue.h"
#include "reportReader.h"

// Named, not unnamed: reportWriter::state holds its types, and in a unity build a class may not
// hold types of an unnamed namespace of an included file.
namespace writing {

typedef mFileIndex::entry_map::node entryNode;

// Encoded bytes below which the last batch of an index is left to the writer.
constexpr std::uint64_t kWakeBytes = 16 * 1024;
// Batches out besides two for each thread, when batches are cut small. The
// writer shares its core with the thread that opens the next index files;
// while it is off its core, no batch is cut, and these keep the workers busy
// (a fifth less time on two cores, for archives of small indexes). Batches
// of the full size hold work enough without them.
constexpr unsigned kSpareBatches = 4;
// How many reports ahead of the one decoded their bytes are asked for.
constexpr unsigned kPrefetchAhead = 16;
// Room for what the form writes around one report's text (a separator,
// the fields of a JSON object as they mostly are); more is grown into.
constexpr std::size_t kFramingRoom = 64;

// The error of memory that a report could not have, whatever asked for it:
// that of the library's arrays, in which reports are decoded.
mEx allocationError() { return stack_ob_allocation_error(origin::allocationBytes); }

// Runs work() and returns true; returns false instead, with the error in
// `failure`, when it raised the library's error or found no memory: what
// reading one report meets ends that report alone. Any other failure goes on
// up and ends the run.
template <class Work>
bool endsOneReport(std::optional<mEx>& failure, Work&& work) {
  try {
    work();
    return true;
  } catch (mEx& error) {
    failure.emplace(std::move(error));
  } catch (const std::bad_alloc&) {
    failure.emplace(allocationError());
  }
  return false;
}

// Where a batch's reports lie in one data file: up to `end`, and whether
// each follows the one before.
struct fileSpan {
  static constexpr std::uint64_t kUnseen = ~std::uint64_t{0};
  std::uint64_t end = kUnseen;
  bool follows = false;
};

// What one report left in its batch's buffer: 32 bytes, as the worker
// writes one for every report and the writer reads it from another core.
// Places and counts in the buffer fit 32 bits (its size is an int); a
// report's error, seldom had, is kept beside the notes.
struct piece {
  static constexpr std::uint32_t kNoNumber = ~std::uint32_t{0};
  static constexpr std::uint32_t kNoFailure = ~std::uint32_t{0};
  // It failed, and there was no memory to keep its error: it failed for
  // want of memory.
  static constexpr std::uint32_t kUnkeptFailure = kNoFailure - 1;
  std::uint64_t bytes;      // of codes read
  std::uint32_t end;        // its bytes end here (they begin where the previous piece's end)
  std::uint32_t numberAt;   // its number stands here, or kNoNumber: it has none
  std::uint32_t textUnits;  // the characters of its text
  std::uint32_t failure = kNoFailure;  // why it could not be read, in the batch's `failures`
  unsigned char numberLength;
  bool damaged;  // its decoding mended damage
};

// Keeps a report's error among its batch's, and returns its place there;
// without the memory for it, the report fails for want of memory.
std::uint32_t keep(std::vector<mEx>& failures, mEx&& error) {
  try {
    failures.push_back(std::move(error));
    return static_cast<std::uint32_t>(failures.size() - 1);
  } catch (const std::bad_alloc&) {
    return piece::kUnkeptFailure;
  }
}

// The reports being cut into batches: those of one source, and the slot of
// the form's per-source fields it was begun in.
struct cutSource {
  const mFileIndex* index = nullptr;
  bool salvaged = false;
  unsigned serial = 0;  // of the sources begun
  unsigned slot = 0;
};

// Consecutive entries of an index, and what decoding them gave.
struct batch {
  cutSource source;
  entryNode* first = nullptr;
  unsigned count = 0;
  bool big = false;           // one report too large for a batch: the writer decodes it
  unsigned assumedFirst = 0;  // its first number if no report before it in the index fails
  std::uint64_t bytes = 0;    // of codes
  mbytes out;
  std::vector<piece> pieces;
  std::vector<mEx> failures;  // of its pieces
  // There was no memory to note its reports: none was decoded.
  bool unnoted = false;
  std::exception_ptr fatal;  // a failure that is no report's own: the run ends there
};

}  // namespace writing
using namespace writing;

struct reportWriter::state {
  reportForm& form;
  const reportForm::traits traits;  // the form's, asked once
  const keyFilter& keys;
  mOutput& output;
  errorSink& errors;
  runTally& tally;
  const bool oneAtATime;
  progress* const shown;
  std::vector<std::unique_ptr<reportReader>> readers;  // one for each thread
  std::vector<std::array<fileSpan, 256>> ahead;        // batchSpans' scratch, one for each thread
  std::size_t batchBytes;  // encoded bytes of one batch at most, for this form
  std::size_t cutBytes = 0;  // of one batch of the index being written
  unsigned maxReports;
  // The last report written: the characters of its text, and its number;
  // none when it failed.
  bool lastWritten = false;
  std::uint64_t lastText = 0;
  unsigned lastNumber = 0;

  // Where batches are cut: the source, and the first entry in no batch yet
  // with its number, if no report before it fails.
  cutSource cutting;
  entryNode* uncut = nullptr;
  unsigned uncutNumber = 0;
  // The source whose reports follow, cut into batches as soon as those of
  // the one being written are all cut (null: none is told, or it is begun).
  const reportSource* following = nullptr;
  bool followingBegun = false;  // the source written next is cut already
  unsigned sourcesBegun = 0;
  orderedQueue<batch> queue;

  state(reportForm& f, const keyFilter& k, mOutput& o, errorSink& e, runTally& t, const reading& how, progress* p)
      : form(f), traits(f.constants()), keys(k), output(o), errors(e), tally(t), oneAtATime(how.oneAtATime),
        shown(p), ahead(how.threads), batchBytes(kBatchBytes / traits.bytesPerCharacter),
        maxReports(how.oneAtATime ? 1 : 4096),
        queue(how.threads, how.threads > 1 ? 2 * how.threads + kSpareBatches : 2,
              [this](batch& b, unsigned thread) { decodeBatch(b, thread); }) {
    for (unsigned t = 0; t < how.threads; ++t) readers.emplace_back(new reportReader(how.decode, how.viaUnits));
  }

  // ---- Decoding a batch (any thread) ----

  void decodeBatch(batch& b, unsigned thread) {
    b.out.clear();
    b.pieces.clear();
    b.failures.clear();
    b.unnoted = false;
    b.fatal = nullptr;
    if (b.big) return;  // the writer decodes it as it writes it
    try {
      if (takeRoom(b)) decodePieces(b, thread);
    } catch (...) {
      b.fatal = std::current_exception();
    }
  }

  // Room for the note of every report of the batch, taken first, so that
  // noting one takes no memory: false without it. Then room for the most
  // text the batch's codes can give, taken at once: grown as it fills, the
  // text would be copied again and again, and held twice while it is. The
  // room stays the slot's; only what the text fills is memory in use.
  // Without the memory for it, the batch grows as its reports need, and a
  // report that finds none fails alone.
  bool takeRoom(batch& b) const {
    try {
      b.pieces.reserve(b.count);
    } catch (const std::bad_alloc&) {
      b.unnoted = true;
      return false;
    }
    try {
      const std::uint64_t text =
          traits.writesText ? b.bytes * reportDecode::kMostPerCodeByte * traits.bytesPerCharacter : 0;
      b.out.get_size(static_cast<int>(text + reportReader::kMostRoomPastText + b.count * kFramingRoom), true);
    } catch (mEx&) {
    }
    return true;
  }

  void decodePieces(batch& b, unsigned thread) {
    arraySink text(b.out);
    unsigned number = b.assumedFirst;
    entryNode* n = b.first;
    // The first bytes of the reports a few ahead are asked of memory while
    // this one is decoded: in key order, reports lie anywhere in their data
    // files, and waiting for each in turn is most of the time of short ones.
    entryNode* ahead = b.first;
    auto askAhead = [&b, &ahead] {
      if (!ahead) return;
      // As a number: the place may lie past the file's view, which a hint
      // may name but a pointer may not.
      if (const mFileData* data = b.source.index->dataFileOf[ahead->value->fileNumber]) {
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(data->view) + ahead->value->start;
        __builtin_prefetch(reinterpret_cast<const void*>(at));
      }
      ahead = mFileIndex::entry_map::successor(ahead);
    };
    for (unsigned k = 0; k < kPrefetchAhead; ++k) askAhead();
    reportReader& reader = *readers[thread];
    // Alone, the one reader goes on from batch to batch with whole windows.
    const bool shared = queue.threads() > 1;
    const std::array<fileSpan, 256>& spans = batchSpans(b, thread, shared);
    for (unsigned k = 0; k < b.count; ++k, n = mFileIndex::entry_map::successor(n)) {
      askAhead();
      n = selected(n, b.source.salvaged);  // the reports between are left out
      const mIndexEntry& entry = *n->value;
      const fileSpan& span = spans[entry.fileNumber];
      if (shared) reader.readAheadTo(span.end, span.follows);
      const std::size_t mark = static_cast<std::size_t>(b.out.get_count());
      piece p{};
      std::optional<mEx> failure;
      if (endsOneReport(failure, [&] { emit(b.source, entry, number, b.out, text, reader, p); })) {
        ++number;
      } else {
        b.out.erase(b.out.get_data() + mark, nullptr);
        p.failure = keep(b.failures, std::move(*failure));
      }
      p.end = static_cast<std::uint32_t>(b.out.get_count());
      b.pieces.push_back(p);
    }
    reader.readAheadTo(reportReader::kNoLimit, false);
  }

  // Where the batch's reports end in each data file, and whether they follow
  // one another there. Reports read in the order they are stored are read
  // ahead no further, so that no byte is read twice by the threads of
  // neighbouring batches; where they follow one another from the batch's
  // first on, they are read together from that first one on.
  const std::array<fileSpan, 256>& batchSpans(const batch& b, unsigned thread, bool shared) {
    std::array<fileSpan, 256>& spans = ahead[thread];
    if (!shared) return spans;
    spans.fill(fileSpan{});
    entryNode* n = b.first;
    for (unsigned k = 0; k < b.count && (n = selected(n, b.source.salvaged));
         ++k, n = mFileIndex::entry_map::successor(n)) {
      const reportRange range = b.source.index->range(*n->value);
      fileSpan& span = spans[n->value->fileNumber];
      span.follows = span.end == fileSpan::kUnseen || (span.follows && range.start == span.end);
      span.end = span.end == fileSpan::kUnseen ? range.end : std::max(span.end, range.end);
    }
    return spans;
  }

  // One report in the run's form, numbered `number`.
  void emit(const cutSource& source, const mIndexEntry& entry, unsigned number, mbytes& out, byteSink& sink,
            reportReader& reader, piece& p) {
    const reportRange range = source.index->range(entry);
    reportFrame frame(out, number, source.slot);
    form.opening(frame, entry, range);
    reportReader::result read;
    if (traits.decodes) read = readOrCheck(reader, range, sink);
    p.textUnits = static_cast<std::uint32_t>(read.units);
    p.bytes = range.data ? range.size() : 0;
    p.damaged = !read.sound();
    form.closing(frame, entry, range, read);
    p.numberAt =
        frame.numberAt() == reportFrame::kNoNumber ? piece::kNoNumber : static_cast<std::uint32_t>(frame.numberAt());
    p.numberLength = static_cast<unsigned char>(frame.numberLength());
  }

  // The report's text into `sink`, or where the form writes no text (a
  // verifying run), only what decoding it would find.
  reportReader::result readOrCheck(reportReader& reader, const reportRange& range, byteSink& sink) const {
    return traits.writesText ? reader.read(range, traits.text, sink, traits.trims) : reader.check(range);
  }

  // ---- Writing (the writer's thread) ----

  // The first entry from `n` on that the keys select.
  entryNode* selected(entryNode* n, bool salvaged) const {
    while (n && !keys.selects(*n->value, salvaged)) n = mFileIndex::entry_map::successor(n);
    return n;
  }

  // Begins cutting the reports of a source into batches, numbered from
  // `number` on; the form takes its fields in a slot of its own, the other
  // source that may be out then (the one before) keeping the other slot.
  void beginCutting(const reportSource& source, unsigned number) {
    const unsigned slot = sourcesBegun % reportForm::kSourceSlots;
    form.begin(source, slot);
    cutting = {&source.index, source.salvaged, sourcesBegun++, slot};
    uncut = source.index.entries.first();
    uncutNumber = number;
    // Batches small enough that every thread gets a few of the index, so
    // that no thread idles long at its end, but not so small that handing
    // them over costs more than decoding them.
    std::uint64_t total = 0;
    for (const mFileData* data : source.index.dataFileOf)
      if (data) total += data->size;
    cutBytes = static_cast<std::size_t>(total / (4 * queue.threads()));
    if (cutBytes > batchBytes) cutBytes = batchBytes;
    if (cutBytes < batchBytes / 16) cutBytes = batchBytes / 16;
  }

  // Hands out the batches that may be, a window ahead of the writer, so that
  // their entries are still at hand when they are decoded; once those of the
  // source being written are all out, those of the one that follows.
  void cutAhead() {
    for (;;) {
      uncut = selected(uncut, cutting.salvaged);
      if (!uncut && following) {
        // Without memory for the form's fields of the next source, it is
        // begun in its turn, where that shortage is met as it would be.
        const reportSource& next = *following;
        following = nullptr;
        try {
          beginCutting(next, uncutNumber);
          followingBegun = true;
        } catch (const std::bad_alloc&) {
        }
        continue;
      }
      if (!uncut || !queue.hasRoom()) return;
      if (cutBytes >= batchBytes && queue.out() >= 2 * queue.threads()) return;
      batch& b = queue.next();
      b.source = cutting;
      b.first = uncut;
      b.assumedFirst = uncutNumber;
      b.count = 0;
      b.big = false;
      std::uint64_t bytes = 0;
      while (uncut) {
        const std::uint64_t size = traits.decodes ? cutting.index->range(*uncut->value).size() : 0;
        // A report too large to be held whole is a batch of its own: the
        // writer streams it.
        const bool big = size > batchBytes;
        if (b.count > 0 && (big || b.count >= maxReports || bytes + size > cutBytes)) break;
        b.big = big;
        ++b.count;
        bytes += size;
        uncut = selected(mFileIndex::entry_map::successor(uncut), cutting.salvaged);
        if (big) break;
      }
      b.bytes = bytes;
      uncutNumber += b.count;
      // The last batch of the last source, and a small one: waking a worker
      // costs more than decoding it (an archive of one short report, say).
      queue.handOut(uncut != nullptr || following || bytes >= kWakeBytes);
    }
  }

  // Drops the batches out and forgets the source cut ahead: nothing is read
  // of it any more.
  void dropAhead() {
    queue.drain();
    uncut = nullptr;
    following = nullptr;
    followingBegun = false;
  }

  void writeNumber(unsigned number) {
    unsigned char digits[kMostDigits];
    output.bytes(digits, putDecimal(number, digits));
  }

  // The last report written, or failed.
  void wrote(std::uint64_t textUnits, unsigned number) {
    lastWritten = true;
    lastText = textUnits;
    lastNumber = number;
  }
  void failed(const mEx& error) {
    errors.error(error, errorLevel::report);
    lastWritten = false;
  }

  void writeBatch(batch& b, unsigned& counter) {
    if (b.big) return writeBig(b.source, *b.first->value, counter);
    for (;;) {
      if (b.fatal) std::rethrow_exception(b.fatal);
      if (!b.unnoted) return writePieces(b, counter);
      // Without memory to note its reports, the first of them fails, and the
      // writer decodes the others itself.
      failed(allocationError());
      if (--b.count == 0) return;
      b.first = mFileIndex::entry_map::successor(b.first);
      b.assumedFirst = counter;
      decodeBatch(b, 0);
    }
  }

  void writePieces(const batch& b, unsigned& counter) {
    const unsigned char* bytes = b.out.get_data();
    const bool renumber = counter != b.assumedFirst;
    std::size_t pending = 0;  // bytes before it are written
    std::size_t begin = 0;    // where the current piece begins
    for (const piece& p : b.pieces) {
      if (p.failure != piece::kNoFailure) {
        output.bytes(bytes + pending, begin - pending);
        if (p.failure == piece::kUnkeptFailure)
          failed(allocationError());
        else
          failed(b.failures[p.failure]);
        pending = p.end;
      } else {
        if (renumber && p.numberAt != piece::kNoNumber) {
          output.bytes(bytes + pending, p.numberAt - pending);
          writeNumber(counter);
          pending = p.numberAt + p.numberLength;
        }
        wrote(p.textUnits, counter);
        ++counter;
        ++tally.reports;
        tally.bytes += p.bytes;
        tally.damaged += p.damaged;
      }
      begin = p.end;
      if (oneAtATime) {
        output.bytes(bytes + pending, begin - pending);
        pending = begin;
        output.endOfPiece();
      }
      if (output.lost()) return;
    }
    output.bytes(bytes + pending, static_cast<std::size_t>(b.out.get_count()) - pending);
  }

  // A report too large for a batch: nothing of it is written until it can
  // no longer fail whole: its bytes are read, or where it is decoded mapped
  // its pages once (a report whose bytes are gone or fail to read gets its
  // error first), and the memory for what goes around its text is had.
  // Then it is decoded piece by piece straight into the output. One that
  // fails after that (cut short, or short of memory), while part of it was
  // written, ends at its last whole line with its separator, and its error
  // follows.
  void writeBig(const cutSource& source, const mIndexEntry& entry, unsigned& counter) {
    const reportRange range = source.index->range(entry);
    mbytes around;
    std::optional<mEx> failure;
    if (!endsOneReport(failure, [&] {
          readers[0]->probe(range);
          around.get_size(kFramingRoom, true);
          reportFrame opening(around, counter, source.slot);
          form.opening(opening, entry, range);
        })) {
      return failed(*failure);
    }
    output.bytes(around.get_data(), static_cast<std::size_t>(around.get_count()));
    reportReader::result read;
    endsOneReport(failure, [&] {
      read = readOrCheck(*readers[0], range, output);
    });
    if (output.lost()) return;
    around.clear();
    // Within its room, but for a verifying run's finding of damage.
    endsOneReport(failure, [&] {
      reportFrame closing(around, counter, source.slot);
      form.closing(closing, entry, range, read);
    });
    output.bytes(around.get_data(), static_cast<std::size_t>(around.get_count()));
    wrote(read.units, counter);
    ++counter;
    ++tally.reports;
    tally.bytes += range.size();
    tally.damaged += !read.sound();
    if (failure) errors.error(*failure, errorLevel::report);
    output.endOfPiece();
  }
};

reportWriter::reportWriter(reportForm& form, const keyFilter& keys, mOutput& output, errorSink& errors,
                           runTally& tally, const reading& how, progress* shown) {
  reading threaded = how;
  if (threaded.threads == 0) threaded.threads = 1;
  state_.reset(new state(form, keys, output, errors, tally, threaded, shown));
}

reportWriter::~reportWriter() = default;

std::uint64_t reportWriter::lastUnits() const {
  const state& s = *state_;
  if (!s.lastWritten || s.traits.unitsAround == reportForm::kNoText) return 0;
  unsigned char digits[kMostDigits];
  return s.lastText + s.traits.unitsAround + putDecimal(s.lastNumber, digits);
}

void reportWriter::write(const reportSource& source, unsigned& counter, const reportSource* next) {
  state& s = *state_;
  // Its batches are out already when it was told as the one to follow.
  if (!s.followingBegun || s.cutting.index != &source.index) {
    s.dropAhead();
    s.beginCutting(source, counter);
  }
  s.followingBegun = false;
  s.following = next;
  const unsigned serial = s.cutting.serial;
  // However the writing ends early, no thread may still read this index or
  // the next after it.
  struct retire {
    state& s;
    bool early = true;
    ~retire() {
      if (early) s.dropAhead();
    }
  } retiring{s};
  for (;;) {
    s.cutAhead();
    batch* b = s.queue.oldest();
    if (!b || b->source.serial != serial) break;
    const unsigned before = counter;
    s.writeBatch(*b, counter);
    s.queue.take();
    if (s.shown) s.shown->reports(counter - before);
    if (s.output.lost()) return;
  }
  retiring.early = false;
  s.output.endOfPiece();
}

void reportWriter::dropAhead() { state_->dropAhead(); }
