#include "reportQueue.h"

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "mOutput.h"

namespace {

using reportDecode::kLineRoom;

// A byte buffer whose storage is kept from one use to the next.
class byteBuffer {
 public:
  byteBuffer() = default;
  byteBuffer(const byteBuffer&) = delete;
  byteBuffer& operator=(const byteBuffer&) = delete;
  ~byteBuffer() { std::free(data_); }

  unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t roomLeft() const { return capacity_ - size_; }
  void clear() { size_ = 0; }
  void truncate(std::size_t n) { size_ = n; }
  // Room for at least n more bytes at the end; raises the library's
  // allocation error when there is none.
  unsigned char* room(std::size_t n) {
    if (capacity_ - size_ < n) grow(n);
    return data_ + size_;
  }
  void commit(std::size_t n) { size_ += n; }
  void append(const void* bytes, std::size_t n) {
    std::memcpy(room(n), bytes, n);
    commit(n);
  }
  void append(const char* text) { append(text, std::strlen(text)); }

 private:
  void grow(std::size_t n) {
    std::size_t wanted = size_ + n;
    std::size_t capacity = capacity_ ? capacity_ : 64 * 1024;
    while (capacity < wanted) capacity *= 2;
    void* grown = std::realloc(data_, capacity);
    if (!grown) stack_ob_allocation_failed(stack_ob_name<unsigned char, 0, 0>::get_size);
    data_ = static_cast<unsigned char*>(grown);
    capacity_ = capacity;
  }

  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Decimal digits of a report number, as mstr::appendNumber writes them.
unsigned putNumber(std::uint64_t value, unsigned char* out) {
  unsigned char digits[20];
  unsigned n = 0;
  do {
    digits[n++] = static_cast<unsigned char>('0' + value % 10);
    value /= 10;
  } while (value);
  for (unsigned i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  return n;
}

// What one report left in its batch's buffer.
struct piece {
  std::size_t end;          // its bytes end here (they begin where the previous piece's end)
  std::size_t numberAt;     // its number stands here
  std::uint32_t textUnits;  // plain form: the units of its text
  unsigned char numberLength;
  bool failed;              // its error is the next one of the batch
};

// Consecutive entries of an index, decoded together.
struct batch {
  mFileIndex::entry_map::node* first = nullptr;
  unsigned count = 0;
  std::uint64_t bytes = 0;  // encoded
  bool big = false;         // one report too large for a batch: the writer decodes it
  unsigned assumedFirst = 0;  // its first number if no report before it in the index fails
  bool done = false;
};

// A batch and where it is decoded to; batch i uses slot i % window.
struct slot {
  batch b;
  byteBuffer out;
  std::vector<piece> pieces;
  std::vector<mEx> errors;
  bool fatal = false;  // a failure other than an error of the library: the run ends there
};

// What each thread decodes into before the text is converted.
struct scratch {
  byteBuffer decoded;
  mstr text;  // the decoded bytes as UTF-16 text, where they are not the output
};

// The UTF-16 units each decoded byte stands for where the bytes are not the
// output: the library converts each character's byte on its own, so its
// text is the units of every byte in turn (none where the code page has no
// character for the byte alone).
struct unitTable {
  unsigned short unit[256][2];
  unsigned char count[256];

  unitTable() : unit(), count() {
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      WCHAR units[2] = {};
      const int n = MultiByteToWideChar(CP_OEMCP, 0, &byte, 1, units, 2);
      count[b] = static_cast<unsigned char>(n > 0 ? n : 0);
      for (int k = 0; k < count[b]; ++k) unit[b][k] = static_cast<unsigned short>(units[k]);
    }
  }
};

}  // namespace

struct reportQueue::state {
  reportFormat format;
  reportDecode::level level;
  bool oneAtATime;
  bool viaUnits;  // decode through UTF-16 text: the bytes are not the output
  std::size_t batchBytes;  // encoded bytes of one batch at most, for this format
  std::size_t cutBytes = 0;  // of one batch of the index being written
  unsigned threads;
  unsigned maxReports;
  unsigned window;

  // The index being written, and where its batches are cut.
  const mFileIndex* index = nullptr;
  mFileIndex::entry_map::node* uncut = nullptr;  // the first entry in no batch yet
  unsigned uncutNumber = 0;                       // its number, if no report before it fails
  std::unique_ptr<slot[]> slots;
  byteBuffer indexJson;         // "path" of the index, for JSON
  std::string dataJson[256];    // "name" of each data file, for JSON

