// stack_ob<T, a, b>: the library's one growable, contiguous array.
//
// T is the element type; a is the element kind: 0 for plain elements (created,
// copied and removed as raw bytes), 1 for object elements with a virtual
// interface of their own (made empty, then given a value through their
// virtual `assign`; destroyed through their virtual destructor). b is unused.
//
// The array always keeps one all-zero element after its last element once it
// has storage, so an array of code units is a zero-terminated text in place.
// Removing elements from the front only advances `first`; the dead space is
// reclaimed by the next growth request that fits in the block. Elements are
// relocated as raw bytes in both kinds; object elements must stay valid when
// their bytes move, which holds for the string type (it only points into its
// own heap block).
//
// Bad positions and ranges are not errors: they change nothing. Growth that
// the heap cannot satisfy raises mEx and leaves the array as it was.
#ifndef TARVIN_STACK_OB_H
#define TARVIN_STACK_OB_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "mEx.h"
#include "win32.h"

// The origin of the allocation error of an instance: its function names
// the array's kind.
template <class T, int a, int b>
struct stack_ob_origin {
  static constexpr const errorOrigin& allocation = origin::allocation;
};
template <>
struct stack_ob_origin<unsigned short, 0, 0> {
  static constexpr const errorOrigin& allocation = origin::allocationUnits;
};
template <>
struct stack_ob_origin<unsigned char, 0, 0> {
  static constexpr const errorOrigin& allocation = origin::allocationBytes;
};
class mstr;
template <>
struct stack_ob_origin<mstr, 1, 0> {
  static constexpr const errorOrigin& allocation = origin::allocationStrings;
};

// The allocation error of stack_ob (out of memory, system error 8), and the
// function that raises it. The program gives the same error, of an array
// of bytes, for any memory it could not have while it reads a report.
mEx stack_ob_allocation_error(const errorOrigin& at);
[[noreturn]] void stack_ob_allocation_failed(const errorOrigin& at);

template <class T, int a, int b>
class stack_ob {
 public:
  typedef T value_type;

  stack_ob() : block(nullptr), block_end(nullptr), first(nullptr), last(nullptr) {}
  stack_ob(const stack_ob&) = delete;
  stack_ob& operator=(const stack_ob&) = delete;

  virtual int get_tag() { return 0; }
  virtual int get_elem_size() const { return static_cast<int>(sizeof(T)); }
  virtual stack_ob& clear() { return erase(first, last); }

  // Moves the elements into a fresh block sized by the growth rule for the
  // current count.
  virtual void compact() {
    if (!block) return;
    int n = get_count();
    T* fresh = allocate(growth_capacity(n));
    std::memcpy(static_cast<void*>(fresh), static_cast<const void*>(first), (static_cast<size_t>(n) + 1) * sizeof(T));
    block_end = fresh + growth_capacity(n) + 1;
    std::free(block);
    block = first = fresh;
    last = fresh + n;
  }

  virtual void reverse() {
    int n = get_count();
    for (int i = 0; i < n / 2; ++i) swap_bytes(first + i, first + n - 1 - i);
  }

  // Keeps [from, to): removes the elements from `to` to the end, then those
  // before `from`.
  virtual stack_ob& keep_range(T* from, T* to) {
    erase(to, last);
    return erase(first, from);
  }

  virtual stack_ob& keep_index_range(int from, int to) {
    int n = get_count();
    if (to >= 0 && to <= n) erase(first + to, last);
    if (from >= 0 && from <= get_count()) erase(first, first + from);
    return *this;
  }

  virtual stack_ob* copy_index_range(int from, int to, stack_ob* dest) {
    if (!dest) return dest;
    dest->clear();
    if (from >= 0 && from <= to && to <= get_count()) dest->append_n(first + from, to - from);
    return dest;
  }

  // Removes [from, to); a null `to` means the end. Removal from the front
  // moves nothing.
  virtual stack_ob& erase(T* from, T* to) {
    if (!to) to = last;
    if (!from || !block || !before(from, to) || before(from, first) || before(last, to))
      return *this;
    if constexpr (a == 1)
      for (T* p = from; p != to; ++p) destroy(p);
    if (from == first && to == last) {
      first = last = block;
      zero(last);
    } else if (to == last) {
      last = from;
      zero(last);
    } else if (from == first) {
      first = to;
    } else {
      std::memmove(static_cast<void*>(from), static_cast<const void*>(to), static_cast<size_t>(last - to) * sizeof(T));
      last -= to - from;
      zero(last);
    }
    return *this;
  }

