#include "mFileObject.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "wildcard.h"

namespace {

const unsigned short kSeparator[] = {platform::pathSeparator, 0};
const unsigned short kAll[] = {u'*', u'.', u'*', 0};

// Closes a handle when the scope ends.
struct handleGuard {
  HANDLE handle;
  ~handleGuard() {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) CloseHandle(handle);
  }
};

struct findGuard {
  HANDLE handle;
  ~findGuard() {
    if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
  }
};

// The identity of a directory: volume and file index, the same for every
// path (or link) that leads to it.
struct dirIdentity {
  DWORD volume;
  DWORD high;
  DWORD low;
  bool operator==(const dirIdentity& o) const {
    return volume == o.volume && high == o.high && low == o.low;
  }
};

struct dirIdentityHash {
  std::size_t operator()(const dirIdentity& id) const {
    std::uint64_t index = (static_cast<std::uint64_t>(id.high) << 32) | id.low;
    return std::hash<std::uint64_t>()(index ^ (id.volume * 0x9E3779B97F4A7C15ull));
  }
};

bool identify(const mstr& path, dirIdentity& id) {
  handleGuard h{CreateFileW(path.wide(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  if (h.handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h.handle, &info)) return false;
  id = dirIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

bool isDirectoryLink(const mstr& path) {
  WIN32_FIND_DATAW data;
  return platform::findEntry(path.wide(), &data) && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool isDotEntry(const WCHAR* name) {
  return name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0));
}

// Calls add(name) for each entry of the directory `path` (which ends in the
// separator) that matches the mask (null: "*.*") and is a directory or not,
// as `wantedDirectoryBit` says, in the order the system delivers them; "."
// and ".." never. Returns NO_ERROR, or the system's error when the search
// failed: ERROR_FILE_NOT_FOUND when nothing matched, any other when the
// directory cannot be searched (missing, unreadable, its path too long).
template <class Add>
DWORD search(const mstr& path, const unsigned short* mask, DWORD wantedDirectoryBit, Add&& add) {
  mstr pattern(path);
  pattern.append(mask ? mask : kAll);
  WIN32_FIND_DATAW data;
  // A search for directories says so: the system need not tell about the
  // files, which in an archive's directory are many.
  findGuard found{wantedDirectoryBit != 0
                      ? FindFirstFileExW(pattern.wide(), FindExInfoBasic, &data, FindExSearchLimitToDirectories,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH)
                      : FindFirstFileW(pattern.wide(), &data)};
  if (found.handle == INVALID_HANDLE_VALUE) return GetLastError();
  // The system matches a name's 8.3 short form as well ("REPORTS.idxold"
  // through "REPORT~1.IDX"): only a long name that matches is taken.
  const std::u16string_view wanted(reinterpret_cast<const char16_t*>(mask ? mask : kAll));
  do {
    const auto* name = reinterpret_cast<const char16_t*>(data.cFileName);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == wantedDirectoryBit && !isDotEntry(data.cFileName) &&
        platform::matchesWildcard(name, wanted))
      add(reinterpret_cast<const unsigned short*>(name));
  } while (FindNextFileW(found.handle, &data));
  return NO_ERROR;
}

// The path of a directory with the separator after it: as shown, or as the
// system reaches it.
mstr& searchPath(const mFileObject& directory, mstr& path, bool reached = false) {
  if (reached)
    directory.getSystemPath(path);
  else
    directory.getFullPath(path);
  if (path.get_count() == 0 || path.c_str()[path.get_count() - 1] != kSeparator[0])
    path.append(kSeparator);
  return path;
}

// A directory the walk could not search, and the error that names it.
mFileObject::unlisted unlistedDirectory(const mFileObject& directory, DWORD error) {
  mFileObject::unlisted named{mstr(), mEx(origin::directoryUnlisted)};
  directory.getFullPath(named.path);
  SetLastError(error);
  named.error.addSystemError().appendText(u"func=FindFirstFile filename=").appendText(named.path.c_str());
  return named;
}

[[noreturn]] void listFileError(const errorOrigin& at, const char16_t* what, const mstr& fileName) {
  mEx ex(at);
  ex.addSystemError().appendText(what).appendText(fileName.c_str());
  throw ex;
}

// Objects found by one listing or list file, added to the list together (in
// name order, equal names in the order found).
class batch {
 public:
  ~batch() {
    for (mFileObject* o : objects_) delete o;
  }
  void add(mFileObject* o) {
    std::unique_ptr<mFileObject> owned(o);
    objects_.push_back(o);
    owned.release();
  }
  void moveInto(mFileList& list) {
    std::vector<mFileObject*> taken;
    taken.swap(objects_);
    list.insert_values(taken.data(), static_cast<int>(taken.size()));
  }

 private:
  std::vector<mFileObject*> objects_;
};

}  // namespace