  // Claims and completions, shared with the workers.
  std::mutex lock;
  std::condition_variable workReady;
  std::condition_variable batchDone;
  std::size_t next = 0;       // the first batch not yet claimed
  std::size_t written = 0;    // batches written so far
  std::size_t claimable = 0;  // batches cut so far, which may be claimed
  unsigned inFlight = 0;      // claimed and not done
  bool stopping = false;
  std::vector<std::thread> workers;

  std::unique_ptr<unitTable> units;  // where viaUnits

  // The writer's own.
  scratch writerScratch;
  std::size_t lastUnits = 0;

  state(reportFormat f, reportDecode::level l, unsigned threads, bool single, bool textUnits)
      : format(f), level(l), oneAtATime(single), viaUnits(textUnits) {
    if (viaUnits) units.reset(new unitTable);
    std::size_t expansion = format.how == reportFormat::kind::jsonl ? mOutput::kJsonPerByte : format.utf8 ? 3 : 1;
    batchBytes = kBatchBytes / expansion;
    this->threads = threads;
    maxReports = oneAtATime ? 1 : 4096;
    unsigned workerCount = threads > 1 ? threads - 1 : 0;
    window = 2 * workerCount + 2;
    slots.reset(new slot[window]);
    // A thread that cannot be started leaves its work to the others and to
    // the writer, which can do it all.
    try {
      for (unsigned i = 0; i < workerCount; ++i) workers.emplace_back([this] { work(); });
    } catch (...) {
    }
  }

  ~state() {
    {
      std::lock_guard<std::mutex> guard(lock);
      stopping = true;
    }
    workReady.notify_all();
    for (std::thread& t : workers) t.join();
  }

  bool canClaim() const { return next < claimable && next < written + window; }

  void work() {
    scratch own;
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
      workReady.wait(guard, [this] { return stopping || canClaim(); });
      if (stopping) return;
      std::size_t j = next++;
      ++inFlight;
      guard.unlock();
      process(j, own);
      guard.lock();
      finish(j);
    }
  }

  void finish(std::size_t j) {
    slots[j % window].b.done = true;
    --inFlight;
    batchDone.notify_all();
  }

  // ---- Decoding a batch (any thread) ----

  void process(std::size_t j, scratch& own) {
    slot& s = slots[j % window];
    s.out.clear();
    s.pieces.clear();
    s.errors.clear();
    s.fatal = false;
    if (s.b.big) return;  // the writer decodes it as it writes it
    try {
      decodeBatch(s.b, s, own);
    } catch (...) {
      s.fatal = true;
    }
  }

  void decodeBatch(const batch& b, slot& s, scratch& own) {
    unsigned number = b.assumedFirst;
    mFileIndex::entry_map::iterator it(b.first);
    for (unsigned k = 0; k < b.count; ++k) {
      const mIndexEntry& entry = *it.step()->value;
      std::size_t mark = s.out.size();
      piece p{};
      try {
        try {
          emit(entry, number, s.out, own, p);
        } catch (const std::bad_alloc&) {
          stack_ob_allocation_failed(stack_ob_name<unsigned char, 0, 0>::get_size);
        }
        ++number;
      } catch (mEx& error) {
        s.out.truncate(mark);
        p = piece{};
        p.failed = true;
        s.errors.push_back(std::move(error));
      }
      p.end = s.out.size();
      s.pieces.push_back(p);
    }
  }

  // Decodes a report straight from its mapped bytes into `out`. A fault
  // while they are read raises the report's read error.
  void decodeInto(const reportRange& range, byteBuffer& out) {
    const unsigned char* p = range.bytes();
    std::size_t left = static_cast<std::size_t>(range.size());
    while (left > 0) {
      unsigned char* at = out.room(kLineRoom);
      const std::size_t room = out.roomLeft();
      reportDecode::result r{};
      if (!mFile::readMapped([&] { r = reportDecode::decode(level, p, left, at, room); }))
        throw range.data->readFault();
      out.commit(r.produced);
      p += r.consumed;
      left -= r.consumed;
    }
  }

  void putNumberAt(byteBuffer& out, unsigned number, piece& p) {
    p.numberAt = out.size();
    p.numberLength = static_cast<unsigned char>(putNumber(number, out.room(20)));
    out.commit(p.numberLength);
  }

