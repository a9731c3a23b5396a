#include "mFileIndex.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "oemTable.h"

// Named, not unnamed: mFileIndex::loading holds its types, and in a unity build a class may not
// hold types of an unnamed namespace of an included file.
namespace indexLoading {

// Records are read this many at a time: with one read call, or, from an
// index read whole into memory, copied under one guard.
constexpr std::size_t kChunkRecords = 1024;

// A record as read, and its place in the sort: the first bytes of its key's
// sort key, as three numbers compared in turn (zeros past the key).
struct item {
  static constexpr unsigned kPrefix = 24;
  std::uint64_t words[3];
  unsigned short* key;  // its text among the index's keys, a 0 after it
  std::uint32_t record;
  std::uint32_t firstBlock;
  std::uint32_t endBlock;  // the next strictly higher block of its data file; 0: none
  unsigned char fileNumber;
  unsigned char keyLength;     // units (at most 71)
  unsigned char prefixLength;  // bytes of the prefix that belong to the sort key
  bool whole;                  // the sort key is not longer than the prefix
};

// Sets an item's place in the sort from its key, where the platform has
// sort keys.
void placeForSort(item& it) {
  unsigned char prefix[item::kPrefix] = {};
  const std::size_t length = platform::sortKey(reinterpret_cast<LPCWSTR>(it.key), prefix, item::kPrefix);
  // Each eight bytes as a number whose order is theirs: the first the
  // highest.
  for (int w = 0; w < 3; ++w) {
    std::uint64_t word;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(&word, prefix + 8 * w, 8);
    word = __builtin_bswap64(word);
#else
    word = 0;
    for (int k = 0; k < 8; ++k) word = word << 8 | prefix[8 * w + k];
#endif
    it.words[w] = word;
  }
  it.whole = length <= item::kPrefix;
  it.prefixLength = static_cast<unsigned char>(it.whole ? length : item::kPrefix);
}

// The most units a key has, with the 0 after it: 32 + 39 bytes of a record,
// each a unit at most.
constexpr std::size_t kLongestKey = 72;
// Keys are kept in blocks of this many units.
constexpr std::size_t kKeyBlock = 1 << 20;

// Leaves what it allocates as it is: the items are all written before they
// are read, and writing them twice (zeros first) costs a pass over memory.
template <class T>
struct uninitialized : std::allocator<T> {
  template <class U>
  struct rebind {
    typedef uninitialized<U> other;
  };
  uninitialized() = default;
  template <class U>
  uninitialized(const uninitialized<U>&) noexcept {}
  template <class U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};

// Indexes of fewer records are read on one thread: a second one would cost
// more to start than it saves.
constexpr std::size_t kHalvesLeast = 1 << 16;

// Runs work(from, to, half) over [0, n): with `threads` above 1 and n large,
// in two halves at once, the second on a thread of its own. What the work
// raises is raised here, after both halves have stopped.
template <class Work>
void inHalves(std::size_t n, unsigned threads, Work&& work) {
  if (threads < 2 || n < kHalvesLeast) {
    work(std::size_t{0}, n, 0u);
    return;
  }
  const std::size_t middle = n / 2;
  std::future<void> second;
  try {
    second = std::async(std::launch::async, [&work, middle, n] { work(middle, n, 1u); });
  } catch (const std::system_error&) {
    work(std::size_t{0}, n, 0u);  // no thread to be had: all on this one
    return;
  }
  try {
    work(std::size_t{0}, middle, 0u);
  } catch (...) {
    second.wait();
    throw;
  }
  second.get();
}

}  // namespace indexLoading
using namespace indexLoading;

mIndexEntry& mIndexEntry::operator=(const mIndexEntry& other) {
  if (this == &other) return *this;
  if (keyOfIndex_) {
    block = block_end = first = last = nullptr;
    keyOfIndex_ = false;
  }
  assign(other);
  ordinal = other.ordinal;
  fileNumber = other.fileNumber;
  firstBlock = other.firstBlock;
  start = other.start;
  end = other.end;
  return *this;
}

