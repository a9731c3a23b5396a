// Decimal digits of an unsigned number, as every text of the program writes
// them: no sign, no leading zeros, no grouping.
#ifndef TARVIN_DECIMAL_H
#define TARVIN_DECIMAL_H

#include <cstdint>

// The most digits a number has (18446744073709551615).
constexpr unsigned kMostDigits = 20;

// Writes the digits of `value` to `out` (room for kMostDigits units of any
// character type) and returns how many. Two digits at a time, from a table
// of the pairs: numbering every report writes one.
template <class Unit>
unsigned putDecimal(std::uint64_t value, Unit* out) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  Unit digits[kMostDigits];
  unsigned at = kMostDigits;
  while (value >= 100) {
    const unsigned pair = static_cast<unsigned>(value % 100);
    value /= 100;
    digits[--at] = static_cast<Unit>(kPairs[2 * pair + 1]);
    digits[--at] = static_cast<Unit>(kPairs[2 * pair]);
  }
  if (value >= 10) {
    digits[--at] = static_cast<Unit>(kPairs[2 * value + 1]);
    digits[--at] = static_cast<Unit>(kPairs[2 * value]);
  } else {
    digits[--at] = static_cast<Unit>('0' + value);
  }
  const unsigned n = kMostDigits - at;
  for (unsigned i = 0; i < n; ++i) out[i] = digits[at + i];
  return n;
}

#endif  // TARVIN_DECIMAL_H
