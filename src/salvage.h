// What no index record names below one search-path entry.
//
// A file whose name has the form of a data file's (isDataFileName) that no
// record of the entry's index files names is orphaned, whether or not an
// index of its name is there; of a data file that records name, the bytes
// before the smallest block named are an unreferenced range. Lost records
// leave both behind. The run warns of each after the entry's indexed
// reports.
#ifndef TARVIN_SALVAGE_H
#define TARVIN_SALVAGE_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "mFileIndex.h"

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

#endif  // TARVIN_SALVAGE_H
