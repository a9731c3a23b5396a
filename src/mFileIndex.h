// The report archive: an index file of 40-byte records and up to 256
// numbered data files beside it.
//
// Index record (little-endian, no header):
//   0   1  length of keyMinor       1   6  keyMinor (OEM text)
//   7   1  length of keyMajor       8   8  keyMajor (OEM text)
//   16  4  firstBlock               20  1  fileNumber      21..39 unused
// The report key is keyMajor then keyMinor. Data file n of ARCHIVE.IDX is
// ARCHIVE.nn (at least two digits) in the same directory; a report occupies
// its data file from firstBlock * kBlockSize to the next strictly higher
// block that the index lists for that data file, or to the end of the file.
#ifndef TARVIN_MFILEINDEX_H
#define TARVIN_MFILEINDEX_H

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "mFile.h"
#include "tree_ob.h"

// Reports begin on blocks of this many bytes of their data file.
constexpr std::uint64_t kBlockSize = 64;
// The bytes of one index record.
constexpr std::uint64_t kRecordSize = 40;

// Appends the part that follows an index's name less its extension in the
// name of its data file `number`: ".", and the number with at least two
// digits (ARCHIVE.IDX, 7 -> ARCHIVE.07; 200 -> ARCHIVE.200). The one rule of
// these names: the index reader composes them with it, and isDataFileName
// tells them by it.
inline mstr& appendDataFileNumber(mstr& name, unsigned char number) {
  mstr digits;
  digits.setNumber(number).padLeft(2, u"0");
  return name.append(u".").append(digits.c_str());
}

// Whether a file's name has the form of a data file's, for some index name
// and number (NORTH.01, A.B.200; not NORTH.7, NORTH.007 nor NORTH.256), and
// that number.
inline bool isDataFileName(const unsigned short* name, unsigned char* number = nullptr) {
  const unsigned short* dot = nullptr;
  for (const unsigned short* at = name; *at; ++at)
    if (*at == u'.') dot = at;
  if (!dot) return false;
  unsigned value = 0;
  const unsigned short* digit = dot + 1;
  for (; *digit >= u'0' && *digit <= u'9' && digit - dot <= 3; ++digit) value = value * 10 + (*digit - u'0');
  if (*digit || digit == dot + 1 || value > 255) return false;
  mstr composed;
  appendDataFileNumber(composed, static_cast<unsigned char>(value));
  const std::u16string_view given(reinterpret_cast<const char16_t*>(dot)),
      wanted(reinterpret_cast<const char16_t*>(composed.c_str()));
  if (given != wanted) return false;
  if (number) *number = static_cast<unsigned char>(value);
  return true;
}

// One listed report: its key is the string itself.
class mIndexEntry : public mstr {
 public:
  // (In this order the entry takes 72 bytes, not 80: a million of them are
  // made at once.)
  int ordinal = 0;  // position of the record in the index, from 0
  unsigned int firstBlock = 0;
  // Where the report's bytes lie in its data file, [start, end), cut to the
  // file's size: found once, when the index is opened. Empty when the data
  // file is missing.
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  unsigned char fileNumber = 0;

  mIndexEntry() = default;
  mIndexEntry(const mIndexEntry& other) : mstr(other), ordinal(other.ordinal), firstBlock(other.firstBlock),
      start(other.start), end(other.end), fileNumber(other.fileNumber) {}
  mIndexEntry& operator=(const mIndexEntry& other);
  ~mIndexEntry() override;

  // An index makes its entries in one block: memory that is filled whole at
  // once, which the system may back with large pages.
  static void* operator new[](std::size_t bytes);
  static void operator delete[](void* block) noexcept;

  // The key stands in storage that the index holds for all its keys: the
  // entry points at the `count` units there (a 0 after them) and never
  // releases or grows them. An index's entries are not changed after it is
  // opened.
  void useKey(unsigned short* text, int count);

 private:
  bool keyOfIndex_ = false;
};