void* mIndexEntry::operator new[](std::size_t bytes) {
  void* block = std::malloc(bytes);
  if (!block) throw std::bad_alloc();
  platform::preferLargePages(block, bytes);
  return block;
}

void mIndexEntry::operator delete[](void* block) noexcept { std::free(block); }

mIndexEntry::~mIndexEntry() {
  if (keyOfIndex_) block = block_end = first = last = nullptr;  // the index's, not ours to release
}

void mIndexEntry::useKey(unsigned short* text, int count) {
  clear();
  if (block && !keyOfIndex_) std::free(block);
  block = first = text;
  last = text + count;
  block_end = last + 1;
  keyOfIndex_ = true;
}

// What open() gathers before it makes the entries. What is still held here
// when an error leaves open() is released.
struct mFileIndex::loading {
  std::vector<item, uninitialized<item>> items;  // one for each record, in record order, then in key order
  std::vector<unsigned char> newRun;  // in key order: whether a key differs from the one before
  std::future<std::unique_ptr<mIndexEntry[]>> entryBlock;  // one entry for each record, being made
  // The first block of every record of each data file, with its record.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> blocks[256];
};

// Room for one more key: in the current block of keys, or a new one.
// The first block is no larger than the keys of the records can fill, so
// that a small index takes little memory.
unsigned short* mFileIndex::keyArena::room() {
  if (blocks.empty() || blockUnits - used < kLongestKey) {
    blockUnits = blocks.empty() && wanted < kKeyBlock ? wanted : kKeyBlock;
    if (blockUnits < kLongestKey) blockUnits = kLongestKey;
    blocks.emplace_back(new unsigned short[blockUnits]);
    platform::preferLargePages(blocks.back().get(), blockUnits * sizeof(unsigned short));
    used = 0;
  }
  return blocks.back().get() + used;
}

mFileIndex::~mFileIndex() {
  // Data files and entries go before the index's own mapping.
  dataFiles.clear();
  entries.clear();
}

void mFileIndex::open(const mFileObject& file, const errorHandler& onError) {
  openUpTo(file, std::numeric_limits<std::uint64_t>::max(), onError);
}

bool mFileIndex::openUpTo(const mFileObject& file, std::uint64_t largest, const errorHandler& onError) {
  mFileObject::operator=(file);
  try {
    return load(onError, largest);
  } catch (const std::bad_alloc&) {
    throw memoryShortage();
  } catch (const mEx& error) {
    if (!error.outOfMemory()) throw;
    throw memoryShortage();
  }
}

mEx mFileIndex::memoryShortage() {
  // What was loaded goes first, so that there is memory for the error.
  entries.clear();
  dataFiles.clear();
  std::fill(std::begin(dataFileOf), std::end(dataFileOf), nullptr);
  dataMissing.reset();
  dataUnreadable.reset();
  keyBlocks_.clear();
  close();
  mstr path;
  getFullPath(path);
  mEx ex(origin::indexMemory);
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  ex.addSystemError().appendText(u"func=malloc Ошибка выделения памяти. filename=").appendText(path.c_str());
  return ex;
}

bool mFileIndex::load(const errorHandler& onError, std::uint64_t largest) {
  openFileRead(true);  // the records are read through the handle
  if (size > largest) {
    close();
    return false;
  }
  entries.clear();
  dataFiles.clear();
  std::fill(std::begin(dataFileOf), std::end(dataFileOf), nullptr);
  dataMissing.reset();
  dataUnreadable.reset();
  keyBlocks_.clear();
  loading loaded;
  readRecords(loaded, onError);
  startEntries(loaded);
  findEnds(loaded);
  sortByKey(loaded);
  makeEntries(loaded);
  return true;
}

