#include "salvage.h"

#include <algorithm>
#include <iterator>

namespace {

// The full path of a file as messages show it, as a key.
std::u16string fullPath(const mFileObject& file) {
  mstr path;
  file.getFullPath(path);
  return std::u16string(reinterpret_cast<const char16_t*>(path.c_str()), static_cast<std::size_t>(path.get_count()));
}

// A file's size as its directory tells it; 0 when it is gone.
std::uint64_t sizeOf(const mFileObject& file) {
  mstr path;
  WIN32_FIND_DATAW data;
  if (!platform::findEntry(file.getSystemPath(path).wide(), &data)) return 0;
  return static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

}  // namespace

void unnamedData::noteNamed(const mFileIndex& index) {
  bool names[256] = {};
  std::uint64_t first[256];
  std::fill(std::begin(first), std::end(first), kNone);
  for (auto it = index.entries.begin(); auto* n = it.step();) {
    const mIndexEntry& entry = *n->value;
    names[entry.fileNumber] = true;
    if (index.dataFileOf[entry.fileNumber]) first[entry.fileNumber] = std::min(first[entry.fileNumber], entry.start);
  }
  mstr base;
  index.getNameNoExt(base);
  mFileObject data;
  data.setDirOf(index);
  for (unsigned number = 0; number < 256; ++number) {
    if (!names[number]) continue;
    data.assign(base);
    appendDataFileNumber(data, static_cast<unsigned char>(number));
    const auto placed = firstNamed_.emplace(fullPath(data), first[number]);
    if (!placed.second) placed.first->second = std::min(placed.first->second, first[number]);
  }
}

std::vector<unnamedData::range> unnamedData::unnamedIn(const mFileList& dataFiles) const {
  std::vector<range> found;
  for (auto it = dataFiles.begin(); auto* n = it.step();) {
    const mFileObject& file = *n->value;
    const auto named = firstNamed_.find(fullPath(file));
    if (named == firstNamed_.end())
      found.push_back(range{&file, sizeOf(file), true});
    else if (named->second != kNone && named->second > 0)
      found.push_back(range{&file, named->second, false});
  }
  return found;
}
