#include "mFileIndex.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "oemTable.h"
#include "reportText.h"

namespace {

const unsigned kRecordSize = 40;

// Widens key bytes through the OEM code page.
void appendKey(mstr& key, const unsigned char* bytes, unsigned count) {
  if (count == 0) return;
  const oemTable& oem = oemTable::get();
  unsigned short* out = key.reserve_end(static_cast<int>(count));
  for (unsigned i = 0; i < count; ++i) {
    if (!oem.single[bytes[i]]) {  // a code page the table cannot stand for
      key.commit_end(0);
      key.appendMultiByte(reinterpret_cast<const char*>(bytes), static_cast<int>(count), CP_OEMCP);
      return;
    }
    out[i] = oem.wide[bytes[i]];
  }
  key.commit_end(static_cast<int>(count));
}

// A key's place in the sort: the first bytes of its sort key, as three
// numbers compared in turn (the bytes from the first, zeros past the key),
// and its record, which also orders equal keys as they were read.
struct sortItem {
  static constexpr unsigned kPrefix = 24;
  std::uint64_t words[3];
  unsigned char length;  // bytes of the prefix that belong to the key
  bool whole;            // the key is not longer than the prefix
  std::uint32_t record;
};

// -1, 0 or 1 as StrCmpW orders the keys of a and b.
int compareKeys(const sortItem& a, const sortItem& b, const std::vector<mIndexEntry*>& entries) {
  for (int i = 0; i < 3; ++i)
    if (a.words[i] != b.words[i]) return a.words[i] < b.words[i] ? -1 : 1;
  // A shorter key is a whole one, and a prefix of the other: it comes first.
  if (a.length != b.length) return a.length < b.length ? -1 : 1;
  if (a.whole != b.whole) return a.whole ? -1 : 1;
  if (a.whole) return 0;
  // Keys longer than the prefix, alike as far as it goes.
  int c = entries[a.record]->compare(entries[b.record]->c_str());
  return c < 0 ? -1 : c > 0;
}

}  // namespace

// Sorts the entries (in record order) by key, equal keys in record order:
// the order in which one-by-one insertion would leave them. Where the
// platform has sort keys of StrCmpW's order, each key's is computed once and
// the keys are compared as numbers, StrCmpW deciding only between keys
// whose first bytes are alike; elsewhere StrCmpW compares them all. Fills
// newRun, where it can, with whether each entry's key differs from the one
// before it in the sorted order.
void mFileIndex::sortByKey(std::vector<mIndexEntry*>& sorted, std::vector<unsigned char>& newRun) {
  newRun.clear();
  if (!platform::hasSortKeys || sorted.size() > 0xFFFFFFFFu) {
    std::stable_sort(sorted.begin(), sorted.end(), [](const mIndexEntry* a, const mIndexEntry* b) {
      return a->compare(b->c_str()) < 0;
    });
    return;
  }
  const std::vector<mIndexEntry*>& entries = sorted;
  std::vector<sortItem> items(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    sortItem& item = items[i];
    unsigned char prefix[sortItem::kPrefix] = {};
    std::size_t length = platform::sortKey(entries[i]->wide(), prefix, sortItem::kPrefix);
    for (int w = 0; w < 3; ++w) {
      std::uint64_t word = 0;
      for (int k = 0; k < 8; ++k) word = word << 8 | prefix[8 * w + k];
      item.words[w] = word;
    }
    item.whole = length <= sortItem::kPrefix;
    item.length = static_cast<unsigned char>(item.whole ? length : sortItem::kPrefix);
    item.record = static_cast<std::uint32_t>(i);
  }
  std::sort(items.begin(), items.end(), [&entries](const sortItem& a, const sortItem& b) {
    int c = compareKeys(a, b, entries);
    return c != 0 ? c < 0 : a.record < b.record;
  });
  newRun.resize(items.size());
  for (std::size_t i = 0; i < items.size(); ++i)
    newRun[i] = i == 0 || compareKeys(items[i - 1], items[i], entries) != 0;
  std::vector<mIndexEntry*> inOrder(entries.size());
  for (std::size_t i = 0; i < items.size(); ++i) inOrder[i] = entries[items[i].record];
  sorted.swap(inOrder);
}

namespace {

// The library's error for memory that could not be had (stack_ob's).
bool isAllocationFailure(const mEx& error) {
  static const char16_t module[] = u"stack_ob";
  const unsigned short* file = error.file;
  if (error.sysError != ERROR_NOT_ENOUGH_MEMORY || !file) return false;
  for (std::size_t i = 0; i < sizeof module / sizeof module[0]; ++i)
    if (file[i] != module[i]) return false;
  return true;
}

}  // namespace