mFileObject::mFileObject(const mstr& path) : mstr(path) { applyPathRule(); }

mFileObject::mFileObject(const mstr& name, const mstr& directory) : mstr(name) {
  setDir(directory);
}

mFileObject::mFileObject(const unsigned short* name, const mstr& directory) : mstr(name) {
  setDir(directory);
}

mFileObject::mFileObject(const mFileObject& other) : mstr() { *this = other; }

mFileObject& mFileObject::operator=(const mFileObject& other) {
  dir.assign(other.dir);
  assign(other);
  root_ = other.root_;
  return *this;
}

mFileObject& mFileObject::setDirOf(const mFileObject& other) {
  dir.assign(other.dir);
  root_ = other.root_;
  return *this;
}

void mFileObject::setDir(const mstr& directory) {
  dir.assign(directory);
  dir.trimRight(kSeparator);
  // Without drives, the root is "/" alone: its entries get an empty
  // directory, as the path rule gives "/srv" the directory "".
  if (!platform::hasDriveLetters && dir.get_count() == 1 && dir.c_str()[0] == kSeparator[0])
    dir.clear();
}

mFileObject& mFileObject::setPath(const mstr& path) {
  assign(path);
  dir.clear();
  applyPathRule();
  return *this;
}

// What the user typed loses the spaces at its start, then the spaces and
// separators at its end ("/" alone stays, the root). The directory is what
// stands before the last separator that no double quote groups into the
// name; the name is what follows it, less the spaces at its start. A text of
// spaces alone is a name as it stands, which names nothing.
void mFileObject::applyPathRule() {
  const unsigned short separator = kSeparator[0];
  const unsigned short* units = c_str();
  int start = 0;
  while (units[start] == u' ') ++start;
  if (start < get_count()) {
    erase(get_data(), get_data() + start);
    const unsigned short atTheEnd[] = {u' ', separator, 0};
    trimRight(atTheEnd);
  }
  units = c_str();
  const int length = get_count();
  if (!platform::hasDriveLetters && length == 1 && units[0] == separator) {
    clear();  // the root: empty name, empty directory
    dir.clear();
    return;
  }
  int last = -1;
  bool quoted = false;
  for (int i = 0; i < length; ++i) {
    if (units[i] == u'"')
      quoted = !quoted;
    else if (!quoted && units[i] == separator)
      last = i;
  }
  if (last < 0) {
    dir.clear();
    if (platform::hasDriveLetters && length >= 2 && units[1] == u':') {
      dir.swap(*this);  // a drive: the directory keeps the path
      return;
    }
    // A bare name lies in the current directory.
    DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size > 0 && size < 0x7FFFFFF0u) {
      dir.get_size(static_cast<int>(size), true);
      DWORD written = GetCurrentDirectoryW(size, reinterpret_cast<LPWSTR>(dir.get_data()));
      if (written > 0 && written < size) dir.take_written(static_cast<int>(written));
    }
    return;
  }
  dir.clear();
  dir.append_n(units, last);
  int name = last + 1;
  while (name < length && units[name] == u' ') ++name;
  erase(get_data(), get_data() + name);
}

