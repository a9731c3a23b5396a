// The report archive: an index file of 40-byte records and up to 256
// numbered data files beside it.
//
// Index record (little-endian, no header):
//   0   1  length of keyMinor       1   6  keyMinor (OEM text)
//   7   1  length of keyMajor       8   8  keyMajor (OEM text)
//   16  4  firstBlock               20  1  fileNumber      21..39 unused
// The report key is keyMajor then keyMinor. Data file n of ARCHIVE.IDX is
// ARCHIVE.nn (at least two digits) in the same directory; a report occupies
// its data file from firstBlock * 64 to the next strictly higher block that
// the index lists for that data file, or to the end of the file.
#ifndef TARVIN_MFILEINDEX_H
#define TARVIN_MFILEINDEX_H

#include <vector>

#include "mFile.h"
#include "tree_ob.h"

// One listed report: its key is the string itself.
class mIndexEntry : public mstr {
 public:
  int ordinal = 0;                 // position of the record in the index, from 0
  unsigned char fileNumber = 0;
  unsigned int firstBlock = 0;
  // The next strictly higher block of its data file, where the report ends;
  // 0 for the last report of the file (it runs to the end). Set by open().
  unsigned int endBlock = 0;

  mIndexEntry() = default;
  mIndexEntry(const mIndexEntry& other) = default;
  mIndexEntry& operator=(const mIndexEntry& other) = default;
  ~mIndexEntry() override = default;
};

// One opened data file.
class mFileData : public mFile {
 public:
  tree_ob<unsigned int> blocks;  // first block of every record naming this file
  unsigned char fileNumber = 0;
  mbytes buffer;                 // the bytes of the report being read, reused

  ~mFileData() override = default;

  // Appends the decoded report that begins at `firstBlock` (the caller has
  // emptied the text).
  mstr& readReport(unsigned int firstBlock, mstr& text);
  // Empties the text and appends the decoding of `buffer`.
  mstr& decodeText(mstr& text);
};

template <>
struct tree_key<mFileData> {
  typedef unsigned char key_type;
  static const unsigned char& key(const mFileData& value) { return value.fileNumber; }
  static int compare(unsigned char a, unsigned char b) { return a < b ? -1 : (a > b ? 1 : 0); }
};

// Where one report's bytes lie: in the mapped data file, from start up to
// end (cut to the file); no data file when it was missing.
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

  entry_map entries;                        // every record, in key order
  const unsigned char* cursor = nullptr;    // the record being read by open()
  tree_ob<mFileData> dataFiles;             // every data file found, by number
  mFileData* dataFileOf[256] = {};          // the same, by number, null where missing

  ~mFileIndex() override;

  // Maps the index and reads every record. A missing data file is reported
  // on standard error once for each record that names it; an index or data
  // file that cannot be mapped raises mEx, and so does a shortage of memory
  // for what the index holds (system error 8, naming the index), after
  // releasing all of it.
  void open(const mstr& path);
  // Empties the text and fills it with the decoded report of the entry; the
  // text stays empty when its data file was missing.
  mstr& readReport(entry_map::node* position, mstr& text);
  // The bytes of an entry's report, found without a lookup.
  reportRange locate(const mIndexEntry& entry) const;

 private:
  struct loading;
  void load(const mstr& path);
  mEx memoryShortage(const mstr& path);
  void readRecord(const unsigned char* record, int ordinal, loading& loaded);
  void setEndBlocks(loading& loaded) const;
  static void sortByKey(std::vector<mIndexEntry*>& sorted, std::vector<unsigned char>& newRun);
  mFileData* findDataFile(unsigned char number) const;
};

#endif  // TARVIN_MFILEINDEX_H
