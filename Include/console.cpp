// Console output of mstr: the standard streams go through the program's one
// writer (mOutput), which converts, gathers and orders them; any other
// handle is written at once, the string and its tail with one WriteFile each.
#include <cstdlib>

#include "mOutput.h"
#include "mstr.h"
#include "oemTable.h"

namespace {

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

// A handle that is not a standard stream: converted and written at once.
void writeUnits(const unsigned short* units, int n, HANDLE handle) {
  char* buffer = n < 0x7FFFFFFF ? static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1)) : nullptr;
  if (!buffer) return;
  int bytes = toOem(units, n, buffer);
  DWORD written = 0;
  WriteFile(handle, buffer, static_cast<DWORD>(bytes), &written, nullptr);
  std::free(buffer);
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
  const int tailLength = tail ? lstrlenW(reinterpret_cast<LPCWSTR>(tail)) : 0;
  mOutput& output = mOutput::get();
  // A process without standard output (a null handle) still goes through
  // the writer, whose failed write stops the run.
  if (handle == GetStdHandle(STD_OUTPUT_HANDLE)) {
    output.text(c_str(), get_count());
    output.text(tail, tailLength);
    output.endOfPiece();
  } else if (handle && handle == GetStdHandle(STD_ERROR_HANDLE)) {
    output.errorText(c_str(), get_count());
    if (tail) output.errorText(tail, tailLength);
  } else {
    writeUnits(c_str(), get_count(), handle);
    if (tail) writeUnits(tail, tailLength, handle);
  }
  return *this;
}

const mstr& mstr::print(const unsigned short* tail, DWORD stdHandle) const {
  return write(tail, GetStdHandle(stdHandle));
}

const mstr& mstr::printError(const unsigned short* tail) const {
  // A process without standard error gets a null handle, and write() then
  // takes standard output, in order with the rest.
  return write(tail, GetStdHandle(STD_ERROR_HANDLE));
}

bool mstr::lastWriteSucceeded() { return !mOutput::get().lost(); }
DWORD mstr::lastWriteError() { return mOutput::get().lostError(); }
