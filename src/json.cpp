#include "json.h"

#include <cstring>
#include <vector>

#include "oemTable.h"
#include "win32.h"

namespace json {
namespace {

bool isSurrogate(unsigned u) { return u >= 0xD800 && u <= 0xDFFF; }
bool isHigh(unsigned u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(unsigned u) { return u >= 0xDC00 && u <= 0xDFFF; }

// A unit that is written as an escape: the quote, the backslash, a control
// character.
bool isEscaped(unsigned u) { return u < 0x20 || u == u'"' || u == u'\\'; }

std::size_t putEscape(unsigned unit, unsigned char* out) {
  // The short forms JSON writers use, then \u and four hexadecimal digits.
  static const char shortForms[] = "\"\"\\\\\bb\ff\nn\rr\tt";
  for (const char* f = shortForms; *f; f += 2)
    if (unit == static_cast<unsigned char>(f[0])) {
      out[0] = '\\';
      out[1] = static_cast<unsigned char>(f[1]);
      return 2;
    }
  static const char hex[] = "0123456789abcdef";
  out[0] = '\\';
  out[1] = 'u';
  for (int i = 0; i < 4; ++i) out[2 + i] = static_cast<unsigned char>(hex[unit >> (12 - 4 * i) & 0xF]);
  return 6;
}

// The JSON form of each OEM byte, from the character the code page gives it.
struct oemForms {
  unsigned char length[256];
  unsigned char bytes[256][kMostPerUnit];

  oemForms() : length(), bytes() {
    const oemTable& oem = oemTable::get();
    for (unsigned b = 0; b < 256; ++b) {
      const unsigned short unit = oem.single[b] ? oem.wide[b] : u'?';
      length[b] = static_cast<unsigned char>(fromUnits(&unit, 1, bytes[b]));
    }
  }
};

}  // namespace

std::size_t fromUnits(const unsigned short* units, std::size_t count, unsigned char* out) {
  unsigned char* o = out;
  std::size_t i = 0;
  while (i < count) {
    // A run of units that UTF-8 carries as they are; a surrogate pair is one
    // character of the run.
    std::size_t end = i;
    while (end < count) {
      const unsigned u = units[end];
      if (isEscaped(u)) break;
      if (isSurrogate(u)) {
        if (!isHigh(u) || end + 1 == count || !isLow(units[end + 1])) break;
        ++end;
      }
      ++end;
    }
    if (end > i) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(units + i), static_cast<int>(end - i),
                                        reinterpret_cast<LPSTR>(o), static_cast<int>(3 * (end - i)), nullptr, nullptr);
      o += n > 0 ? n : 0;
      i = end;
    }
    if (i < count) o += putEscape(units[i++], o);
  }
  return static_cast<std::size_t>(o - out);
}

std::size_t fromOem(const unsigned char* in, std::size_t count, unsigned char* out) {
  static const oemForms forms;
  unsigned char* o = out;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned b = in[i];
    std::memcpy(o, forms.bytes[b], 4);  // the room holds 6 a byte: the common lengths in one move
    if (forms.length[b] > 4) std::memcpy(o + 4, forms.bytes[b] + 4, 2);
    o += forms.length[b];
  }
  return static_cast<std::size_t>(o - out);
}

void quote(std::string& into, const unsigned short* units, int count) {
  into.resize(kMostPerUnit * static_cast<std::size_t>(count) + 2);
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&into[0]);
  bytes[0] = '"';
  std::size_t n = 1 + fromUnits(units, static_cast<std::size_t>(count), bytes + 1);
  bytes[n++] = '"';
  into.resize(n);
}

std::string quoted(const unsigned short* units, int count) {
  std::string text;
  quote(text, units, count);
  return text;
}

}  // namespace json
