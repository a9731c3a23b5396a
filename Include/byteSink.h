// byteSink: somewhere bytes are written in place: the caller asks for room,
// writes into it, then says how many it wrote. Decoders and conversions fill
// a sink without a copy, whether it is a byte array or standard output.
#ifndef TARVIN_BYTESINK_H
#define TARVIN_BYTESINK_H

#include <cstddef>
#include <cstring>

#include "stack_ob.h"

typedef stack_ob<unsigned char, 0, 0> mbytes;

class byteSink {
 public:
  virtual ~byteSink() = default;
  // Room for at least `least` bytes: where to write them, and in `available`
  // how many fit there.
  virtual unsigned char* room(std::size_t least, std::size_t& available) = 0;
  // `count` bytes were written at the room.
  virtual void commit(std::size_t count) = 0;

  void append(const void* bytes, std::size_t count) {
    std::size_t available = 0;
    if (count) std::memcpy(room(count, available), bytes, count);
    commit(count);
  }
};

// A byte array as a sink: it grows as room is asked for (raising the
// library's allocation error when it cannot).
class arraySink : public byteSink {
 public:
  explicit arraySink(mbytes& array) : array_(array) {}
  unsigned char* room(std::size_t least, std::size_t& available) override {
    if (least > static_cast<std::size_t>(0x7FFFFFF0 - array_.get_count()))
      stack_ob_allocation_failed(origin::allocationBytes);
    unsigned char* at = array_.reserve_end(static_cast<int>(least));
    available = static_cast<std::size_t>(array_.room_at_end());
    return at;
  }
  void commit(std::size_t count) override { array_.commit_end(static_cast<int>(count)); }

 private:
  mbytes& array_;
};

#endif  // TARVIN_BYTESINK_H
