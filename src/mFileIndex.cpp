#include "mFileIndex.h"

#include <cstring>
#include <memory>
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
  std::vector<mIndexEntry*> entries;
  std::vector<unsigned int> blocks[256];
  mFileData* dataFile[256] = {};  // the data files found so far, by number

  ~loading() {
    for (mIndexEntry* e : entries) delete e;
  }
};

void mFileIndex::open(const mstr& path) {
  setPath(path);
  openFileRead();
  entries.clear();
  dataFiles.clear();

  loading loaded;
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

  // The maps are filled in key order and then balanced, so that lookups and
  // the walk run on balanced trees however the records were ordered.
  entries.insert_values(loaded.entries.data(), static_cast<int>(loaded.entries.size()));
  loaded.entries.clear();
  entries.balance();
  dataFiles.balance();
  for (auto it = dataFiles.begin(); auto* n = it.step();) {
    mFileData& data = *n->value;
    std::vector<unsigned int>& numbers = loaded.blocks[data.fileNumber];
    std::vector<unsigned int*> cells;
    cells.reserve(numbers.size());
    try {
      for (unsigned int block : numbers) cells.push_back(new unsigned int(block));
    } catch (...) {
      for (unsigned int* cell : cells) delete cell;
      throw;
    }
    data.blocks.insert_values(cells.data(), static_cast<int>(cells.size()));
    data.blocks.balance();
  }
}

void mFileIndex::readRecord(const unsigned char* record, int ordinal, loading& loaded) {
  auto* entry = new mIndexEntry;
  std::unique_ptr<mIndexEntry> owned(entry);
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
  owned.release();

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
  loaded.dataFile[number] = data.get();
  dataFiles.insert_value(data.release());
}

mstr& mFileIndex::readReport(entry_map::node* position, mstr& text) {
  text.clear();
  if (!position) return text;
  const mIndexEntry& entry = *position->value;
  mFileData* data = findDataFile(entry.fileNumber);
  return data ? data->readReport(entry.firstBlock, text) : text;
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