mstr& mFileObject::getFullPath(mstr& out) const {
  if (&out == this || &out == &dir) {
    mstr full;
    getFullPath(full);
    return out.assign(full);
  }
  out.assign(dir);
  out.append(kSeparator);
  return out.append(c_str());
}

mstr& mFileObject::getSystemPath(mstr& out) const {
  if (!root_) return getFullPath(out);
  mstr full;
  getFullPath(full);
  if (full.get_count() < root_->shownLength) return out.assign(full);
  mstr reached(root_->path);
  reached.append_n(full.c_str() + root_->shownLength, full.get_count() - root_->shownLength);
  return out.assign(reached);
}

std::shared_ptr<const mFileObject::walkRoot> mFileObject::rootBelow() const {
  if (root_) return root_;
  mstr shown;
  getFullPath(shown);
  const auto reached = platform::walkRoot(shown.wide());
  shown.trimRight(kSeparator);
  const auto* units = reinterpret_cast<const unsigned short*>(reached.c_str());
  const int length = static_cast<int>(reached.size());
  // Where the path as shown reaches every name as it is, nothing is kept.
  if (length == 0 || (length == shown.get_count() && std::equal(units, units + length, shown.c_str())))
    return nullptr;
  std::shared_ptr<walkRoot> root(new walkRoot{shown.get_count(), mstr()});
  root->path.append_n(units, length);
  return root;
}

mFileObject* mFileObject::entry(const unsigned short* name, const mstr& directory,
                                const std::shared_ptr<const walkRoot>& root) {
  std::unique_ptr<mFileObject> made(new mFileObject(name, directory));
  made->root_ = root;
  return made.release();
}

mstr& mFileObject::getName(mstr& out) const { return out.assign(*this); }

mstr& mFileObject::getDir(mstr& out) const { return out.assign(dir); }

mstr& mFileObject::getNameNoExt(mstr& out) const {
  out.assign(*this);
  mstr_list parts;
  // The name is taken as it stands: no quote groups its dots, no space is
  // trimmed from its parts.
  out.split(parts, u".", u"", u"");
  int count = parts.get_count();
  if (count == 0) return out;
  int whole = out.get_count();
  int lastPart = parts.get_data()[count - 1].get_count();
  if (lastPart != whole) {
    int from = whole - lastPart - 1;
    if (from < 0) from = 0;
    out.erase(out.get_data() + from, out.get_end());
  }
  return out;
}

int mFileObject::getKind() const {
  mstr full;
  getSystemPath(full);
  if (GetFullPathNameW(full.wide(), 0, nullptr, nullptr) == 0) return 0;
  WIN32_FIND_DATAW data;
  if (!platform::findEntry(full.wide(), &data)) return -2;
  if (StrCmpW(wide(), data.cFileName) != 0) return 0;
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? -1 : 1;
}

mFileList& mFileObject::listing(mFileList& list, const unsigned short* mask,
                                DWORD wantedDirectoryBit) const {
  mstr path, reached;
  searchPath(*this, path);
  searchPath(*this, reached, true);
  const std::shared_ptr<const walkRoot> root = rootBelow();
  int before = list.get_count();
  batch found;
  search(reached, mask, wantedDirectoryBit, [&](const unsigned short* name) { found.add(entry(name, path, root)); });
  found.moveInto(list);
  if (list.get_count() - before > 64) list.balance();
  return list;
}

mFileList& mFileObject::listFiles(mFileList& list, const unsigned short* mask) const {
  return listing(list, mask, 0);
}

mFileList& mFileObject::listDirs(mFileList& list, const unsigned short* mask) const {
  return listing(list, mask, FILE_ATTRIBUTE_DIRECTORY);
}

