// Captures what a piece of code writes to the standard output and error
// descriptors (1 and 2), byte for byte.
#ifndef TARVIN_TESTS_CAPTURE_H
#define TARVIN_TESTS_CAPTURE_H

#include <functional>
#include <string>

struct captured {
  std::string out;
  std::string err;
};

// With `oneStream`, what goes to standard error goes to standard output
// too, in the order it is written, and `err` stays empty.
captured capture(const std::function<void()>& code, bool oneStream = false);

// UTF-8 text as code page 866 bytes (the test sources are UTF-8; the
// program writes OEM bytes).
std::string oem(const std::string& utf8);
// The reverse, for the same characters: code page 866 bytes as UTF-8.
std::string utf8(const std::string& oem);

#endif  // TARVIN_TESTS_CAPTURE_H
