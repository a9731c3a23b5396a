#include "mFile.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// Raises the error of a failed system call: its text, then what failed and
// the path.
[[noreturn]] void systemError(const errorOrigin& at, const char16_t* what, const mstr& path) {
  mEx ex(at);
  ex.addSystemError().appendText(what).appendText(path.c_str());
  throw ex;
}

// Closes a handle without disturbing the last error, which the error about
// to be raised reports.
void closeKeepingError(HANDLE handle) {
  DWORD error = GetLastError();
  CloseHandle(handle);
  SetLastError(error);
}

// The file's size, 64-bit; false when it cannot be had.
bool sizeOf(HANDLE file, std::uint64_t& size) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  size = (static_cast<std::uint64_t>(high) << 32) | low;
  return true;
}

// Openings so far, in every thread: what tells one opening's bytes from
// another's, even of a file at the same address.
std::atomic<std::uint64_t> openings{0};

}  // namespace

mFile::~mFile() { close(); }

void mFile::close() {
  if (view) {
    if (viewOwned)
      std::free(const_cast<unsigned char*>(view));
    else
      UnmapViewOfFile(view);
    view = nullptr;
    viewOwned = false;
  }
  if (reader) {
    CloseHandle(reader);
    reader = nullptr;
  }
  size = 0;
  opening = 0;
}

void mFile::openFileRead(bool keepHandle) {
  close();
  mstr path;
  getFullPath(path);
  if (path.get_count() == 0) {
    mEx ex(origin::fileNameEmpty);
    ex.appendText(u"Не указано имя файла в функции открытия.");
    throw ex;
  }

  mstr reached;
  HANDLE file = CreateFileW(getSystemPath(reached).wide(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) systemError(origin::fileOpen, u"func=CreateFile filename=", path);

  // The mapping is made exactly as long as the size just read, so that the
  // file is read by the length of what is mapped. A read-only mapping never
  // extends its file: the system refuses one longer than the file (for lack
  // of memory, it says), so a refusal for that reason means the file became
  // shorter after it was sized. It may have been cut and grown again, so it
  // is sized and mapped again, a few times; a file that keeps changing under
  // the run gets the read fault, as one cut short does.
  std::uint64_t fileSize = 0;
  HANDLE mapping = nullptr;
  for (int attempt = 1;; ++attempt) {
    if (!sizeOf(file, fileSize)) {
      closeKeepingError(file);
      systemError(origin::fileSize, u"func=GetFileSize filename=", path);
    }
    // An empty file cannot be mapped (a maximum of 0 would map whatever the
    // file holds by now, not the size just read): an empty disk file opens
    // with nothing to read. Anything else that reads as empty (a FIFO, a
    // device) is not read at all, so that it never waits for a writer.
    if (fileSize == 0) {
      if (GetFileType(file) == FILE_TYPE_DISK) {
        CloseHandle(file);
        opening = ++openings;
        return;
      }
      SetLastError(ERROR_FILE_INVALID);
      closeKeepingError(file);
      systemError(origin::fileMapping, u"func=CreateFileMapping filename=", path);
    }
    if (fileSize <= kReadWhole) return readWhole(file, fileSize, path);
    mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, static_cast<DWORD>(fileSize >> 32),
                                 static_cast<DWORD>(fileSize), nullptr);
    if (mapping) break;
    const DWORD error = GetLastError();
    std::uint64_t now = 0;
    const bool sized = sizeOf(file, now);
    if (sized && (now < fileSize || (error == ERROR_NOT_ENOUGH_MEMORY && attempt == 4))) {
      CloseHandle(file);
      throw readFault();
    }
    if (!sized || error != ERROR_NOT_ENOUGH_MEMORY) {
      SetLastError(error);
      closeKeepingError(file);
      systemError(origin::fileMapping, u"func=CreateFileMapping filename=", path);
    }
  }
  if (!keepHandle) CloseHandle(file);  // the mapping keeps the file open

  LPVOID mapped = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);  // the whole mapping
  if (!mapped) {
    closeKeepingError(mapping);
    if (keepHandle) closeKeepingError(file);
    systemError(origin::fileView, u"func=MapViewOfFile filename=", path);
  }
  if (keepHandle) reader = file;
  CloseHandle(mapping);  // the view stays valid
  view = static_cast<const unsigned char*>(mapped);
  size = fileSize;
  opening = ++openings;
}

// A small file is read whole into memory of its own instead of mapped: for
// it, setting a mapping up and taking it down (which stops every thread of
// the process to forget its pages) cost more than the copy. What it holds
// when it is read is what the program reads, as a mapping made then would
// give; a file cut short before all is read is the read fault.
void mFile::readWhole(HANDLE file, std::uint64_t fileSize, const mstr& path) {
  auto* bytes = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(fileSize)));
  if (!bytes) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    closeKeepingError(file);
    systemError(origin::fileMapping, u"func=CreateFileMapping filename=", path);
  }
  DWORD read = 0;
  const bool whole = ReadFile(file, bytes, static_cast<DWORD>(fileSize), &read, nullptr) && read == fileSize;
  CloseHandle(file);
  if (!whole) {
    std::free(bytes);
    throw readFault();
  }
  view = bytes;
  viewOwned = true;
  size = fileSize;
  opening = ++openings;
}

std::size_t mFile::readAt(std::uint64_t offset, void* into, std::size_t count) const {
  auto* to = static_cast<unsigned char*>(into);
  std::size_t done = 0;
  while (count > 0) {
    const DWORD part = count < (1u << 30) ? static_cast<DWORD>(count) : (1u << 30);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    const bool ok = ReadFile(reader, to, part, &read, &at);
    done += read;
    if (!ok || read != part) break;
    to += part;
    offset += part;
    count -= part;
  }
  return done;
}

bool mFile::stillReadable(std::uint64_t offset, std::uint64_t count) const {
  if (offset >= size || count == 0) return true;
  const std::uint64_t end = offset + std::min(count, size - offset);
  // A step at a time, each released once read, so that the pages of a long
  // report are not all in memory at once.
  for (std::uint64_t from = offset; from < end; from += kReleaseStep) {
    const unsigned char* bytes = view + from;
    const std::size_t length = static_cast<std::size_t>(std::min(end - from, kReleaseStep));
    volatile unsigned char sink = 0;
    if (!readMapped([bytes, length, &sink] {
          for (std::size_t at = 0; at < length; at += 4096) sink = bytes[at];
          sink = bytes[length - 1];
        }))
      return false;
    release(from, length);
  }
  return true;
}

void mFile::release(std::uint64_t offset, std::uint64_t count) const {
  if (view && !viewOwned && offset < size)
    platform::releaseMappedPages(view + offset, static_cast<std::size_t>(std::min(count, size - offset)));
}

mEx mFile::readFault() const {
  mstr path;
  getFullPath(path);
  mEx ex(origin::mappedReadFault);
  SetLastError(ERROR_HANDLE_EOF);
  ex.addSystemError()
      .appendText(u"func=MapViewOfFile Чтение отображённого файла прервано: файл укорочен или недоступен. filename=")
      .appendText(path.c_str());
  return ex;
}