  // One report as the format wants it, numbered `number`.
  void emit(const mIndexEntry& entry, unsigned number, byteBuffer& out, scratch& own, piece& p) {
    const reportRange range = index->locate(entry);
    if (format.how != reportFormat::kind::plain) {
      emitFields(entry, range, number, out, p);
      if (format.how == reportFormat::kind::jsonl) {
        out.append(",\"text\":\"");
        if (range.data) appendText(range, textForm::json, out, own);
        out.append("\"");
      }
      out.append("}\n");
      return;
    }
    const textForm form = format.utf8 ? textForm::utf8 : textForm::oem;
    p.textUnits = range.data ? static_cast<std::uint32_t>(appendText(range, form, out, own)) : 0;
    out.append("+++");
    putNumberAt(out, number, p);
    out.append("\n");
  }

  enum class textForm { oem, utf8, json };

  // The most output bytes one decoded byte gives in the form (put() wants
  // one more).
  std::size_t outputPerByte(textForm form) const {
    if (form == textForm::json) return viaUnits ? 2 * mOutput::kJsonPerByte : mOutput::kJsonPerByte;
    if (viaUnits) return 2 * 3;  // units of each byte, 3 bytes each at most
    return form == textForm::utf8 ? 3 : 1;
  }

  // Puts `n` decoded bytes at `to`, which has room for outputPerByte(form)
  // * n + 1 bytes, as the form wants them: as they are, as UTF-8, or as the
  // inside of a JSON string; through the text the library decodes them to
  // where the bytes are not the output. Returns the bytes put, and adds the
  // units of their text to `units`.
  std::size_t put(const unsigned char* in, std::size_t n, textForm form, unsigned char* to, std::uint64_t& units,
                  mstr& text) {
    if (!viaUnits) {
      units += n;
      if (form == textForm::json) return mOutput::oemToJson(in, n, to);
      if (form == textForm::utf8) return mOutput::oemToUtf8(in, n, to);
      std::memcpy(to, in, n);
      return n;
    }
    const unitTable& table = *this->units;
    text.clear();
    unsigned short* const first = text.reserve_end(static_cast<int>(2 * n));
    unsigned short* o = first;
    for (std::size_t i = 0; i < n; ++i)
      for (unsigned k = 0; k < table.count[in[i]]; ++k) *o++ = table.unit[in[i]][k];
    const int count = static_cast<int>(o - first);
    text.commit_end(count);
    units += static_cast<std::uint64_t>(count);
    if (form == textForm::json) return mOutput::unitsToJson(text.c_str(), count, to);
    return mOutput::convert(text.c_str(), count, to,
                            form == textForm::utf8 ? mOutput::encoding::utf8 : mOutput::encoding::oem);
  }

  // Appends the report's text in that form and returns its units (the OEM
  // bytes, or the units of the UTF-16 text where the code page needs it).
  std::size_t appendText(const reportRange& range, textForm form, byteBuffer& out, scratch& own) {
    if (form == textForm::oem && !viaUnits) {
      const std::size_t start = out.size();
      decodeInto(range, out);
      return out.size() - start;
    }
    own.decoded.clear();
    decodeInto(range, own.decoded);
    const std::size_t n = own.decoded.size();
    std::uint64_t units = 0;
    out.commit(put(own.decoded.data(), n, form, out.room(outputPerByte(form) * n + 1), units, own.text));
    return static_cast<std::size_t>(units);
  }

  // A report's JSON object up to its last field before the text.
  void emitFields(const mIndexEntry& entry, const reportRange& range, unsigned number, byteBuffer& out, piece& p) {
    out.append("{\"n\":");
    putNumberAt(out, number, p);
    out.append(",\"index\":");
    out.append(indexJson.data(), indexJson.size());
    out.append(",\"key\":\"");
    const std::size_t keyUnits = static_cast<std::size_t>(entry.get_count());
    out.commit(mOutput::unitsToJson(entry.c_str(), entry.get_count(), out.room(6 * keyUnits)));
    out.append("\",\"data\":");
    out.append(range.data ? dataJson[entry.fileNumber].c_str() : "null");
    out.append(",\"block\":");
    out.commit(putNumber(entry.firstBlock, out.room(20)));
    out.append(",\"bytes\":");
    if (range.data)
      out.commit(putNumber(range.size(), out.room(20)));
    else
      out.append("null");
  }

  // ---- Writing (the writer's thread) ----

