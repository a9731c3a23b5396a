#include "outputFiles.h"

#include <algorithm>
#include <vector>

namespace {

// A file or directory that could not be made, with the system's error.
mEx creationError(int line, const char16_t* function, const mstr& path) {
  mEx ex("main", line, "wmain", 1);
  ex.addSystemError().appendText(function).appendText(path.c_str());
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

HANDLE createFile(const mstr& path, DWORD disposition) {
  return CreateFileW(path.wide(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

}  // namespace

HANDLE openOutputFile(const mstr& path) {
  HANDLE file = createFile(path, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) throw creationError(2, u"func=CreateFile filename=", path);
  return file;
}

mstr splitFileName(const mstr& directory, const mFileObject& entry, const mFileObject& index) {
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
  if (dot > 0 && full.c_str()[dot - 1] == u'.') full.erase(full.get_data() + dot - 1, nullptr);
  mstr path(directory);
  if (path.get_count() == 0 || !isSeparator(path.c_str()[path.get_count() - 1])) path.append(kSeparator);
  return path.append(full.c_str()).append(u".txt");
}

splitOutput::splitOutput(const mstr& directory, bool force, mOutput& output)
    : directory_(directory), force_(force), output_(output) {
  const unsigned short separators[] = {u'/', platform::pathSeparator, 0};
  directory_.trimRight(separators);
}

splitOutput::~splitOutput() {
  if (holding_) CloseHandle(holding_);
}

void splitOutput::prepare() {
  mstr failed;
  if (!makeDirectories(directory_, failed)) throw creationError(3, u"func=CreateDirectory filename=", failed);
}

bool splitOutput::begin(const mFileObject& entry, const mFileObject& index, unsigned counter, reportFormat& format) {
  const mstr path = splitFileName(directory_, entry, index);
  HANDLE file = INVALID_HANDLE_VALUE;
  try {
    file = open(path);
  } catch (mEx& error) {
    format.error(error, errorLevel::directory);
    return false;
  }
  if (HANDLE previous = output_.useFile(file)) {
    if (counter != counterAtOpen_) {  // it holds the last report written so far
      if (holding_) CloseHandle(holding_);
      holding_ = previous;
      holdingName_.assign(name_);
    } else {
      CloseHandle(previous);
    }
  }
  name_.assign(path);
  counterAtOpen_ = counter;
  return true;
}

void splitOutput::end(unsigned counter) {
  if (counter != counterAtOpen_ || !holding_) return;
  if (HANDLE empty = output_.useFile(holding_)) CloseHandle(empty);
  holding_ = nullptr;
  name_.assign(holdingName_);
}

// Opens a file for writing: new, or replacing one that was there before
// the run when forced; its directories are made as needed.
HANDLE splitOutput::open(const mstr& path) {
  HANDLE file = createFile(path, CREATE_NEW);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
    mstr directory, failed;
    mFileObject(path).getDir(directory);
    if (!makeDirectories(directory, failed)) throw creationError(3, u"func=CreateDirectory filename=", failed);
    file = createFile(path, CREATE_NEW);
  }
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS && force_ && !writtenBefore(path))
    file = createFile(path, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) throw creationError(4, u"func=CreateFile filename=", path);
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(file, &info))
    written_.insert(identity(info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow));
  return file;
}

// Whether the file at `path` is one this run wrote; the last error is
// ERROR_FILE_EXISTS after it. It may still be open for writing here.
bool splitOutput::writtenBefore(const mstr& path) const {
  HANDLE file = CreateFileW(path.wide(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  const bool ours = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info) &&
                    written_.count(identity(info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow)) > 0;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  SetLastError(ERROR_FILE_EXISTS);
  return ours;
}
