// mEx: the one exception type of the library and the program.
//
// A plain record: where the error says it was raised and its code, both
// from its origin (errorOrigins.h), what kind of failure it is, the last
// system error when the thrower asked for it, a message built by appending
// texts, and an owned link to an earlier error. It is thrown by value
// (moved) and caught by reference; catch sites turn it into text with
// getText.
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
  mEx* previous;             // owned earlier error of the same chain, or null

  // No origin, no text: a record that texts are gathered in, or that stands
  // for an error with nothing to tell.
  mEx();
  explicit mEx(const errorOrigin& at);
  mEx(mEx&& other) noexcept;
  mEx(const mEx&) = delete;
  mEx& operator=(const mEx&) = delete;
  mEx& operator=(mEx&&) = delete;
  ~mEx();

  // Sets where the error is raised. If a location is already set, the whole
  // current record first moves into a new `previous` link, so that a caller
  // can wrap an error it caught in its own.
  mEx& setLocation(const errorOrigin& at);
  // Records GetLastError and appends the system's text for it.
  mEx& addSystemError();
  mEx& appendText(const unsigned short* text);
  mEx& appendText(const char16_t* text) {
    return appendText(reinterpret_cast<const unsigned short*>(text));
  }
  // Appends the value as unsigned decimal digits.
  mEx& appendNumber(int value);
  // Appends 8-bit text converted through the OEM code page.
  mEx& appendMultiByte(const char* text);
  const unsigned short* getMessage() const { return message; }
  // Appends the printable text of this error and its chain, oldest first, to
  // the target's message and returns the target.
  mEx& getText(mEx& target) const;
  bool outOfMemory() const { return kind == errorKind::outOfMemory; }

 private:
  void release();
  static unsigned short* widen(const char* text);
};

#endif  // TARVIN_MEX_H