// The walk keeps its own stack of the directories still to walk, so that
// however deep the tree, it takes no more of the call stack than a flat one.
// It gathers every entry first and builds the list once, sorted: adding the
// entries directory by directory would cost a pass over the list for each
// directory. Directories are told by their identity (volume and file index,
// the same for every path or link that leads to one), and each is walked
// once: checking only the directories above would let a web of links (two
// links to each next level) make the walk exponential.
mFileList& mFileObject::listTree(mFileList& list, int skipSelf, const unsigned short* mask,
                                 std::vector<unlisted>* errors, const alsoGather* also) const {
  std::unordered_set<dirIdentity, dirIdentityHash> walked;
  batch found, gathered;  // the entries for the list and for also's, in walk order
  // With a second kind of file asked for, one listing of all files gives
  // both; the mask is then matched here.
  const std::u16string_view wanted(reinterpret_cast<const char16_t*>(mask ? mask : kAll));
  auto add = [&](const unsigned short* name, const mstr& path, const std::shared_ptr<const walkRoot>& root) {
    if (!also || platform::matchesWildcard(reinterpret_cast<const char16_t*>(name), wanted))
      found.add(entry(name, path, root));
    if (also && also->wanted(name)) gathered.add(entry(name, path, root));
  };
  std::vector<std::unique_ptr<mFileObject>> pending, subdirectories;  // the next one last
  mstr path, reached;  // of a directory: as shown, and as the system reaches it
  dirIdentity id;
  if (identify(getSystemPath(reached), id)) walked.insert(id);
  // What the walk finds is reached below its root, names as they are.
  const std::shared_ptr<const walkRoot> root = rootBelow();

  std::unique_ptr<mFileObject> held;
  for (const mFileObject* directory = this; directory;) {
    if (!skipSelf) found.add(new mFileObject(*directory));
    searchPath(*directory, path);
    searchPath(*directory, reached, true);
    const DWORD filesError = search(reached, also ? kAll : mask, 0,
                                    [&](const unsigned short* name) { add(name, path, root); });
    const DWORD dirsError = search(reached, kAll, FILE_ATTRIBUTE_DIRECTORY, [&](const unsigned short* name) {
      subdirectories.push_back(std::unique_ptr<mFileObject>(entry(name, path, root)));
    });
    // A directory that cannot be searched is named once, whichever search
    // failed. "Nothing matched" has searched it, but where the walk starts,
    // whose search for directories finds "." in any directory: there it is
    // a path that names no directory that can be read.
    const bool start = directory == this;
    const DWORD failure = dirsError != NO_ERROR && (start || dirsError != ERROR_FILE_NOT_FOUND) ? dirsError
                          : filesError != ERROR_FILE_NOT_FOUND                                  ? filesError
                                                                                                : NO_ERROR;
    if (errors && failure != NO_ERROR) errors->push_back(unlistedDirectory(*directory, failure));
    // Subdirectories by name, equal names in the order found, the first on top.
    std::stable_sort(subdirectories.begin(), subdirectories.end(),
                     [](const std::unique_ptr<mFileObject>& a, const std::unique_ptr<mFileObject>& b) {
                       return a->compare(b->c_str()) < 0;
                     });
    std::move(subdirectories.rbegin(), subdirectories.rend(), std::back_inserter(pending));
    subdirectories.clear();

    // The next directory to walk. One met again is passed over: it stays
    // under the path by which the walk reached it first.
    for (directory = nullptr; !directory && !pending.empty();) {
      held = std::move(pending.back());
      pending.pop_back();
      held->getSystemPath(reached);
      if (!platform::descendIntoDirectoryLinks && isDirectoryLink(reached)) continue;
      if (identify(reached, id) && !walked.insert(id).second) continue;
      directory = held.get();
    }
  }
  // Sorted by name, equal names kept in walk order, also by the rebalance.
  found.moveInto(list);
  list.balance_in_order();
  if (also) {
    gathered.moveInto(*also->list);
    also->list->balance_in_order();
  }
  return list;
}