mFileIndex::~mFileIndex() {
  // Data files and entries go before the index's own mapping.
  dataFiles.clear();
  entries.clear();
}

mFileData* mFileIndex::findDataFile(unsigned char number) const {
  tree_ob<mFileData>::node* found = nullptr;
  return dataFiles.find(&number, &found) ? found->value : nullptr;
}

// What open() gathers before it fills the maps: the entries, and the first
// blocks of each data file, in record order. What is still held here when
// an error leaves open() is released.
struct mFileIndex::loading {
  // The entries, one for each record, made in one block that the entries
  // map then takes over whole.
  mIndexEntry* block = nullptr;
  std::vector<mIndexEntry*> entries;
  std::vector<unsigned int> blocks[256];
  mFileData* dataFile[256] = {};  // the data files found so far, by number

  explicit loading(std::uint64_t records) : block(new mIndexEntry[records]) { entries.reserve(records); }
  ~loading() { delete[] block; }
};

void mFileIndex::open(const mstr& path) {
  try {
    load(path);
  } catch (const std::bad_alloc&) {
    throw memoryShortage(path);
  } catch (const mEx& error) {
    if (!isAllocationFailure(error)) throw;
    throw memoryShortage(path);
  }
}

mEx mFileIndex::memoryShortage(const mstr& path) {
  // What was loaded goes first, so that there is memory for the error.
  entries.clear();
  dataFiles.clear();
  std::fill(std::begin(dataFileOf), std::end(dataFileOf), nullptr);
  close();
  cursor = nullptr;
  mEx ex("mFileIndex", 112, "mFileIndex::open", 1);
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  ex.addSystemError().appendText(u"func=malloc Ошибка выделения памяти. filename=").appendText(path.c_str());
  return ex;
}

void mFileIndex::load(const mstr& path) {
  setPath(path);
  openFileRead();
  entries.clear();
  dataFiles.clear();
  std::fill(std::begin(dataFileOf), std::end(dataFileOf), nullptr);

  // The maps count their entries in an int: an index of more records
  // cannot be held.
  const std::uint64_t records = (size + kRecordSize - 1) / kRecordSize;
  if (records > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) throw std::bad_alloc();
  loading loaded(records);
  std::uint64_t offset = 0;
  int ordinal = 0;
  do {
    cursor = view + offset;
    // A trailing piece shorter than a record reads as a record whose
    // missing bytes are 0.
    unsigned char record[kRecordSize] = {};
    std::uint64_t left = size - offset;
    const std::size_t count = left < kRecordSize ? static_cast<std::size_t>(left) : kRecordSize;
    // An index cut short by another program meanwhile ends its directory.
    if (!readMapped([&record, this, count] { std::memcpy(record, cursor, count); })) throw readFault();
    readRecord(record, ordinal, loaded);
    ++ordinal;
    offset += kRecordSize;
  } while (offset < size);
  cursor = view + size;
  setEndBlocks(loaded);

  // The maps are filled in key order and then balanced, so that lookups and
  // the walk run on balanced trees however the records were ordered.
  std::vector<unsigned char> newRun;
  sortByKey(loaded.entries, newRun);
  mIndexEntry* block = loaded.block;
  loaded.block = nullptr;  // the map's from here on, also if it fails
  entries.insert_values(loaded.entries.data(), static_cast<int>(loaded.entries.size()), true, block);
  loaded.entries.clear();
  entries.balance(newRun.empty() ? nullptr : newRun.data());
  dataFiles.balance();
  for (auto it = dataFiles.begin(); auto* n = it.step();) {
    mFileData& data = *n->value;
    // The cells of one data file's blocks, sorted already, in one block.
    const std::vector<unsigned int>& numbers = loaded.blocks[data.fileNumber];
    std::vector<unsigned int*> cells(numbers.size());
    auto* values = new unsigned int[numbers.size()];
    for (std::size_t i = 0; i < numbers.size(); ++i) cells[i] = &(values[i] = numbers[i]);
    data.blocks.insert_values(cells.data(), static_cast<int>(cells.size()), true, values);
    data.blocks.balance();
  }
}

