// What no index record names below one search-path entry, and its salvage.
//
// A file whose name has the form of a data file's (isDataFileName) that no
// record of the entry's index files names is orphaned, whether or not an
// index of its name is there; of a data file that records name, the bytes
// before the smallest block named are an unreferenced range. Lost records
// leave both behind. The run warns of each after the entry's indexed
// reports, and with --salvage converts them too: without an index there are
// no keys and no report ends, so the bytes are cut into reports by the walk
// of their lines (salvageWalk), and each part becomes an index-like set of
// entries without keys that the writer writes as it writes an index.
#ifndef TARVIN_SALVAGE_H
#define TARVIN_SALVAGE_H

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "mFileIndex.h"

// Where the salvaged reports of a data file's bytes [0, size) end, the bytes
// fed in order, a piece at a time. A report begins at a block boundary (0,
// or where the one before ended) and ends at the next block boundary where
// the walk of its lines (a length byte n, then n codes) lands exactly and
// the byte before is 0, the padding a report ends with; or at the end of the
// bytes. So the texts of the reports, put together, are the text of the
// whole: each line is decoded with the report that holds it, and the only
// code that may reach over a cut is a repeat of character 0, which gives
// nothing either way.
class salvageWalk {
 public:
  explicit salvageWalk(std::vector<std::uint64_t>& ends) : ends_(ends) {}
  // The bytes [from, from + count), the piece after those fed before.
  void feed(const unsigned char* bytes, std::uint64_t from, std::size_t count);
  // The end of the bytes: the last report ends there.
  void finish(std::uint64_t size);

 private:
  std::vector<std::uint64_t>& ends_;
  std::uint64_t next_ = 0;    // where the next line begins
  std::uint64_t last_ = 0;    // where the last report found ends
  unsigned char before_ = 1;  // the byte before the piece fed next
};

// The data files that the index files of one search-path entry name, and
// what of them no record names.
class unnamedData {
 public:
  // Bytes no record names: the whole file, or [0, end) of it.
  struct range {
    const mFileObject* file;  // as the walk found it
    std::uint64_t end;
    bool orphaned;
  };

  // Notes the data files that the records of an opened index name, whether
  // they exist or not, and the first byte each names of those that do.
  void noteNamed(const mFileIndex& index);
  // The bytes no record names of the data-form files the walk found, in
  // their list's order: files that none names, and the bytes before the
  // first one named.
  std::vector<range> unnamedIn(const mFileList& dataFiles) const;

 private:
  // By the data file's full path as shown: the first byte named, cut to its
  // size; kNone where it is missing.
  static constexpr std::uint64_t kNone = ~std::uint64_t{0};
  std::unordered_map<std::u16string, std::uint64_t> firstNamed_;
};

// Salvages the bytes [0, end) of a data file: hands `write` a set that
// holds the data file and an entry for each salvaged report, in order, a
// bounded number at a time (bytes of zeros give a report a block), until it
// returns false. Raises the data file's error when it cannot be opened or
// read.
void salvage(const unnamedData::range& bytes, const std::function<bool(const mFileIndex& set)>& write);

#endif  // TARVIN_SALVAGE_H