// Reads every record into an item, its key into the index's key blocks,
// and opens the data files they name. A trailing piece shorter than a record
// reads as a record whose missing bytes are 0. A large index is read in two
// halves at once; the data files are then opened, and a missing one told,
// record by record in order.
void mFileIndex::readRecords(loading& loaded, const errorHandler& onError) {
  const std::uint64_t records = (size + kRecordSize - 1) / kRecordSize;
  // The maps count their entries in an int: an index of more records cannot
  // be held.
  if (records > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) throw std::bad_alloc();
  const std::size_t n = static_cast<std::size_t>(records);
  loaded.items.reserve(n);
  platform::preferLargePages(loaded.items.data(), loaded.items.capacity() * sizeof(item));
  loaded.items.resize(n);
  keyArena keys[2];
  // Where each half met a record whose bytes were gone (the index was cut
  // short by another program meanwhile); n where none did.
  std::size_t stopped[2] = {n, n};
  inHalves(n, threads, [&](std::size_t from, std::size_t to, unsigned half) {
    const std::size_t count = to - from;
    keys[half].wanted = count < kKeyBlock / kLongestKey ? count * kLongestKey : kKeyBlock;
    const std::size_t end = readPart(loaded, from, to, keys[half]);
    if (end < to) stopped[half] = end;
  });
  for (keyArena& arena : keys)
    for (auto& block : arena.blocks) keyBlocks_.push_back(std::move(block));
  std::size_t read = std::min(stopped[0], stopped[1]);
  // The records of each data file, counted first so that each list is made
  // at its size.
  std::size_t perFile[256] = {};
  for (std::size_t i = 0; i < read; ++i) ++perFile[loaded.items[i].fileNumber];
  for (unsigned f = 0; f < 256; ++f)
    if (perFile[f]) loaded.blocks[f].reserve(perFile[f]);
  bool told = false;  // an error was told, and its writing may have waited long on its reader
  const errorHandler tell = [&told, &onError](mEx& error) {
    told = true;
    onError(error);
  };
  for (std::size_t i = 0; i < read; ++i) {
    // Once an error was told, the index may have been cut short meanwhile:
    // each piece of records is then read again before its records are
    // taken, so that a cut is met where it is, as if they were read only now.
    if (told && i % kChunkRecords == 0 && !stillReadable(i * kRecordSize, kChunkRecords * kRecordSize)) {
      read = i;
      break;
    }
    const item& it = loaded.items[i];
    if (dataFile(it.fileNumber, tell)) loaded.blocks[it.fileNumber].emplace_back(it.firstBlock, it.record);
  }
  if (read < n) throw readFault();
}

