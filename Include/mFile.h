// mFile: reads a whole file through a read-only memory mapping.
//
// openFileRead maps the file that the object's path names; the content is
// then read in place through `view`, or a byte range is copied into a byte
// array by readFile. The mapping stays until close(), a new openFileRead, or
// destruction. Sizes and offsets are 64-bit.
#ifndef TARVIN_MFILE_H
#define TARVIN_MFILE_H

#include <cstdint>

#include "mFileObject.h"

typedef stack_ob<unsigned char, 0, 0> mbytes;

class mFile : public mFileObject {
 public:
  int mode = 0;                         // 1 once openFileRead has started
  HANDLE handle = nullptr;              // not kept by openFileRead
  const unsigned char* view = nullptr;  // first mapped byte, or null
  std::uint64_t size = 0;               // file size in bytes, 0 when closed

  mFile() = default;
  mFile(const mFile&) = delete;
  mFile& operator=(const mFile&) = delete;
  ~mFile() override;

  // Maps the file whole. Raises mEx, with the system's text, when the path is
  // empty or the file cannot be opened, sized or mapped (an empty file
  // cannot be mapped); nothing opened on the way stays open.
  void openFileRead();
  // Fills `array` with the bytes [start, end); end 0 means the end of the
  // file, and both are cut to the size (the cut values are written back).
  // Raises mEx when nothing is mapped.
  mbytes& readFile(mbytes& array, std::uint64_t& start, std::uint64_t& end) const;
  std::uint64_t getSize() const { return size; }
  void close();
  // Whether the position lies at or past the end of the mapped bytes.
  bool isEnd(const unsigned char* position) const {
    return static_cast<std::uint64_t>(position - view) >= size;
  }
};

#endif  // TARVIN_MFILE_H
