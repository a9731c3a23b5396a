#include "salvage.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

namespace {

// The bytes of a data file walked at a time.
constexpr std::size_t kWalkPiece = 256 * 1024;
// Salvaged reports handed to the writer at a time, so that their entries
// take bounded memory however many reports a file's bytes give.
constexpr std::size_t kSetReports = 1 << 16;

// The full path of a file as messages show it, as a key.
std::u16string fullPath(const mFileObject& file) {
  mstr path;
  file.getFullPath(path);
  return std::u16string(reinterpret_cast<const char16_t*>(path.c_str()), static_cast<std::size_t>(path.get_count()));
}

// A file's size as its directory tells it; false when it is gone.
bool sizeOf(const mFileObject& file, std::uint64_t& size) {
  mstr path;
  WIN32_FIND_DATAW data;
  if (!platform::findEntry(file.getSystemPath(path).wide(), &data)) return false;
  size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  return true;
}

// Makes the set's entries those of the reports from `start` to each end, in
// that order: they have no key, and equal keys keep their order.
void fill(mFileIndex& set, std::uint64_t start, const std::vector<std::uint64_t>& ends) {
  set.entries.clear();
  std::unique_ptr<mIndexEntry[]> block(new mIndexEntry[ends.size()]);
  for (std::size_t i = 0; i < ends.size(); ++i) {
    mIndexEntry& entry = block[i];
    entry.ordinal = static_cast<int>(i);
    entry.firstBlock = static_cast<unsigned>(start / kBlockSize);
    entry.start = start;
    entry.end = start = ends[i];
  }
  set.entries.insert_block(block.release(), static_cast<int>(ends.size()));
  set.entries.balance_in_order();
}

}  // namespace

void salvageWalk::feed(const unsigned char* bytes, std::uint64_t from, std::size_t count) {
  const std::uint64_t to = from + count;
  for (; next_ < to; next_ += 1u + bytes[next_ - from]) {
    const unsigned char before = next_ == from ? before_ : bytes[next_ - from - 1];
    if (next_ % kBlockSize == 0 && next_ > last_ && before == 0) ends_.push_back(last_ = next_);
  }
  if (count > 0) before_ = bytes[count - 1];
}

void salvageWalk::finish(std::uint64_t size) {
  if (size > last_) ends_.push_back(last_ = size);
}

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
    std::uint64_t size = 0;
    // One gone since the walk found it holds no bytes to tell of.
    if (named == firstNamed_.end() && sizeOf(file, size))
      found.push_back(range{&file, size, true});
    else if (named != firstNamed_.end() && named->second != kNone && named->second > 0)
      found.push_back(range{&file, named->second, false});
  }
  return found;
}

void salvage(const unnamedData::range& bytes, const std::function<bool(const mFileIndex& set)>& write) {
  mFileIndex set;
  static_cast<mFileObject&>(set) = *bytes.file;  // named after its one data file
  std::unique_ptr<mFileData> owned(new mFileData);
  mFileData& data = *owned;
  static_cast<mFileObject&>(data) = *bytes.file;
  set.dataFiles.insert_value(owned.get());  // the set's once it is in
  set.dataFileOf[0] = owned.release();
  data.openFileRead(true);
  const std::uint64_t end = std::min(bytes.end, data.size);
  std::vector<std::uint64_t> ends;
  salvageWalk walk(ends);
  std::vector<unsigned char> piece(static_cast<std::size_t>(std::min<std::uint64_t>(kWalkPiece, end)));
  std::uint64_t start = 0;  // of the first report not handed out
  auto handOut = [&] {
    fill(set, start, ends);
    start = ends.back();
    ends.clear();
    return write(set);
  };
  for (std::uint64_t from = 0; from < end;) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kWalkPiece, end - from));
    unsigned char* to = piece.data();
    if (data.canReadAt() ? data.readAt(from, to, count) != count
                         : !mFile::readMapped([to, at = data.view + from, count] { std::memcpy(to, at, count); }))
      throw data.readFault();
    walk.feed(to, from, count);
    from += count;
    if (ends.size() >= kSetReports && !handOut()) return;
  }
  walk.finish(end);
  if (!ends.empty()) handOut();
}
