#include "outputFiles.h"

#include <algorithm>
#include <utility>

#include "wildcard.h"

namespace {

// The texts of the errors of output files, each followed by the path it names.
const char16_t kCreateFile[] = u"func=CreateFile filename=";
const char16_t kCreateDirectory[] = u"func=CreateDirectory filename=";
const char16_t kNoDirectory[] =
    u"func=CreateDirectory Путь занят не каталогом или ссылкой: по ссылкам файлы не пишутся. filename=";
const char16_t kNoFiles[] = u"func=CreateFile В каталоге нельзя создать файл. filename=";
const char16_t kInTheWay[] =
    u"func=CreateFile Имя занято ссылкой, каталогом или особым файлом, и он не заменяется. filename=";
const char16_t kIsInput[] = u"Файл вывода - один из входных файлов, и он оставлен как был. filename=";
const char16_t kMoveFile[] = u"func=MoveFileEx filename=";

// An error of an output file: the system's last error (unless `system` is
// false), the text, the path.
mEx fileError(const errorOrigin& at, const char16_t* text, const mstr& path, bool system = true) {
  mEx ex(at);
  if (system) ex.addSystemError();
  ex.appendText(text).appendText(path.c_str());
  return ex;
}

constexpr unsigned short kSeparator[] = {platform::pathSeparator, 0};

bool isSeparator(unsigned short unit) { return unit == platform::pathSeparator || unit == u'/'; }

// The first `length` units of a text.
mstr leading(const mstr& text, int length) {
  mstr part;
  part.append_n(text.c_str(), length);
  return part;
}

// The text's units as they are, for comparing names exactly.
std::u16string unitsOf(const mstr& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.c_str()), static_cast<std::size_t>(text.get_count()));
}

bool identify(HANDLE file, fileIdentity& id, std::uint64_t* size = nullptr) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  id = fileIdentity(info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
  if (size) *size = static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  return true;
}

