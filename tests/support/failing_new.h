// A fault of the heap for tests: it replaces the program's operator new and
// delete (include it in one source file only). While an allocationFault
// lives, the nth allocation (from 1) of operator new on its thread throws
// std::bad_alloc, and `came` says so; the others are served by malloc.
#ifndef TARVIN_TESTS_FAILING_NEW_H
#define TARVIN_TESTS_FAILING_NEW_H

#include <cstdlib>
#include <new>

struct allocationFault {
  inline static thread_local unsigned long left = 0;  // allocations up to the one that fails; 0: none
  inline static thread_local bool came = false;
  explicit allocationFault(unsigned long nth) { left = nth, came = false; }
  ~allocationFault() { left = 0; }
};

void* operator new(std::size_t size) {
  if (allocationFault::left > 0 && --allocationFault::left == 0) {
    allocationFault::came = true;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
// The forms that a sanitizer's runtime would otherwise serve from a heap of its own.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

#endif  // TARVIN_TESTS_FAILING_NEW_H
