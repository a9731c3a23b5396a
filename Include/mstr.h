// mstr: the UTF-16 string of the library and the program.
//
// A stack_ob of code units that is always zero-terminated once it has storage,
// so its data is a wide text that the system functions take directly. Texts
// are compared with StrCmpW (case-sensitive, the system's linguistic order),
// and 8-bit text is converted through a code page, in this program always the
// OEM code page. Operations that change the string return it, so calls chain.
#ifndef TARVIN_MSTR_H
#define TARVIN_MSTR_H

#include "stack_ob.h"
#include "win32.h"

class mstr;
typedef stack_ob<mstr, 1, 0> mstr_list;

class mstr : public stack_ob<unsigned short, 0, 0> {
 public:
  typedef stack_ob<unsigned short, 0, 0> base;
  using base::append;
  using base::insert;

  mstr() = default;
  explicit mstr(const unsigned short* text) { append(text); }
  mstr(const char16_t* text) { append(text); }  // NOLINT: literals convert implicitly
  mstr(const mstr& other) : base() { assign(other); }
  mstr(mstr&& other) noexcept : base() { swap(other); }
  mstr& operator=(const mstr& other) { return assign(other); }
  mstr& operator=(mstr&& other) noexcept {
    if (this != &other) {
      clear();
      swap(other);
    }
    return *this;
  }
  ~mstr() override = default;

  mstr& clear() override {
    base::clear();
    return *this;
  }

  // Appends a zero-terminated text (its length by lstrlenW); null appends
  // nothing.
  virtual mstr& append(const unsigned short* text);
  mstr& append(const char16_t* text) { return append(reinterpret_cast<const unsigned short*>(text)); }
  virtual mstr& assign(const mstr& other);
  mstr& assign(const unsigned short* text);
  mstr& assign(const char16_t* text) { return assign(reinterpret_cast<const unsigned short*>(text)); }

  // The value's decimal digits, the value taken as unsigned 32-bit.
  mstr& appendNumber(int value);
  mstr& setNumber(int value);
  // Inserts the pad unit at the front until the length reaches the width.
  mstr& padLeft(int width, const unsigned short* pad);
  mstr& padLeft(int width, const char16_t* pad) {
    return padLeft(width, reinterpret_cast<const unsigned short*>(pad));
  }
  // Appends `count` bytes converted through the code page; a byte 0 inside
  // the count is converted like any other.
  mstr& appendMultiByte(const char* bytes, int count, unsigned codePage);
  // Converts the whole string into `buffer` (one byte per unit) and stores a
  // 0 byte after it; a buffer smaller than the length receives only the 0.
  // Returns the buffer.
  char* toMultiByte(char* buffer, int size, unsigned codePage) const;

  // Position of the first occurrence of the unit, or null.
  unsigned short* findChar(unsigned short unit) const;

  // Appends the tokens of the string to `list`. `delimiters` empty means "=",
  // `quotes` null means the double quote, `spaces` null means the space.
  void split(mstr_list& list, const mstr& delimiters, const unsigned short* quotes = nullptr,
             const unsigned short* spaces = nullptr) const;
  void split(mstr_list& list, const unsigned short* delimiters,
             const unsigned short* quotes = nullptr, const unsigned short* spaces = nullptr) const;
  void split(mstr_list& list, const char16_t* delimiters, const char16_t* quotes = nullptr,
             const char16_t* spaces = nullptr) const {
    split(list, reinterpret_cast<const unsigned short*>(delimiters),
          reinterpret_cast<const unsigned short*>(quotes),
          reinterpret_cast<const unsigned short*>(spaces));
  }

  // Removes trailing units that are in the set (an empty set means a space),
  // but never the first unit.
  mstr& trimRight(const unsigned short* set);
  mstr& trimRight(const char16_t* set) { return trimRight(reinterpret_cast<const unsigned short*>(set)); }
  mstr& trimRight(const mstr& set) { return trimRight(set.c_str()); }
  // trimRight, then removes leading units that are in the set.
  mstr& trim(const unsigned short* set);
  mstr& trim(const char16_t* set) { return trim(reinterpret_cast<const unsigned short*>(set)); }
  mstr& trim(const mstr& set) { return trim(set.c_str()); }

  // The leading decimal number (StrToIntW), 0 when there is none.
  int toInt() const;

  bool operator==(const mstr& other) const { return compare(other.c_str()) == 0; }
  bool operator!=(const mstr& other) const { return compare(other.c_str()) != 0; }
  bool operator!=(const char16_t* text) const {
    return compare(reinterpret_cast<const unsigned short*>(text)) != 0;
  }
  bool operator<(const mstr& other) const { return compare(other.c_str()) == -1; }
  bool operator>(const mstr& other) const { return compare(other.c_str()) == 1; }
  // StrCmpW of the two texts: -1, 0 or 1.
  int compare(const unsigned short* text) const;

  // Console output: the string, then the tail (if any), converted to the
  // output encoding. The standard streams go through the program's writer
  // (mOutput), which gathers standard output; any other handle gets one
  // WriteFile each. A null handle means standard output.
  const mstr& write(const unsigned short* tail, HANDLE handle) const;
  const mstr& write(const char16_t* tail, HANDLE handle) const {
    return write(reinterpret_cast<const unsigned short*>(tail), handle);
  }
  const mstr& print(const unsigned short* tail = nullptr, DWORD stdHandle = STD_OUTPUT_HANDLE) const;
  const mstr& print(const char16_t* tail, DWORD stdHandle = STD_OUTPUT_HANDLE) const {
    return print(reinterpret_cast<const unsigned short*>(tail), stdHandle);
  }
  const mstr& printError(const unsigned short* tail = nullptr) const;
  const mstr& printError(const char16_t* tail) const {
    return printError(reinterpret_cast<const unsigned short*>(tail));
  }
  // Whether standard output has taken everything written to it so far, and
  // the system error of the write that failed. Console output never stops
  // the caller; a caller that must not lose output asks here.
  static bool lastWriteSucceeded();
  static DWORD lastWriteError();

  // The text, never null (the empty text when there is no storage).
  const unsigned short* c_str() const {
    static const unsigned short empty = 0;
    return first ? first : &empty;
  }
  LPCWSTR wide() const { return reinterpret_cast<LPCWSTR>(c_str()); }
  int length() const { return get_count(); }
};


#endif  // TARVIN_MSTR_H