mFileList& mFileObject::GetFilesFromFileList(mFileList& list, const mstr& fileName, int* textUnits,
                                             const listFileForm& form) {
  // "-" is standard input, which stays open afterwards. A list file is read
  // to its end as a stream: one that is a FIFO waits for its writer.
  const bool standardInput = fileName.get_count() == 1 && fileName.c_str()[0] == u'-';
  handleGuard file{standardInput ? nullptr
                                 : CreateFileW(fileName.wide(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               platform::openWaitsForWriter, nullptr)};
  const HANDLE handle = standardInput ? GetStdHandle(STD_INPUT_HANDLE) : file.handle;
  // A process started without standard input has no handle for it, and the
  // system gives no error: it is an invalid handle, as reading a closed one is.
  if (!handle) SetLastError(ERROR_INVALID_HANDLE);
  if (handle == INVALID_HANDLE_VALUE || !handle)
    listFileError(origin::listFileOpen, u"func=CreateFile filename=", fileName);

  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = standardInput ? 0 : GetFileSize(handle, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
    listFileError(origin::listFileSize, u"func=GetFileSize filename=", fileName);
  unsigned long long size = (static_cast<unsigned long long>(high) << 32) | low;
  if (size > 0x7FFFFFF0ull) stack_ob_allocation_failed(origin::allocationBytes);

  // The whole file with one read into one buffer; one whose size reads as 0
  // (a pipe, a FIFO, a device, standard input) is read to its end.
  stack_ob<unsigned char, 0, 0> bytes;
  const int chunk = size ? static_cast<int>(size) : 64 * 1024;
  for (;;) {
    unsigned char* at = bytes.reserve_end(chunk);
    DWORD read = 0;
    if (!ReadFile(handle, at, static_cast<DWORD>(chunk), &read, nullptr)) {
      // The writer of a pipe that has closed it: the end.
      const DWORD error = GetLastError();
      if (standardInput && error == ERROR_INVALID_HANDLE)
        listFileError(origin::listFileOpen, u"func=CreateFile filename=", fileName);
      if (error != ERROR_BROKEN_PIPE) listFileError(origin::listFileRead, u"func=ReadFile filename=", fileName);
    }
    bytes.commit_end(static_cast<int>(read));
    if (size || read == 0) break;
  }

  mstr text;
  text.appendMultiByte(reinterpret_cast<const char*>(bytes.get_data()), bytes.get_count(), form.codePage);
  if (textUnits) *textUnits = text.get_count();
  // One directory per line: CR, LF and CR LF each end an entry (no name holds
  // either), or NUL alone ends one (no name holds that, but a name may hold
  // the others). Spaces stay part of the entry, and no character quotes.
  const unsigned short* units = text.c_str();
  const int count = text.get_count();
  batch found;
  for (int start = 0, line = 1; start < count; ++line) {
    int end = start;
    bool nul = false;
    if (form.nulEnds) {
      while (end < count && units[end] != 0) ++end;
    } else {
      for (; end < count && units[end] != u'\r' && units[end] != u'\n'; ++end) nul = nul || units[end] == 0;
    }
    // A blank line names no directory, nor does one with a NUL byte: the
    // system would read only the part before it ("/" of "/\0junk", or an
    // empty name, the current directory, for a line that starts with it).
    if (nul && form.linesWithNul) form.linesWithNul->push_back(line);
    if (end > start && !nul) {
      mstr entry;
      entry.append_n(units + start, end - start);
      found.add(new mFileObject(entry));
    }
    start = end + (end + 1 < count && units[end] == u'\r' && units[end + 1] == u'\n' ? 2 : 1);
  }
  found.moveInto(list);
  if (list.get_count() > 32) list.balance();
  return list;
}
