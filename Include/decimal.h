// Decimal digits of an unsigned number, as every text of the program writes
// them: no sign, no leading zeros, no grouping.
#ifndef TARVIN_DECIMAL_H
#define TARVIN_DECIMAL_H

#include <cstdint>

// The most digits a number has (18446744073709551615).
constexpr unsigned kMostDigits = 20;

// Writes the digits of `value` to `out` (room for kMostDigits units of any
// character type) and returns how many.
template <class Unit>
unsigned putDecimal(std::uint64_t value, Unit* out) {
  Unit digits[kMostDigits];
  unsigned n = 0;
  do {
    digits[n++] = static_cast<Unit>('0' + value % 10);
    value /= 10;
  } while (value);
  for (unsigned i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  return n;
}

#endif  // TARVIN_DECIMAL_H