// Reads the records [from, to) into their items; returns `to`, or the first
// record of a piece whose bytes were gone. Any thread may run it, each with
// its own key blocks.
std::size_t mFileIndex::readPart(loading& loaded, std::size_t from, std::size_t to, keyArena& keys) const {
  const oemTable& oem = oemTable::get();
  // Widens key bytes through the OEM code page to `to`; returns the end.
  auto widen = [&oem](const unsigned char* bytes, unsigned count, unsigned short* to) {
    // One pass, no branch a byte: widened through the table, and whether
    // every byte stands for one unit noted as it goes.
    unsigned single = 1;
    for (unsigned i = 0; i < count; ++i) {
      to[i] = oem.wide[bytes[i]];
      single &= oem.single[bytes[i]];
    }
    if (single) return to + count;
    // A code page whose bytes do not each stand for one unit (never more).
    const int units = MultiByteToWideChar(CP_OEMCP, 0, reinterpret_cast<const char*>(bytes), static_cast<int>(count),
                                          reinterpret_cast<LPWSTR>(to), static_cast<int>(count));
    return to + (units > 0 ? units : 0);
  };
  unsigned char chunk[kChunkRecords * kRecordSize];
  for (std::size_t record = from; record < to;) {
    const std::uint64_t offset = record * kRecordSize;
    const std::size_t records = std::min(to - record, kChunkRecords);
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size - offset, records * kRecordSize));
    // With the read call where the file is kept open for it: through the
    // mapping, a large index would cost a fault for every few pages.
    if (canReadAt() ? readAt(offset, chunk, count) != count
                    : !readMapped([&chunk, bytes = view + offset, count] { std::memcpy(chunk, bytes, count); }))
      return record;
    std::memset(chunk + count, 0, sizeof chunk - count);
    for (std::size_t at = 0; at < records * kRecordSize; at += kRecordSize, ++record) {
      const unsigned char* r = chunk + at;
      item& it = loaded.items[record];
      it = item{};
      it.record = static_cast<std::uint32_t>(record);
      it.firstBlock = static_cast<std::uint32_t>(r[16]) | static_cast<std::uint32_t>(r[17]) << 8 |
                      static_cast<std::uint32_t>(r[18]) << 16 | static_cast<std::uint32_t>(r[19]) << 24;
      it.fileNumber = r[20];
      // The key: keyMajor, then keyMinor. A length byte larger than its field
      // takes the bytes that follow, but never more than the record holds.
      it.key = keys.room();
      unsigned short* end = widen(r + 8, std::min<unsigned>(r[7], kRecordSize - 8), it.key);
      end = widen(r + 1, std::min<unsigned>(r[0], kRecordSize - 1), end);
      *end = 0;
      it.keyLength = static_cast<unsigned char>(end - it.key);
      keys.used += it.keyLength + 1u;
      // Here, while the key is at hand, rather than in a pass of its own.
      if (platform::hasSortKeys) placeForSort(it);
    }
  }
  return to;
}

mstr& mFileIndex::dataFileName(unsigned char number, mstr& out) const {
  return appendDataFileNumber(getNameNoExt(out), number);
}

// The data file of a record: opened when the first record names it. A
// missing one is reported for every record that names it; one that is there
// but cannot be opened or read, once, with the system's error. A shortage of
// memory ends the index.
mFileData* mFileIndex::dataFile(unsigned char number, const errorHandler& onError) {
  if (dataFileOf[number]) return dataFileOf[number];
  if (dataUnreadable[number]) return nullptr;
  // ARCHIVE.IDX, number 7 -> ARCHIVE.07 in the index's directory.
  std::unique_ptr<mFileData> data(new mFileData);
  dataFileName(number, *data);
  data->setDirOf(*this);
  if (data->getKind() != 1) {
    mstr full;
    data->getFullPath(full);
    mEx missing(origin::dataFileMissing);
    missing.appendText(u"Нет указанного в индексе файла рапортов ").appendText(full.c_str());
    dataMissing.set(number);
    onError(missing);
    return nullptr;
  }
  try {
    data->openFileRead(true);  // reports of some length are read through the handle
  } catch (mEx& unreadable) {
    if (unreadable.sysError == ERROR_NOT_ENOUGH_MEMORY) throw;
    dataUnreadable.set(number);
    onError(unreadable);
    return nullptr;
  }
  data->fileNumber = number;
  dataFiles.insert_value(data.get());  // the map's once it is in
  return dataFileOf[number] = data.release();
}

