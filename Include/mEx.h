// mEx: the one exception type of the library and the program.
//
// A plain record: where the error says it was raised and its code, both
// from its origin (errorOrigins.h), what kind of failure it is, the last
// system error when the thrower asked for it, and a message built by
// appending texts. It is thrown by value (moved) and caught by reference;
// catch sites turn it into text with getText.
#ifndef TARVIN_MEX_H
#define TARVIN_MEX_H

#include <cstdint>

#include "errorOrigins.h"

class mEx {
 public:
  std::uint32_t sysError;    // GetLastError recorded by addSystemError, else 0
  std::int32_t code;         // the origin's: 1 a failure, 2 a missing data file
  unsigned short* message;   // owned, zero-terminated UTF-16, or null
  unsigned short* file;      // owned module name of the origin, or null
  unsigned short* function;  // owned function name of the origin, or null
  std::int32_t line;         // the origin's line
  errorKind kind;            // the origin's kind

  // No origin, no text: a record that texts are gathered in, or that stands
  // for an error with nothing to tell.
  mEx();
  explicit mEx(const errorOrigin& at);
  mEx(mEx&& other) noexcept;
  mEx(const mEx&) = delete;
  mEx& operator=(const mEx&) = delete;
  mEx& operator=(mEx&&) = delete;
  ~mEx();

  // Records GetLastError and appends the system's text for it.
  mEx& addSystemError();
  mEx& appendText(const unsigned short* text);
  mEx& appendText(const char16_t* text) {
    return appendText(reinterpret_cast<const unsigned short*>(text));
  }
  // Appends the value as unsigned decimal digits.
  mEx& appendNumber(int value);
  const unsigned short* getMessage() const { return message; }
  // Appends the printable text of this error to the target's message and
  // returns the target.
  mEx& getText(mEx& target) const;
  bool outOfMemory() const { return kind == errorKind::outOfMemory; }

 private:
  static unsigned short* widen(const char* text);
};

#endif  // TARVIN_MEX_H