  virtual stack_ob& erase_index_range(int from, int to) {
    int n = get_count();
    if (to == -1) to = n;
    if (from < 0 || from >= to || to > n) return *this;
    return erase(first + from, first + to);
  }

  virtual T* push(const T* item) { return insert(item, last, 1); }
  virtual stack_ob& push_chain(const T* item) {
    push(item);
    return *this;
  }
  virtual stack_ob& append_chain(const stack_ob& other) {
    append(other);
    return *this;
  }
  virtual T* append(const stack_ob& other) {
    return insert(other.get_data(), last, other.get_count());
  }
  virtual T* append_n(const T* items, int n) { return insert(items, last, n); }
  virtual T* add(const T* item) { return push(item); }
  virtual T* push_value(T value) { return push(&value); }

  virtual bool equals(const stack_ob& other) const {
    int n = get_count();
    if (n != other.get_count()) return false;
    if (n == 0) return true;
    if constexpr (a == 1) {
      for (int i = 0; i < n; ++i)
        if (!first[i].equals(other.get_data()[i])) return false;
      return true;
    }
    return std::memcmp(first, other.get_data(), static_cast<size_t>(n) * sizeof(T)) == 0;
  }

  virtual stack_ob& concat(const stack_ob& other) { return append_chain(other); }
  virtual int get_elem_bytes() const { return get_elem_size(); }
  virtual int get_count() const { return first ? static_cast<int>(last - first) : 0; }

  // Makes room for n elements and the terminating one, counted from `first`.
  // With `grow` false it never changes anything.
  virtual void get_size(int n, bool grow) {
    if (n < 0 || n > max_elements()) {
      if (grow) stack_ob_allocation_failed(stack_ob_origin<T, a, b>::allocation);
      return;
    }
    if (block && block_end - first >= n + 1) return;
    if (!grow) return;
    int count = get_count();
    if (block && block_end - block >= n + 1) {
      // The block is large enough once the dead front is reclaimed.
      std::memmove(static_cast<void*>(block), static_cast<const void*>(first), (static_cast<size_t>(count) + 1) * sizeof(T));
      first = block;
      last = block + count;
      return;
    }
    int capacity = growth_capacity(n);
    T* fresh = allocate(capacity);
    if (first) {
      std::memcpy(static_cast<void*>(fresh), static_cast<const void*>(first), (static_cast<size_t>(count) + 1) * sizeof(T));
      last = fresh + count;
    } else {
      last = fresh;
      zero(last);
    }
    block_end = fresh + capacity + 1;
    std::free(block);
    block = first = fresh;
  }

  virtual T* get_end() const { return last; }
  virtual T* get_data() const { return first; }
  virtual bool is_empty() const { return !block || first == last; }

  virtual stack_ob& swap(stack_ob& other) {
    std::swap(block, other.block);
    std::swap(block_end, other.block_end);
    std::swap(first, other.first);
    std::swap(last, other.last);
    return *this;
  }

  virtual ~stack_ob() {
    if (block) {
      erase(first, last);
      std::free(block);
    }
  }

  // Inserts copies of `count` elements at `src` before `pos` (null: the
  // front) and returns the position after them. A source inside the array's
  // own block is copied as it stood before the call.
  T* insert(const T* src, T* pos, int count) {
    if (!pos) pos = first;
    if (before(pos, first) || before(last, pos)) return pos;
    if (count <= 0 || !src) return pos;
    int n = get_count();
    if (count > max_elements() - n) stack_ob_allocation_failed(stack_ob_origin<T, a, b>::allocation);
    int at_index = first ? static_cast<int>(pos - first) : 0;
    bool src_in_block = block && !before(src, block) && before(src, block_end);
    T* copy = nullptr;
    if (src_in_block) {
      copy = static_cast<T*>(std::malloc(static_cast<size_t>(count) * sizeof(T)));
      if (!copy) stack_ob_allocation_failed(stack_ob_origin<T, a, b>::allocation);
      std::memcpy(static_cast<void*>(copy), static_cast<const void*>(src), static_cast<size_t>(count) * sizeof(T));
      src = copy;
    }
    try {
      get_size(n + count, true);
    } catch (...) {
      std::free(copy);
      throw;
    }
    pos = first + at_index;
    std::memmove(static_cast<void*>(pos + count), static_cast<const void*>(pos),
                 (static_cast<size_t>(n - at_index) + 1) * sizeof(T));
    if constexpr (a == 1) {
      for (int i = 0; i < count; ++i) {
        construct(pos + i);
        pos[i].assign(src[i]);
      }
    } else {
      std::memcpy(static_cast<void*>(pos), static_cast<const void*>(src), static_cast<size_t>(count) * sizeof(T));
    }
    std::free(copy);
    last += count;
    zero(last);
    return pos + count;
  }