// Sorts the items by key, equal keys in record order: the order in which
// one-by-one insertion would leave them, and marks where each run of equal
// keys begins. Where the platform has sort keys of StrCmpW's order, each
// key's was made once, as its record was read, and the keys are compared as
// numbers, StrCmpW deciding only between keys whose first bytes are alike;
// elsewhere StrCmpW compares them all.
void mFileIndex::sortByKey(loading& loaded) const {
  auto& items = loaded.items;
  auto text = [](const item& i) { return reinterpret_cast<LPCWSTR>(i.key); };
  if (!platform::hasSortKeys) {
    std::stable_sort(items.begin(), items.end(),
                     [&text](const item& a, const item& b) { return StrCmpW(text(a), text(b)) < 0; });
    loaded.newRun.resize(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
      loaded.newRun[i] = i == 0 || StrCmpW(text(items[i - 1]), text(items[i])) != 0;
    return;
  }
  // -1, 0 or 1 as StrCmpW orders the keys of a and b.
  auto compare = [&text](const item& a, const item& b) {
    for (int i = 0; i < 3; ++i)
      if (a.words[i] != b.words[i]) return a.words[i] < b.words[i] ? -1 : 1;
    // A shorter key is a whole one, and a prefix of the other: it comes first.
    if (a.prefixLength != b.prefixLength) return a.prefixLength < b.prefixLength ? -1 : 1;
    if (a.whole != b.whole) return a.whole ? -1 : 1;
    if (a.whole) return 0;
    // Keys longer than the prefix, alike as far as it goes.
    const int c = StrCmpW(text(a), text(b));
    return c < 0 ? -1 : c > 0;
  };
  std::sort(items.begin(), items.end(), [&compare](const item& a, const item& b) {
    const int c = compare(a, b);
    return c != 0 ? c < 0 : a.record < b.record;
  });
  loaded.newRun.resize(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) loaded.newRun[i] = i == 0 || compare(items[i - 1], items[i]) != 0;
}

// Each report ends at the next strictly higher block that the index lists
// for its data file: with the blocks of each file in order (they usually
// are, in record order), one pass from the last gives every record its end.
void mFileIndex::findEnds(loading& loaded) const {
  for (auto& blocks : loaded.blocks) {
    if (!std::is_sorted(blocks.begin(), blocks.end())) std::sort(blocks.begin(), blocks.end());
    std::uint32_t above = 0;  // the block after the run being passed; 0: none
    for (std::size_t i = blocks.size(); i > 0;) {
      std::size_t runStart = i - 1;
      while (runStart > 0 && blocks[runStart - 1].first == blocks[i - 1].first) --runStart;
      for (std::size_t k = runStart; k < i; ++k) loaded.items[blocks[k].second].endBlock = above;
      above = blocks[i - 1].first;
      i = runStart;
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>>().swap(blocks);
  }
}

// Starts making a block of one entry for each record. For a large index it
// is made on a thread of its own while this one sorts the records: most of
// its time goes to fresh memory, which the sort does not wait for.
void mFileIndex::startEntries(loading& loaded) const {
  const std::size_t n = loaded.items.size();
  auto make = [n] { return std::unique_ptr<mIndexEntry[]>(new mIndexEntry[n]); };
  if (threads >= 2 && n >= kHalvesLeast) {
    try {
      loaded.entryBlock = std::async(std::launch::async, make);
      return;
    } catch (const std::system_error&) {
      // no thread to be had: made when it is needed
    }
  }
  loaded.entryBlock = std::async(std::launch::deferred, make);
}

// Makes the entries in key order, each with the bytes of its report, and
// fills the maps, balanced.
void mFileIndex::makeEntries(loading& loaded) {
  const std::size_t n = loaded.items.size();
  std::unique_ptr<mIndexEntry[]> block = loaded.entryBlock.get();
  inHalves(n, threads, [&](std::size_t from, std::size_t to, unsigned) {
    for (std::size_t i = from; i < to; ++i) {
      const item& it = loaded.items[i];
      mIndexEntry& entry = block[i];
      entry.useKey(it.key, it.keyLength);
      entry.ordinal = static_cast<int>(it.record);
      entry.fileNumber = it.fileNumber;
      entry.firstBlock = it.firstBlock;
      if (const mFileData* data = dataFileOf[it.fileNumber]) {
        const std::uint64_t fileSize = data->size;
        entry.start = std::min(it.firstBlock * kBlockSize, fileSize);
        entry.end = it.endBlock ? std::min(it.endBlock * kBlockSize, fileSize) : fileSize;
        if (entry.end < entry.start) entry.end = entry.start;
      }
    }
  });
  decltype(loaded.items)().swap(loaded.items);
  entries.insert_block(block.release(), static_cast<int>(n));
  entries.balance(loaded.newRun.data());
  dataFiles.balance();
}