  // Cuts the batches that may be claimed now, a window ahead of the writer,
  // so that their entries are still at hand when they are decoded.
  void cutAhead() {
    std::size_t cut = claimable;  // only the writer changes it
    for (; uncut && cut < written + window; ++cut) {
      batch& b = slots[cut % window].b;  // its slot's batch was written
      b = batch{};
      b.first = uncut;
      b.assumedFirst = uncutNumber;
      while (uncut) {
        std::uint64_t bytes = format.how == reportFormat::kind::list ? 0 : index->locate(*uncut->value).size();
        // A report too large to be held whole is a batch of its own: the
        // writer streams it.
        const bool big = bytes > batchBytes;
        if (b.count > 0 && (big || b.count >= maxReports || b.bytes + bytes > cutBytes)) break;
        b.big = big;
        ++b.count;
        b.bytes += bytes;
        uncut = mFileIndex::entry_map::successor(uncut);
        if (big) break;
      }
      uncutNumber += b.count;
    }
    if (cut == claimable) return;
    {
      std::lock_guard<std::mutex> guard(lock);
      claimable = cut;
    }
    workReady.notify_all();
  }

  void prepareJson(const mFileIndex& idx, const mstr& indexPath) {
    if (format.how == reportFormat::kind::plain) return;
    indexJson.clear();
    indexJson.append("\"");
    indexJson.commit(mOutput::unitsToJson(indexPath.c_str(), indexPath.get_count(),
                                          indexJson.room(6 * static_cast<std::size_t>(indexPath.get_count()))));
    indexJson.append("\"");
    for (int number = 0; number < 256; ++number) {
      const mFileData* data = idx.dataFileOf[number];
      if (!data) continue;
      std::vector<unsigned char> bytes(6 * static_cast<std::size_t>(data->get_count()) + 2);
      std::size_t n = mOutput::unitsToJson(data->c_str(), data->get_count(), bytes.data() + 1);
      dataJson[number].assign("\"").append(reinterpret_cast<const char*>(bytes.data() + 1), n).append("\"");
    }
  }

  // Waits for batch i, decoding batches itself while it would wait.
  void await(std::size_t i) {
    std::unique_lock<std::mutex> guard(lock);
    while (!slots[i % window].b.done) {
      if (canClaim()) {
        std::size_t j = next++;
        ++inFlight;
        guard.unlock();
        process(j, writerScratch);
        guard.lock();
        finish(j);
        continue;
      }
      batchDone.wait(guard);
    }
  }

  void released(std::size_t i) {
    {
      std::lock_guard<std::mutex> guard(lock);
      written = i + 1;
    }
    workReady.notify_all();
  }

  void writeNumber(unsigned number) {
    unsigned char digits[20];
    mOutput::get().bytes(digits, putNumber(number, digits));
  }

  void writeBatch(std::size_t i, unsigned& counter) {
    const slot& s = slots[i % window];
    const batch& b = s.b;
    if (b.big) return writeBig(*b.first->value, counter);
    if (s.fatal) throw std::bad_alloc();  // ends the run as any such failure does
    mOutput& output = mOutput::get();
    const unsigned char* bytes = s.out.data();
    const bool renumber = counter != b.assumedFirst;
    std::size_t pending = 0;  // bytes before it are written
    std::size_t begin = 0;    // where the current piece begins
    std::size_t error = 0;
    for (const piece& p : s.pieces) {
      if (p.failed) {
        output.bytes(bytes + pending, begin - pending);
        printErrorText(s.errors[error++]);
        lastUnits = 0;
      } else {
        if (renumber) {
          output.bytes(bytes + pending, p.numberAt - pending);
          writeNumber(counter);
          pending = p.numberAt + p.numberLength;
        }
        unsigned char digits[20];
        lastUnits = p.textUnits + 3 + putNumber(counter, digits);
        ++counter;
      }
      if (p.failed) pending = p.end;
      begin = p.end;
      if (oneAtATime) {
        output.bytes(bytes + pending, begin - pending);
        pending = begin;
        output.endOfPiece();
      }
      if (output.lost()) return;
    }
    output.bytes(bytes + pending, s.out.size() - pending);
  }

