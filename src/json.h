// The inside of JSON strings: text as UTF-8 with the double quote, the
// backslash and the control characters escaped (as JSON writers do: \n, \t,
// \r, \b, \f, and \u with four digits for the others), and a lone
// surrogate, which UTF-8 cannot carry, as its \u escape.
#ifndef TARVIN_JSON_H
#define TARVIN_JSON_H

#include <cstddef>
#include <string>

namespace json {

// The most bytes one UTF-16 unit or one OEM byte gives.
constexpr std::size_t kMostPerUnit = 6;

// UTF-16 text; room for kMostPerUnit bytes a unit. Returns the bytes written.
std::size_t fromUnits(const unsigned short* units, std::size_t count, unsigned char* out);
// OEM bytes, each as the character the OEM code page gives it (a byte
// without one as "?"); room for kMostPerUnit bytes a byte.
std::size_t fromOem(const unsigned char* bytes, std::size_t count, unsigned char* out);
// UTF-16 text as a whole JSON string, between its double quotes; quote()
// writes it into `into`, whose memory it reuses.
std::string quoted(const unsigned short* units, int count);
void quote(std::string& into, const unsigned short* units, int count);

}  // namespace json

#endif  // TARVIN_JSON_H
