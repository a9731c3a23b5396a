// Standard output and standard error in memory: what an mOutput on them
// writes, byte for byte, as it would reach the process's streams.
#ifndef TARVIN_TESTS_CAPTURE_H
#define TARVIN_TESTS_CAPTURE_H

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "mOutput.h"

struct captured {
  std::string out;
  std::string err;
};

// Memory had with malloc, so that a fault of operator new (failing_new.h)
// never falls on what is captured.
template <class T>
struct mallocAllocator {
  typedef T value_type;
  mallocAllocator() = default;
  template <class U>
  mallocAllocator(const mallocAllocator<U>&) {}  // NOLINT: as any allocator converts
  T* allocate(std::size_t n) {
    if (void* block = std::malloc(n * sizeof(T))) return static_cast<T*>(block);
    throw std::bad_alloc();
  }
  void deallocate(T* block, std::size_t) { std::free(block); }
  bool operator==(const mallocAllocator&) const { return true; }
  bool operator!=(const mallocAllocator&) const { return false; }
};

class capturedOutput : public mOutput::streams {
 public:
  // With `oneStream`, what goes to standard error goes to standard output
  // too, in the order it is written, and `err` stays empty. Neither is a
  // console.
  explicit capturedOutput(bool oneStream = false) : oneStream_(oneStream), output(*this) {}
  // What was written, once what the output gathers is written out.
  captured taken();

  bool isConsole(stream) override { return false; }
  bool write(stream s, const unsigned char* data, std::size_t count, DWORD&) override;

 private:
  const bool oneStream_;
  std::vector<char, mallocAllocator<char>> out_, err_;

 public:
  mOutput output;  // the last: at its end it writes out what it gathers
};

// UTF-8 text as code page 866 bytes (the test sources are UTF-8; the
// program writes OEM bytes).
std::string oem(const std::string& utf8);
// The reverse, for the same characters: code page 866 bytes as UTF-8.
std::string utf8(const std::string& oem);

#endif  // TARVIN_TESTS_CAPTURE_H