  // The element at `index`. Index -1 appends a new element and -2 inserts one
  // at the front (both start empty / zero); any other index outside the
  // array gives `first`.
  T* at(int index) {
    int n = get_count();
    if (index >= 0 && index < n) return first + index;
    if (index == -1 || index == -2) {
      get_size(n + 1, true);
      T* slot = index == -1 ? last : first;
      std::memmove(static_cast<void*>(slot + 1), static_cast<const void*>(slot),
                   (static_cast<size_t>(last - slot) + 1) * sizeof(T));
      zero(slot);
      if constexpr (a == 1) construct(slot);
      ++last;
      zero(last);
      return slot;
    }
    return first;
  }

  // Takes n elements that a caller wrote directly at get_data() (after
  // get_size made room) into the array, if they fit in the block.
  stack_ob& take_written(int n) {
    if (!block || n < 0 || n > capacity()) return *this;
    if (first == last && block_end - first >= n + 1)
      commit_end(n);  // the elements already stand where they belong
    else
      append_n(first, n);
    return *this;
  }

  // Room for n more elements at the end: returns where to write them. The
  // writer then calls commit_end with the number written. This lets bulk
  // producers (decoders, conversions) fill the array without a copy.
  T* reserve_end(int n) {
    // Most calls find the room there already: no call of get_size.
    if (n >= 0 && block && block_end - last > n) return last;
    int count = get_count();
    if (n < 0 || n > max_elements() - count)
      stack_ob_allocation_failed(stack_ob_origin<T, a, b>::allocation);
    get_size(count + n, true);
    return last;
  }
  void commit_end(int n) {
    last += n;
    zero(last);
  }

  // Number of elements the block holds besides the terminating one.
  int capacity() const { return block ? static_cast<int>(block_end - block) - 1 : 0; }
  // Number of elements that fit after the last one without growing.
  int room_at_end() const { return block ? static_cast<int>(block_end - last) - 1 : 0; }

  // The capacity the growth rule gives for a request of n elements.
  static int growth_capacity(int n) {
    double c;
    if (n <= 16)
      return 16;
    else if (n <= 32)
      c = 2.0 * n;
    else if (n <= 64)
      c = n * 1.5;
    else if (n <= 256)
      c = n * 1.2;
    else
      c = n * 1.1;
    return c > max_elements() ? max_elements() : static_cast<int>(c);
  }

 protected:
  T* block;
  T* block_end;
  T* first;
  T* last;

 private:
  static constexpr int max_elements() {
    constexpr std::size_t by_bytes = static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(T) - 2;
    return by_bytes < 0x7FFFFFFEu ? static_cast<int>(by_bytes) : 0x7FFFFFFE;
  }
  static bool before(const T* x, const T* y) {
    return reinterpret_cast<std::uintptr_t>(x) < reinterpret_cast<std::uintptr_t>(y);
  }
  static void zero(T* p) { std::memset(static_cast<void*>(p), 0, sizeof(T)); }
  static void construct(T* p) { new (static_cast<void*>(p)) T(); }
  static void destroy(T* p) { p->~T(); }
  static void swap_bytes(T* x, T* y) {
    unsigned char tmp[sizeof(T)];
    std::memcpy(tmp, static_cast<void*>(x), sizeof(T));
    std::memcpy(static_cast<void*>(x), static_cast<void*>(y), sizeof(T));
    std::memcpy(static_cast<void*>(y), tmp, sizeof(T));
  }
  static T* allocate(int capacity) {
    void* p = std::malloc((static_cast<std::size_t>(capacity) + 1) * sizeof(T));
    if (!p) stack_ob_allocation_failed(stack_ob_origin<T, a, b>::allocation);
    return static_cast<T*>(p);
  }
};

#endif  // TARVIN_STACK_OB_H
