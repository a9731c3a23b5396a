// Writes report archives for tests, samples and benchmarks: an index file of
// 40-byte records and the numbered data files beside it, each report starting
// on a 64-byte block and followed by zero bytes up to the next block.
#ifndef TARVIN_TESTS_ARCHIVE_WRITER_H
#define TARVIN_TESTS_ARCHIVE_WRITER_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "report_encoder.h"

namespace archive {

// One 40-byte index record; the key parts are OEM bytes, cut to their fields
// (8 and 6 bytes). The second form writes the length bytes as given, so that
// one larger than its field can be written on purpose.
std::string record(const std::string& major, const std::string& minor, std::uint32_t firstBlock,
                   unsigned fileNumber);
std::string record(const std::string& major, int majorLength, const std::string& minor,
                   int minorLength, std::uint32_t firstBlock, unsigned fileNumber);

struct report {
  std::string major;  // the key is major then minor (OEM bytes)
  std::string minor;
  unsigned fileNumber = 0;
  std::vector<std::string> lines;  // OEM text
  encoding how;
  unsigned gapBlocks = 0;  // empty blocks written before this report
  int sameBlockAs = -1;    // share the block of an earlier report (no bytes of its own)
  long long block = -1;    // or name this block without writing anything there
};

class writer {
 public:
  // The index file is `directory`/`indexName`; data files go beside it.
  writer(std::string directory, std::string indexName);

  // Adds a report; returns its position (records are written in this order).
  int add(const report& r);
  int add(const std::string& major, const std::string& minor, unsigned fileNumber,
          const std::vector<std::string>& lines);
  // The data file with this number is not written.
  void omitDataFile(unsigned fileNumber) { omitted_.insert(fileNumber); }
  // Raw bytes after the records (a damaged or partial record).
  void appendToIndex(const std::string& bytes) { tail_ += bytes; }

  // Writes the files. Returns the full path of the index.
  std::string write();

  // What each report decodes to (OEM bytes: its lines, then one "\n" for every
  // zero byte up to the next report of its data file), by position. Reports
  // that name a block of their own choosing have no expectation here.
  const std::vector<std::string>& expected() const { return expected_; }
  std::uint32_t blockOf(int position) const { return blocks_[static_cast<size_t>(position)]; }
  std::string dataFilePath(unsigned fileNumber) const;

 private:
  std::string directory_;
  std::string indexName_;
  std::vector<report> reports_;
  std::set<unsigned> omitted_;
  std::string tail_;
  std::vector<std::string> expected_;
  std::vector<std::uint32_t> blocks_;
};

// Creates directories on the way, like mkdir -p.
void makeDirectories(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

}  // namespace archive

#endif  // TARVIN_TESTS_ARCHIVE_WRITER_H