void mFileIndex::readRecord(const unsigned char* record, int ordinal, loading& loaded) {
  mIndexEntry* entry = loaded.block + loaded.entries.size();
  // A length byte larger than its field takes the bytes that follow, but
  // never more than the record holds.
  unsigned minorLength = record[0] < kRecordSize - 1 ? record[0] : kRecordSize - 1;
  unsigned majorLength = record[7] < kRecordSize - 8 ? record[7] : kRecordSize - 8;
  appendKey(*entry, record + 8, majorLength);
  appendKey(*entry, record + 1, minorLength);
  entry->ordinal = ordinal;
  entry->fileNumber = record[20];
  entry->firstBlock = static_cast<unsigned int>(record[16]) | static_cast<unsigned int>(record[17]) << 8 |
                      static_cast<unsigned int>(record[18]) << 16 |
                      static_cast<unsigned int>(record[19]) << 24;
  loaded.entries.push_back(entry);

  const unsigned char number = entry->fileNumber;
  if (loaded.dataFile[number]) {
    loaded.blocks[number].push_back(entry->firstBlock);
    return;
  }
  // The first record that names this data file: ARCHIVE.IDX, number 7 ->
  // ARCHIVE.07 in the index's directory.
  std::unique_ptr<mFileData> data(new mFileData);
  getNameNoExt(*data);
  mstr digits;
  digits.setNumber(number).padLeft(2, u"0");
  data->append(u".").append(digits);
  data->dir.assign(dir);
  if (data->getKind() != 1) {
    mstr full;
    data->getFullPath(full);
    mEx missing("mFileIndex", 106, "mFileIndex::open", 2);
    missing.appendText(u"Нет указанного в индексе файла рапортов ").appendText(full.c_str());
    printErrorText(missing);
    return;
  }
  data->openFileRead();
  data->fileNumber = number;
  loaded.blocks[number].push_back(entry->firstBlock);
  dataFiles.insert_value(data.get());  // the map's once it is in
  mFileData* inserted = data.release();
  loaded.dataFile[number] = inserted;
  dataFileOf[number] = inserted;
}

// Each report ends at the next strictly higher block that the index lists
// for its data file. With the blocks of each file sorted once, every entry
// finds that block by one binary search, instead of two tree lookups when
// its report is read.
void mFileIndex::setEndBlocks(loading& loaded) const {
  for (int number = 0; number < 256; ++number) {
    std::vector<unsigned int>& blocks = loaded.blocks[number];
    if (!std::is_sorted(blocks.begin(), blocks.end())) std::sort(blocks.begin(), blocks.end());
  }
  for (mIndexEntry* entry : loaded.entries) {
    const std::vector<unsigned int>& blocks = loaded.blocks[entry->fileNumber];
    auto next = std::upper_bound(blocks.begin(), blocks.end(), entry->firstBlock);
    entry->endBlock = next == blocks.end() ? 0 : *next;
  }
}

mstr& mFileIndex::readReport(entry_map::node* position, mstr& text) {
  text.clear();
  if (!position) return text;
  const mIndexEntry& entry = *position->value;
  mFileData* data = findDataFile(entry.fileNumber);
  return data ? data->readReport(entry.firstBlock, text) : text;
}

reportRange mFileIndex::locate(const mIndexEntry& entry) const {
  reportRange range;
  range.data = dataFileOf[entry.fileNumber];
  if (!range.data) return range;
  const std::uint64_t fileSize = range.data->size;
  std::uint64_t start = static_cast<std::uint64_t>(entry.firstBlock) * 64;
  std::uint64_t end = entry.endBlock ? static_cast<std::uint64_t>(entry.endBlock) * 64 : fileSize;
  range.start = start < fileSize ? start : fileSize;
  range.end = end < fileSize ? end : fileSize;
  if (range.end < range.start) range.end = range.start;
  return range;
}

mstr& mFileData::readReport(unsigned int firstBlock, mstr& text) {
  if (!blocks.find(&firstBlock, nullptr)) return text;
  // The report ends where the next strictly higher block of this data file
  // begins; records that share a block each get the whole report.
  tree_ob<unsigned int>::node* next = nullptr;
  if (firstBlock != 0xFFFFFFFFu) {
    unsigned int above = firstBlock + 1;
    blocks.lower_bound(&above, &next);
  }
  std::uint64_t start = static_cast<std::uint64_t>(firstBlock) * 64;
  std::uint64_t end = next ? static_cast<std::uint64_t>(*next->value) * 64 : 0;
  readFile(buffer, start, end);
  return decodeText(text);
}

mstr& mFileData::decodeText(mstr& text) {
  text.clear();
  decodeReportText(buffer.get_data(), static_cast<std::size_t>(buffer.get_count()), text);
  return text;
}
