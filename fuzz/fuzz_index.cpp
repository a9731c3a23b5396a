// The index reader on an index file and up to three data files made of the
// input, every report read.
//
// Input: a flags byte, the index's length (two bytes, little-endian), the
// index, then the data files: each but the last preceded by its length (two
// bytes), the last taking the rest. Data file j is named by the file number
// of record j, so the reader finds it.
//   flags bits 0-1  how many data files (0 to 3)
//   flags bit 2     the index name has no extension
//   flags bit 3     the first data file's name is a directory
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "mFileIndex.h"
#include "reportReader.h"

namespace {

struct reader {
  const unsigned char* data;
  std::size_t size;
  std::size_t pos = 0;
  unsigned char byte() { return pos < size ? data[pos++] : 0; }
  std::size_t length() {
    std::size_t low = byte();
    return low | static_cast<std::size_t>(byte()) << 8;
  }
  // The next `n` bytes, or as many as are left.
  std::pair<const unsigned char*, std::size_t> take(std::size_t n) {
    std::size_t left = size - pos;
    if (n > left) n = left;
    std::pair<const unsigned char*, std::size_t> piece(data + pos, n);
    pos += n;
    return piece;
  }
};

std::string dataFileName(unsigned number) {
  char name[16];
  std::snprintf(name, sizeof name, "F.%02u", number);
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  reader in{data, size};
  unsigned flags = in.byte();
  auto index = in.take(in.length());
  std::string indexName = flags & 4 ? "F" : "F.idx";
  fuzz::scratch::write(indexName, index.first, index.second);

  std::vector<std::string> written;
  unsigned count = flags & 3;
  for (unsigned j = 0; j < count; ++j) {
    std::size_t at = j * kRecordSize + 20;
    unsigned number = at < index.second ? index.first[at] : 0;
    auto bytes = in.take(j + 1 < count ? in.length() : size);
    std::string name = dataFileName(number);
    if (std::find(written.begin(), written.end(), name) != written.end()) continue;  // named twice
    if (j == 0 && (flags & 8)) {
      mkdir(fuzz::scratch::path(name).c_str(), 0755);
    } else {
      fuzz::scratch::write(name, bytes.first, bytes.second);
    }
    written.push_back(name);
  }

  {
    std::unique_ptr<mFileIndex> reports(new mFileIndex);
    // Every report is read as the program reads it, each way it may be.
    reportReader direct(reportDecode::select(reportDecode::best()), false);
    reportReader throughText(reportDecode::select(reportDecode::level::scalar), true);
    mbytes out;
    arraySink sink(out);
    try {
      reports->open(fuzz::ascii(fuzz::scratch::path(indexName)), [](mEx&) {});
      // Every record is listed, the trailing piece of a record too.
      std::size_t records = (index.second + kRecordSize - 1) / kRecordSize;
      if (static_cast<std::size_t>(reports->entries.get_count()) != records) {
        std::fprintf(stderr, "%d entries for %zu records\n", reports->entries.get_count(), records);
        std::abort();
      }
      for (auto it = reports->entries.begin(); auto* entry = it.step();) {
        const reportRange range = reports->range(*entry->value);
        if (range.data && (range.start > range.end || range.end > range.data->size)) {
          std::fprintf(stderr, "report range %llu-%llu of a file of %llu bytes\n",
                       static_cast<unsigned long long>(range.start), static_cast<unsigned long long>(range.end),
                       static_cast<unsigned long long>(range.data->size));
          std::abort();
        }
        out.clear();
        const std::uint64_t units = direct.read(range, textForm::oem, sink).units;
        const std::string oem(reinterpret_cast<const char*>(out.get_data()), static_cast<std::size_t>(out.get_count()));
        out.clear();
        throughText.read(range, textForm::oem, sink);
        if (units != oem.size() || oem != std::string(reinterpret_cast<const char*>(out.get_data()),
                                                      static_cast<std::size_t>(out.get_count()))) {
          std::fprintf(stderr, "the report reads differently through its text\n");
          std::abort();
        }
        out.clear();
        direct.read(range, textForm::json, sink);
        // Trimmed, it is the same text less the empty lines that end it.
        out.clear();
        direct.read(range, textForm::oem, sink, true);
        std::string trimmed = oem;
        const std::size_t last = trimmed.find_last_not_of('\n');
        trimmed.resize(last == std::string::npos ? 0 : last + 2);
        if (trimmed != std::string(reinterpret_cast<const char*>(out.get_data()), static_cast<std::size_t>(out.get_count()))) {
          std::fprintf(stderr, "the trimmed report differs\n");
          std::abort();
        }
      }
    } catch (mEx&) {
      // An index or data file that cannot be mapped, or no memory for a text.
    }
  }

  for (const std::string& name : written) {
    ::rmdir(fuzz::scratch::path(name).c_str());
    fuzz::scratch::remove(name);
  }
  fuzz::scratch::remove(indexName);
  return 0;
}