  // A report too large for a batch: decoded from its mapped bytes a piece at
  // a time, straight into the output, so that no report is held whole. A
  // fault before any of its text is written skips it with its read error, as
  // in a batch; a fault later ends its text at the line end it reached, and
  // the error follows its separator (in JSON, the end of its object).
  void writeBig(const mIndexEntry& entry, unsigned& counter) {
    mOutput& output = mOutput::get();
    const reportRange range = index->locate(entry);
    const bool json = format.how == reportFormat::kind::jsonl;
    const textForm form = json ? textForm::json : format.utf8 ? textForm::utf8 : textForm::oem;
    const bool direct = form == textForm::oem && !viaUnits;  // the decoded bytes are the output
    const unsigned char* p = range.bytes();
    std::size_t left = static_cast<std::size_t>(range.size());
    std::uint64_t units = 0;
    bool begun = false;
    auto begin = [&] {
      begun = true;
      if (!json) return;
      byteBuffer head;
      piece ignored{};
      emitFields(entry, range, counter, head, ignored);
      head.append(",\"text\":\"");
      output.bytes(head.data(), head.size());
    };
    std::optional<mEx> failure;  // why its text ends early: a fault, or no memory
    try {
      while (left > 0) {
        byteBuffer& decoded = writerScratch.decoded;
        decoded.clear();
        std::size_t room = kLineRoom;
        unsigned char* at = direct ? output.room(kLineRoom, room) : decoded.room(kLineRoom);
        reportDecode::result r{};
        if (!mFile::readMapped([&] { r = reportDecode::decode(level, p, left, at, room); })) {
          failure.emplace(range.data->readFault());
          break;
        }
        if (!begun) begin();
        if (direct) {
          output.commit(r.produced);
          units += r.produced;
        } else {
          std::size_t space = 0;
          unsigned char* to = output.room(outputPerByte(form) * r.produced + 1, space);
          output.commit(put(at, r.produced, form, to, units, writerScratch.text));
        }
        p += r.consumed;
        left -= r.consumed;
        if (output.lost()) return;
      }
    } catch (mEx& error) {
      failure.emplace(std::move(error));
    }
    if (failure && !begun) {
      printErrorText(*failure);
      lastUnits = 0;
      return;
    }
    if (!begun) begin();
    if (json) {
      output.bytes("\"}\n", 3);
    } else {
      output.bytes("+++", 3);
      writeNumber(counter);
      output.bytes("\n", 1);
      unsigned char digits[20];
      lastUnits = static_cast<std::size_t>(units) + 3 + putNumber(counter, digits);
    }
    ++counter;
    output.endOfPiece();
    if (failure) {
      printErrorText(*failure);
      lastUnits = 0;
    }
  }
};

reportQueue::reportQueue(reportFormat format, reportDecode::level level, unsigned threads, bool oneAtATime,
                         bool viaUnits)
    : state_(new state(format, level, threads, oneAtATime, viaUnits)) {}

reportQueue::~reportQueue() = default;

std::size_t reportQueue::lastUnits() const { return state_->lastUnits; }

void reportQueue::write(const mFileIndex& index, const mstr& indexPath, unsigned& counter) {
  state& s = *state_;
  s.index = &index;
  s.prepareJson(index, indexPath);
  s.uncut = index.entries.first();
  s.uncutNumber = counter;
  // Batches small enough that every thread gets a few of the index, so that
  // no thread idles long at its end, but not so small that handing them over
  // costs more than decoding them.
  std::uint64_t total = 0;
  for (const mFileData* data : index.dataFileOf)
    if (data) total += data->size;
  s.cutBytes = static_cast<std::size_t>(total / (4 * s.threads));
  if (s.cutBytes > s.batchBytes) s.cutBytes = s.batchBytes;
  if (s.cutBytes < s.batchBytes / 16) s.cutBytes = s.batchBytes / 16;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    s.next = 0;
    s.written = 0;
    s.claimable = 0;
  }
  // However the writing ends, no worker may still read this index after it.
  struct retire {
    state& s;
    ~retire() {
      std::unique_lock<std::mutex> guard(s.lock);
      s.claimable = s.next;
      s.batchDone.wait(guard, [this] { return s.inFlight == 0; });
      s.index = nullptr;
    }
  } retiring{s};
  mOutput& output = mOutput::get();
  for (std::size_t i = 0;; ++i) {
    s.cutAhead();
    if (i >= s.claimable) break;
    s.await(i);
    const unsigned before = counter;
    s.writeBatch(i, counter);
    s.released(i);
    output.progressReports(counter - before);
    if (output.lost()) return;
  }
  output.endOfPiece();
}