// The identity of the file a path names (through a link); false when
// there is none.
bool identify(const mstr& path, fileIdentity& id) {
  HANDLE file = CreateFileW(path.wide(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = identify(file, id);
  CloseHandle(file);
  return known;
}

// The path of the file that an open link led to, when the system tells one
// that names that same file.
bool linkTarget(HANDLE file, const fileIdentity& id, mstr& path) {
  std::vector<WCHAR> found(MAX_PATH);
  DWORD length = GetFinalPathNameByHandleW(file, found.data(), static_cast<DWORD>(found.size()), 0);
  if (length >= found.size()) {
    found.resize(length);
    length = GetFinalPathNameByHandleW(file, found.data(), static_cast<DWORD>(found.size()), 0);
  }
  if (length == 0 || length >= found.size()) return false;
  const mstr target(reinterpret_cast<const unsigned short*>(found.data()));
  fileIdentity same;
  if (!identify(target, same) || same != id) return false;
  path.assign(target);
  return true;
}

// A name beside the target that no archive or split file has: its folder,
// ".", its name, ".tarvin-" and six letters or digits.
mstr temporaryName(const mstr& target) {
  static std::uint64_t state = GetTickCount64() ^ static_cast<std::uint64_t>(GetCurrentProcessId()) << 32 ^
                               reinterpret_cast<std::uintptr_t>(&state);
  std::uint64_t mixed = state += 0x9E3779B97F4A7C15ull;
  mixed = (mixed ^ mixed >> 30) * 0xBF58476D1CE4E5B9ull;
  mixed = (mixed ^ mixed >> 27) * 0x94D049BB133111EBull;
  mixed ^= mixed >> 31;
  static const char16_t kLetters[] = u"abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned short tail[7] = {};
  for (int i = 0; i < 6; ++i, mixed /= 36) tail[i] = kLetters[mixed % 36];
  int name = target.get_count();
  while (name > 0 && !isSeparator(target.c_str()[name - 1])) --name;
  mstr path = leading(target, name);
  path.append(u".").append(target.c_str() + name);
  if (name < target.get_count()) path.append(u".");
  return path.append(u"tarvin-").append(tail);
}

// Makes a new file under a temporary name beside the target, on the list of
// files that an interruption removes. INVALID_HANDLE_VALUE, with the last
// error set, when none can be made.
HANDLE createTemporary(pendingFile& file) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    file.temporary = temporaryName(file.target);
    // FILE_SHARE_DELETE: an interruption removes it while it is open.
    HANDLE made = CreateFileW(file.temporary.wide(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (made != INVALID_HANDLE_VALUE) {
      platform::removeOnInterrupt(file.temporary.wide(), true);
      return made;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  file.temporary.clear();
  return INVALID_HANDLE_VALUE;
}

// Removes the temporary of a file that is not to be put in place.
void discard(pendingFile& file) {
  if (file.temporary.get_count() == 0) return;
  DeleteFileW(file.temporary.wide());
  platform::removeOnInterrupt(file.temporary.wide(), false);
  file.temporary.clear();
}

// Puts a complete file, closed, in its place. False, with the last error
// set and the temporary removed, when it cannot be.
bool commit(pendingFile& file) {
  const bool moved =
      MoveFileExW(file.temporary.wide(), file.target.wide(), file.replace ? MOVEFILE_REPLACE_EXISTING : 0);
  const DWORD error = GetLastError();
  if (!moved) DeleteFileW(file.temporary.wide());
  // Only now: an interruption before the rename removes the temporary.
  platform::removeOnInterrupt(file.temporary.wide(), false);
  file.temporary.clear();
  SetLastError(error);
  return moved;
}

// Makes a directory and the missing ones on the way to it; false, with the
// last error set, when one of them cannot be made: the directory's own path
// is then in `failed`.
bool makeDirectories(const mstr& path, mstr& failed) {
  std::vector<int> missing;  // lengths of the leading parts to make, the longest first
  int length = path.get_count();
  for (;;) {
    failed = leading(path, length);
    if (CreateDirectoryW(failed.wide(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) break;
    if (GetLastError() != ERROR_PATH_NOT_FOUND) return false;
    missing.push_back(length);
    const unsigned short* units = path.c_str();
    while (length > 0 && !isSeparator(units[length - 1])) --length;
    while (length > 0 && isSeparator(units[length - 1])) --length;
    if (length == 0) return false;  // nothing above it to make
  }
  for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
    failed = leading(path, *at);
    if (!CreateDirectoryW(failed.wide(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return true;
}

bool nothingThere(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool isListed(const std::vector<fileIdentity>& files, const fileIdentity& id) {
  return std::find(files.begin(), files.end(), id) != files.end();
}

}  // namespace

std::vector<fileIdentity> listFileIdentities(const std::vector<mstr>& names) {
  std::vector<fileIdentity> found;
  for (const mstr& name : names) {
    fileIdentity id;
    if (name == mstr(u"-") ? identify(GetStdHandle(STD_INPUT_HANDLE), id) : identify(name, id)) found.push_back(id);
  }
  return found;
}

mstr splitFileName(const mstr& directory, const mstr& entryName, const mFileObject& entry, const mFileObject& index,
                   bool whole) {
  mstr below, full;
  entry.getFullPath(below);
  if (below.get_count() == 0 || !isSeparator(below.c_str()[below.get_count() - 1])) below.append(kSeparator);
  index.getFullPath(full);
  const int prefix = below.get_count();
  if (full.get_count() > prefix && std::equal(below.c_str(), below.c_str() + prefix, full.c_str()))
    full.erase(full.get_data(), full.get_data() + prefix);
  else
    full.assign(index);  // found where the entry does not lead: by its name alone
  int dot = full.get_count();
  while (dot > 0 && full.c_str()[dot - 1] != u'.' && !isSeparator(full.c_str()[dot - 1])) --dot;
  if (!whole && dot > 0 && full.c_str()[dot - 1] == u'.') full.erase(full.get_data() + dot - 1, nullptr);
  mstr path(directory);
  if (path.get_count() == 0 || !isSeparator(path.c_str()[path.get_count() - 1])) path.append(kSeparator);
  path.append(entryName.c_str());
  // Each name below the entry on its own, so that none leaves the directory.
  const unsigned short* units = full.c_str();
  for (int start = 0, end = 0; end <= full.get_count(); ++end) {
    if (end < full.get_count() && !isSeparator(units[end])) continue;
    if (end > start || end == full.get_count()) appendSplitName(path.append(kSeparator), units + start, end - start);
    start = end + 1;
  }
  return path.append(u".txt");
}

void appendSplitName(mstr& out, const unsigned short* name, int length) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  const bool dots = (length == 1 || length == 2) && name[0] == u'.' && name[length - 1] == u'.';
  for (int i = 0; i < length; ++i) {
    const unsigned short unit = name[i];
    if (unit < 0x20 || unit == 0x7F || unit == u'%' || unit == u'/' || unit == u'\\' || unit == u':' || dots ||
        (i == 0 && unit == u'-')) {
      out.push_value(u'%');
      out.push_value(kHex[unit >> 4]);
      out.push_value(kHex[unit & 15]);
    } else {
      out.push_value(unit);
    }
  }
}

// ---- -o FILE ----

outputFile::outputFile(const mstr& path, mOutput& output) : path_(path), output_(output) {}

outputFile::~outputFile() { discard(file_); }

void outputFile::open(const std::vector<fileIdentity>& listFiles) {
  file_.target.assign(path_);
  file_.replace = true;  // also when it is made meanwhile
  // Opened as it is, to learn what it is: nothing is emptied, and a FIFO
  // without a reader is refused at once.
  HANDLE existing =
      CreateFileW(path_.wide(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (existing == INVALID_HANDLE_VALUE) {
    // A new file where nothing is; a name that is there but cannot be
    // opened (a link that leads nowhere, no permission) is refused.
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND || GetFileAttributesW(path_.wide()) != INVALID_FILE_ATTRIBUTES) {
      SetLastError(error);
      throw fileError(origin::outputFile, kCreateFile, path_);
    }
  } else if (GetFileType(existing) != FILE_TYPE_DISK) {
    output_.useFile(existing);  // a device, a FIFO, a console: written as it is
    return;
  } else {
    known_ = identify(existing, identity_, &size_);
    const DWORD attributes = GetFileAttributesW(path_.wide());
    if (known_ && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
      linkTarget(existing, identity_, file_.target);
    CloseHandle(existing);
    if (known_ && isListed(listFiles, identity_)) throw fileError(origin::outputIsInput, kIsInput, path_, false);
  }
  HANDLE file = createTemporary(file_);
  if (file == INVALID_HANDLE_VALUE) throw fileError(origin::outputFile, kCreateFile, path_);
  output_.useFile(file);
}

void outputFile::opened(const mFileIndex& index) {
  // Files of another size are other files: only those of its size are
  // looked up.
  auto isTarget = [this](const mFile& file) {
    if (file.size != size_) return false;
    mstr path;
    file.getFullPath(path);
    fileIdentity id;
    return identify(path, id) && id == identity_;
  };
  if (!known_ || isInput_) return;
  isInput_ = isTarget(index);
  for (const mFileData* data : index.dataFileOf)
    if (data && !isInput_) isInput_ = isTarget(*data);
}

bool outputFile::finish(bool complete, errorSink& errors) {
  if (HANDLE file = output_.useFile(nullptr)) CloseHandle(file);
  if (file_.temporary.get_count() == 0) return true;  // written directly
  if (!complete || isInput_) {
    discard(file_);
    if (!isInput_) return true;
    errors.error(fileError(origin::outputIsInput, kIsInput, path_, false), errorLevel::run);
    return false;
  }
  if (commit(file_)) return true;
  errors.error(fileError(origin::outputMove, kMoveFile, path_), errorLevel::run);
  return false;
}

// ---- --split=DIR ----

splitOutput::splitOutput(const mstr& directory, bool force, mOutput& output)
    : directory_(directory), force_(force), output_(output) {
  const unsigned short separators[] = {u'/', platform::pathSeparator, 0};
  directory_.trimRight(separators);
}

splitOutput::~splitOutput() {
  if (holding_) CloseHandle(holding_);
  discard(held_);
  discard(current_);
}

void splitOutput::prepare(std::vector<fileIdentity> listFiles) {
  listFiles_ = std::move(listFiles);
  // Links on the way to it and the directory itself are the user's; below
  // it none is followed.
  const DWORD attributes = GetFileAttributesW(directory_.wide());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    mstr failed(directory_);
    if (!nothingThere(GetLastError()) || !makeDirectories(directory_, failed))
      throw fileError(origin::splitDirectory, kCreateDirectory, failed);
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetLastError(ERROR_DIRECTORY);
    throw fileError(origin::splitDirectory, kNoDirectory, directory_);
  }
  // Whether files can be made in it: one is made and removed.
  pendingFile probe;
  probe.target.assign(directory_).append(kSeparator);
  HANDLE file = createTemporary(probe);
  if (file == INVALID_HANDLE_VALUE) throw fileError(origin::splitDirectory, kNoFiles, directory_);
  CloseHandle(file);
  discard(probe);
}

// The directories between the split directory and a file in it, made as
// needed: each one that is there must be a directory of its own, no link.
void splitOutput::makeWay(const mstr& path) const {
  const unsigned short* units = path.c_str();
  for (int end = directory_.get_count() + 1; end < path.get_count(); ++end) {
    if (!isSeparator(units[end]) || isSeparator(units[end - 1])) continue;
    const mstr step = leading(path, end);
    DWORD attributes = GetFileAttributesW(step.wide());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (!CreateDirectoryW(step.wide(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        throw fileError(origin::splitDirectory, kCreateDirectory, step);
      attributes = GetFileAttributesW(step.wide());  // what is there now
    }
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != FILE_ATTRIBUTE_DIRECTORY) {
      SetLastError(ERROR_DIRECTORY);
      throw fileError(origin::splitLink, kNoDirectory, step);
    }
  }
}

// Opens the temporary of the file at `path`: new, or replacing a regular
// file that was there before the run when forced; its directories are made
// as needed. Raises the index's error when it cannot be had.
HANDLE splitOutput::open(const mstr& path, pendingFile& file) {
  makeWay(path);
  file.target.assign(path);
  const DWORD attributes = GetFileAttributesW(path.wide());
  const bool there = attributes != INVALID_FILE_ATTRIBUTES;
  if (!there && !nothingThere(GetLastError())) throw fileError(origin::splitFile, kCreateFile, path);
  fileIdentity id;
  const bool known = there && identify(path, id);
  if (claimed_.count(unitsOf(path)) > 0 || (there && !force_) || (known && written_.count(id) > 0)) {
    SetLastError(ERROR_FILE_EXISTS);
    throw fileError(origin::splitFile, kCreateFile, path);
  }
  if (there && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
    SetLastError(ERROR_FILE_EXISTS);
    throw fileError(origin::splitFileInTheWay, kInTheWay, path);
  }
  if (known && isListed(listFiles_, id)) throw fileError(origin::outputIsInput, kIsInput, path, false);
  file.replace = there;
  HANDLE made = createTemporary(file);
  if (made == INVALID_HANDLE_VALUE) throw fileError(origin::splitFile, kCreateFile, path);
  if (identify(made, id)) written_.insert(id);
  claimed_.insert(unitsOf(path));
  return made;
}

// The entry's own name in the split directory: the last name of its
// absolute path (the root's is that path), escaped; an entry whose name
// another one has already (letter case aside) gets "~2", "~3" ... after it.
const mstr& splitOutput::entryName(const mFileObject& entry) {
  mstr given;
  entry.getSystemPath(given);
  std::vector<WCHAR> absolute(GetFullPathNameW(given.wide(), 0, nullptr, nullptr) + 1);
  const DWORD length = GetFullPathNameW(given.wide(), static_cast<DWORD>(absolute.size()), absolute.data(), nullptr);
  mstr path(length > 0 && length < absolute.size() ? reinterpret_cast<const unsigned short*>(absolute.data())
                                                   : given.c_str());
  auto known = entryNames_.find(unitsOf(path));
  if (known != entryNames_.end()) return known->second;
  int end = path.get_count();
  while (end > 0 && isSeparator(path.c_str()[end - 1])) --end;
  int start = end;
  while (start > 0 && !isSeparator(path.c_str()[start - 1])) --start;
  if (start == end) start = 0, end = path.get_count();  // the root
  mstr own;
  appendSplitName(own, path.c_str() + start, end - start);
  mstr name(own);
  auto folded = [](const mstr& text) {
    std::u16string units = unitsOf(text);
    for (char16_t& unit : units) unit = platform::foldCase(unit);
    return units;
  };
  for (int n = 2; !entryNamesTaken_.insert(folded(name)).second; ++n) name.assign(own).append(u"~").appendNumber(n);
  return entryNames_.emplace(unitsOf(path), name).first->second;
}

bool splitOutput::begin(const mFileObject& entry, const mFileObject& index, unsigned counter, errorSink& errors,
                        bool whole) {
  pendingFile next;
  HANDLE file = INVALID_HANDLE_VALUE;
  try {
    file = open(splitFileName(directory_, entryName(entry), entry, index, whole), next);
  } catch (mEx& error) {
    errors.error(error, errorLevel::index);
    ++failed_;
    return false;
  }
  if (HANDLE previous = output_.useFile(file)) {
    if (counter != counterAtOpen_) {  // it holds the last report written so far
      if (holding_) CloseHandle(holding_);
      put(held_, errors);
      holding_ = previous;
      held_ = std::move(current_);
    } else {
      CloseHandle(previous);
      put(current_, errors);
    }
  }
  current_ = std::move(next);
  counterAtOpen_ = counter;
  return true;
}

void splitOutput::end(unsigned counter, errorSink& errors) {
  if (counter != counterAtOpen_ || !holding_) return;
  if (HANDLE empty = output_.useFile(holding_)) {
    CloseHandle(empty);
    put(current_, errors);
  }
  holding_ = nullptr;
  current_ = std::move(held_);
}

// Puts a file that is complete and closed in its place; its error, when it
// cannot be.
void splitOutput::put(pendingFile& file, errorSink& errors) {
  if (file.temporary.get_count() == 0) return;
  claimed_.erase(unitsOf(file.target));
  if (commit(file)) return;
  if (GetLastError() == ERROR_ALREADY_EXISTS) SetLastError(ERROR_FILE_EXISTS);  // taken meanwhile
  errors.error(fileError(origin::outputMove, kMoveFile, file.target), errorLevel::index);
  ++failed_;
}

bool splitOutput::finish(bool complete, errorSink& errors) {
  if (HANDLE last = output_.useFile(nullptr)) CloseHandle(last);
  if (holding_) CloseHandle(holding_);
  holding_ = nullptr;
  put(held_, errors);
  if (complete)
    put(current_, errors);
  else
    discard(current_);
  return failed_ == 0;
}
