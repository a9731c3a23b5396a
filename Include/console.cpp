// Console output of mstr: conversion to the OEM code page and WriteFile to a
// standard handle. There is no buffering: every call writes at once, the
// string with one WriteFile and its tail with a second.
#include <cstdlib>

#include "mstr.h"
#include "oemTable.h"

namespace {

// One conversion buffer reused by every write, so that writing a report
// costs no allocation. It is never released: it lives as long as the process.
char* scratch = nullptr;
int scratchSize = 0;

char* scratchOf(int bytes) {
  if (bytes > scratchSize) {
    int size = bytes < 4096 ? 4096 : bytes + bytes / 4;
    if (size < bytes) size = bytes;
    char* grown = static_cast<char*>(std::realloc(scratch, static_cast<size_t>(size)));
    if (!grown) return nullptr;
    scratch = grown;
    scratchSize = size;
  }
  return scratch;
}

bool writeOk = true;
DWORD writeError = 0;

void lost(DWORD error) {
  if (writeOk) writeError = error;
  writeOk = false;
}

// Converts `n` units to the OEM code page into `buffer` (n + 1 bytes) and
// returns the number of bytes it holds.
int toOem(const unsigned short* units, int n, char* buffer) {
  int bytes = oemTable::get().narrow(units, n, buffer);
  if (bytes < 0)
    bytes = WideCharToMultiByte(CP_OEMCP, 0, reinterpret_cast<LPCWSTR>(units), n, buffer, n + 1,
                                nullptr, nullptr);
  if (bytes < 0) bytes = 0;
  buffer[bytes] = 0;
  return bytes;
}

void writeUnits(const unsigned short* units, int n, HANDLE handle) {
  char* buffer = n < 0x7FFFFFFF ? scratchOf(n + 1) : nullptr;
  if (!buffer) {
    lost(ERROR_NOT_ENOUGH_MEMORY);
    return;
  }
  // Only the converted bytes are written: a unit outside the code page that
  // the system turns into fewer bytes leaves no stale bytes in the output.
  int bytes = toOem(units, n, buffer);
  // A pipe may take part of a write (Wine's does when its reader goes away
  // meanwhile); the rest is written again, so that the failure the system
  // gives for that write is the one reported.
  DWORD done = 0;
  do {
    DWORD written = 0;
    if (!WriteFile(handle, buffer + done, static_cast<DWORD>(bytes) - done, &written, nullptr)) {
      lost(GetLastError());
      return;
    }
    if (written == 0 && bytes != 0) {
      lost(ERROR_GEN_FAILURE);
      return;
    }
    done += written;
  } while (done < static_cast<DWORD>(bytes));
}

}  // namespace

char* mstr::toMultiByte(char* buffer, int size, unsigned codePage) const {
  if (!buffer) return nullptr;
  int n = get_count();
  if (size <= n) {
    if (size > 0) buffer[0] = 0;
    return buffer;
  }
  if (codePage == CP_OEMCP) {
    toOem(c_str(), n, buffer);
  } else {
    int bytes = n ? WideCharToMultiByte(codePage, 0, wide(), n, buffer, size, nullptr, nullptr) : 0;
    buffer[bytes > 0 ? bytes : 0] = 0;
  }
  return buffer;
}

const mstr& mstr::write(const unsigned short* tail, HANDLE handle) const {
  if (!handle) handle = GetStdHandle(STD_OUTPUT_HANDLE);
  writeOk = true;
  writeError = 0;
  writeUnits(c_str(), get_count(), handle);
  if (tail) {
    int n = lstrlenW(reinterpret_cast<LPCWSTR>(tail));
    writeUnits(tail, n, handle);
  }
  return *this;
}

const mstr& mstr::print(const unsigned short* tail, DWORD stdHandle) const {
  return write(tail, GetStdHandle(stdHandle));
}

const mstr& mstr::printError(const unsigned short* tail) const {
  return write(tail, GetStdHandle(STD_ERROR_HANDLE));
}

bool mstr::lastWriteSucceeded() { return writeOk; }
DWORD mstr::lastWriteError() { return writeError; }

void printErrorText(const mEx& error) {
  mEx text;
  error.getText(text);
  mstr(text.getMessage()).printError();
}
