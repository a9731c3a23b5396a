// Names and arguments travel between the system (UTF-8 bytes) and the program
// (UTF-16) without loss. A name on disk may be any byte string, so a byte that
// is not part of valid UTF-8 is carried as the lone surrogate U+DC80 + byte and
// restored on the way back.
#include "posix/internal.h"

namespace platform::posix {
namespace {

constexpr char16_t escapeBase = 0xDC00;

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at in[0..available), with its code point
// in *codePoint; 0 when the bytes there do not start a valid sequence.
// Overlong forms, encoded surrogates and values above U+10FFFF are invalid,
// so every code point has exactly one accepted encoding.
std::size_t decodeOne(const unsigned char* in, std::size_t available, char32_t* codePoint) {
  const unsigned char lead = in[0];
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  char32_t value = 0;
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (available < length || in[1] < low || in[1] > high) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!isContinuation(in[i])) return 0;
    value = (value << 6) | (in[i] & 0x3F);
  }
  *codePoint = value;
  return length;
}

void appendUtf8(std::string& out, char32_t c) {
  char bytes[4];
  out.append(bytes, encodeUtf8(c, bytes));
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::u16string fromNative(const char* bytes, std::size_t length) {
  std::u16string out;
  out.reserve(length);
  const auto* in = reinterpret_cast<const unsigned char*>(bytes);
  std::size_t i = 0;
  while (i < length) {
    char32_t c = 0;
    const std::size_t n = decodeOne(in + i, length - i, &c);
    if (n == 0) {
      out += static_cast<char16_t>(escapeBase + in[i]);  // in[i] >= 0x80 here
      ++i;
      continue;
    }
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
    i += n;
  }
  return out;
}

std::string toNative(const WCHAR* name) {
  std::string out;
  if (name == nullptr) return out;
  for (std::size_t i = 0; name[i] != 0; ++i) {
    const char16_t unit = name[i];
    if (isHighSurrogate(unit) && isLowSurrogate(name[i + 1])) {
      const char16_t low = name[++i];
      appendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (low - 0xDC00));
    } else if (unit >= escapeBase + 0x80 && unit <= escapeBase + 0xFF) {
      out += static_cast<char>(unit - escapeBase);
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      out += '?';
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace platform::posix
