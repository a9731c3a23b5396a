// MultiByteToWideChar and WideCharToMultiByte for the OEM code page, which
// is code page 866, and for UTF-8; and whether the locale's texts are UTF-8.
// One call may convert a whole report of megabytes, so both directions of
// the OEM code page are a plain loop over a table built at compile time.
#include <langinfo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <clocale>
#include <limits>
#include <string>

#include "posix/internal.h"

using platform::posix::encodeUtf8;

namespace {

using platform::posix::oemToUnicode;

// Byte of every UTF-16 unit; 0 marks a unit outside CP866 (byte 0 itself
// comes only from U+0000, which the loop handles first).
constexpr std::array<unsigned char, 0x10000> buildUnicodeToOem() {
  std::array<unsigned char, 0x10000> table{};
  for (unsigned byte = 1; byte < 0x100; ++byte) {
    table[oemToUnicode(static_cast<unsigned char>(byte))] = static_cast<unsigned char>(byte);
  }
  return table;
}
constexpr std::array<unsigned char, 0x10000> unicodeToOem = buildUnicodeToOem();

static_assert(unicodeToOem[0x0410] == 0x80 && unicodeToOem[0x2116] == 0xFC &&
              unicodeToOem[0x00A0] == 0xFF && unicodeToOem[u'A'] == 'A');

bool isOemCodePage(UINT codePage) { return codePage == CP_OEMCP || codePage == CP_ACP; }

// Checks a count the way Windows does: 0 is an error, -1 means "up to and
// including the terminator", any other negative is an error. Sets *length to
// the number of units to convert; returns false after setting the error.
template <typename Unit>
bool inputLength(const Unit* input, int count, std::size_t* length) {
  if (input == nullptr || count == 0 || count < -1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (count > 0) {
    *length = static_cast<std::size_t>(count);
    return true;
  }
  std::size_t n = 0;
  while (input[n] != 0) ++n;
  if (n >= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  *length = n + 1;
  return true;
}

// Output size rules shared by both directions: size 0 asks for the count; a
// buffer smaller than the result is an error.
template <typename Unit>
bool outputFits(const Unit* output, int size, std::size_t needed) {
  if (size < 0 || (size > 0 && output == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (size > 0 && static_cast<std::size_t>(size) < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  return true;
}

// UTF-8 as names and arguments are taken: a byte that is not part of valid
// UTF-8 is kept as the lone surrogate U+DC80 + byte.
int fromUtf8(LPCSTR text, int bytes, LPWSTR wide, int wideSize) {
  std::size_t length = 0;
  if (!inputLength(text, bytes, &length)) return 0;
  const std::u16string units = platform::posix::fromNative(text, length);
  if (!outputFits(wide, wideSize, units.size())) return 0;
  if (wideSize > 0) std::copy(units.begin(), units.end(), wide);
  return static_cast<int>(units.size());
}

}  // namespace

bool platform::localeIsUtf8() {
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  const std::string kept = current ? current : "C";
  std::string set;
  if (std::setlocale(LC_CTYPE, "")) set = nl_langinfo(CODESET);
  std::setlocale(LC_CTYPE, kept.c_str());
  // "UTF-8", also spelled "utf8".
  set.erase(std::remove(set.begin(), set.end(), '-'), set.end());
  for (char& c : set) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return set == "utf8";
}

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, LPCSTR text, int bytes, LPWSTR wide,
                        int wideSize) {
  if (codePage == CP_UTF8) return fromUtf8(text, bytes, wide, wideSize);
  std::size_t length = 0;
  if (!isOemCodePage(codePage)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!inputLength(text, bytes, &length) || !outputFits(wide, wideSize, length)) return 0;
  if (wideSize > 0) {
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    for (std::size_t i = 0; i < length; ++i) wide[i] = oemToUnicode(in[i]);
  }
  return static_cast<int>(length);
}

namespace {

// UTF-16 to UTF-8 as Windows converts it: a surrogate pair is one character
// of four bytes, a lone surrogate becomes U+FFFD.
int toUtf8(LPCWSTR wide, int units, LPSTR text, int textSize) {
  std::size_t length = 0;
  if (!inputLength(wide, units, &length)) return 0;
  // Calls put(bytes, n) for the UTF-8 of each character.
  const auto each = [wide, length](auto&& put) {
    char bytes[4];
    for (std::size_t i = 0; i < length; ++i) {
      char32_t c = wide[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF)
        c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00u);
      else if (c >= 0xD800 && c <= 0xDFFF)
        c = 0xFFFD;
      put(bytes, encodeUtf8(c, bytes));
    }
  };
  std::size_t needed = 0;
  each([&needed](const char*, std::size_t n) { needed += n; });
  if (!outputFits(text, textSize, needed)) return 0;
  if (textSize > 0) {
    std::size_t at = 0;
    each([text, &at](const char* bytes, std::size_t n) {
      for (std::size_t k = 0; k < n; ++k) text[at++] = bytes[k];
    });
  }
  return static_cast<int>(needed);
}

}  // namespace

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, LPCWSTR wide, int units, LPSTR text,
                        int textSize, LPCSTR defaultChar, LPBOOL usedDefault) {
  std::size_t length = 0;
  if (codePage == CP_UTF8) {
    if (defaultChar != nullptr || usedDefault != nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);  // as Windows: no default character for UTF-8
      return 0;
    }
    return toUtf8(wide, units, text, textSize);
  }
  if (!isOemCodePage(codePage)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!inputLength(wide, units, &length) || !outputFits(text, textSize, length)) return 0;
  // Every unit gives one byte, so the count is known without converting.
  if (textSize == 0 && usedDefault == nullptr) return static_cast<int>(length);
  const char replacement = defaultChar != nullptr ? defaultChar[0] : '?';
  bool replaced = false;
  for (std::size_t i = 0; i < length; ++i) {
    const char16_t unit = wide[i];
    const unsigned char byte = unicodeToOem[unit];
    char out = static_cast<char>(byte);
    if (byte == 0 && unit != 0) {
      out = replacement;
      replaced = true;
    }
    if (textSize > 0) text[i] = out;
  }
  if (usedDefault != nullptr) *usedDefault = replaced ? TRUE : FALSE;
  return static_cast<int>(length);
}