// One opened data file.
class mFileData : public mFile {
 public:
  unsigned char fileNumber = 0;

  ~mFileData() override = default;
};

template <>
struct tree_key<mFileData> {
  typedef unsigned char key_type;
  static const unsigned char& key(const mFileData& value) { return value.fileNumber; }
  static int compare(unsigned char a, unsigned char b) { return a < b ? -1 : (a > b ? 1 : 0); }
};

// Where one report's bytes lie: in its data file, from start up to end; no
// data file when it was missing.
struct reportRange {
  const mFileData* data = nullptr;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  const unsigned char* bytes() const { return data->view + start; }
  std::uint64_t size() const { return end - start; }
};

class mFileIndex : public mFile {
 public:
  typedef tree_ob<mIndexEntry> entry_map;
  // Where the errors met while an index is opened go, one by one as they are
  // met (a missing data file, for each record that names it); the opening
  // goes on after each.
  typedef std::function<void(mEx& error)> errorHandler;

  entry_map entries;                // every record, in key order
  tree_ob<mFileData> dataFiles;     // every data file found, by number
  mFileData* dataFileOf[256] = {};  // the same, by number, null where missing
  // The data files that records name but that could not be had, by number:
  // missing (no file of exactly that name), or there but unreadable.
  std::bitset<256> dataMissing, dataUnreadable;
  // Threads a large index may be read and sorted on (the processors the
  // run may use).
  unsigned threads = 1;

  ~mFileIndex() override;

  // Opens the index with openFileRead and reads every record; the index's
  // directory and name are taken as they are (as a listing found them). An
  // empty index holds no records. An index that cannot be opened or read
  // raises mEx. A lack of memory met while it loads (an error of that kind,
  // or std::bad_alloc, wherever it was raised) raises the index's own memory
  // error instead (system error 8, naming the index), after releasing all
  // of it. A data file that is missing, or that is there but cannot be
  // opened or read, is handed to onError (a missing one for every record
  // that names it, an unreadable one once), and its reports have no data
  // file.
  void open(const mFileObject& file, const errorHandler& onError);
  // The same for a path as a user wrote it, split by the path rule.
  void open(const mstr& path, const errorHandler& onError) { open(mFileObject(path), onError); }
  // The same for an index file of at most `largest` bytes: false, holding
  // nothing, when it is larger.
  bool openUpTo(const mFileObject& file, std::uint64_t largest, const errorHandler& onError);

  // The name of data file `number` (ARCHIVE.IDX, 7: ARCHIVE.07), without
  // its directory, which is the index's.
  mstr& dataFileName(unsigned char number, mstr& out) const;

  // Where an entry's report lies.
  reportRange range(const mIndexEntry& entry) const {
    return reportRange{dataFileOf[entry.fileNumber], entry.start, entry.end};
  }

 private:
  struct loading;
  bool load(const errorHandler& onError, std::uint64_t largest);
  mEx memoryShortage();
  struct keyArena;
  void readRecords(loading& loaded, const errorHandler& onError);
  std::size_t readPart(loading& loaded, std::size_t from, std::size_t to, keyArena& keys) const;
  mFileData* dataFile(unsigned char number, const errorHandler& onError);
  void startEntries(loading& loaded) const;
  void findEnds(loading& loaded) const;
  void sortByKey(loading& loaded) const;
  void makeEntries(loading& loaded);

  // The text of every key, each followed by a 0, in blocks that stay where
  // they are while the entries point into them.
  std::vector<std::unique_ptr<unsigned short[]>> keyBlocks_;
  // Blocks of keys as one thread fills them.
  struct keyArena {
    std::vector<std::unique_ptr<unsigned short[]>> blocks;
    std::size_t used = 0;        // units of the last block taken
    std::size_t blockUnits = 0;  // units of the last block
    std::size_t wanted = 0;      // units the keys of its records take at most
    unsigned short* room();
  };
};

#endif  // TARVIN_MFILEINDEX_H
