// Prints the system's text for error codes, as FormatMessageW gives it to the
// program (FORMAT_MESSAGE_FROM_SYSTEM, the default language), one line per
// code: the code, a space and the text in UTF-8, with "\r", "\n" and "\" shown
// escaped. A code without a text shows "<none>".
//
//   system_texts --all       every code from 0 to 65535 that has a text
//   system_texts CODE...     the codes given
//
// Built on our POSIX layer, --all lists the codes the layer gives; built for
// Windows and run under Wine with the Russian locale, it measures Wine's texts
// for those codes (scripts/test-windows.sh compares them with
// tests/crosscheck/system_texts.wine, and writes that file with
// TARVIN_WRITE_TEXTS=1).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "win32.h"

namespace {

// UTF-8 of UTF-16 text; a lone surrogate becomes U+FFFD.
std::string utf8(const WCHAR* text, DWORD length) {
  std::string out;
  for (DWORD i = 0; i < length; ++i) {
    unsigned long c = static_cast<unsigned short>(text[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned short>(text[++i]) - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The text of a code, escaped; false when the system has none.
bool systemText(DWORD code, std::string* shown) {
  LPWSTR text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return false;
  shown->clear();
  for (char c : utf8(text, length)) {
    if (c == '\r') {
      *shown += "\\r";
    } else if (c == '\n') {
      *shown += "\\n";
    } else if (c == '\\') {
      *shown += "\\\\";
    } else {
      *shown += c;
    }
  }
  LocalFree(text);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool all = argc == 2 && std::string(argv[1]) == "--all";
  std::vector<DWORD> codes;
  for (int i = 1; i < argc && !all; ++i) {
    char* end = nullptr;
    const unsigned long long code = std::strtoull(argv[i], &end, 10);
    if (end == argv[i] || *end != '\0' || argv[i][0] == '-' || code > 0xFFFFFFFFull) {
      std::fprintf(stderr, "system_texts: not a code: %s\n", argv[i]);
      return 2;
    }
    codes.push_back(static_cast<DWORD>(code));
  }
  if (!all && codes.empty()) {
    std::fprintf(stderr, "usage: system_texts --all | CODE...\n");
    return 2;
  }
  std::printf("# FormatMessageW's text for each code, \"\\r\" and \"\\n\" escaped (tests/crosscheck/system_texts.cpp)\n");
  std::string shown;
  if (all) {
    for (DWORD code = 0; code < 0x10000; ++code) {
      if (systemText(code, &shown)) std::printf("%lu %s\n", static_cast<unsigned long>(code), shown.c_str());
    }
  }
  for (DWORD code : codes) {
    std::printf("%lu %s\n", static_cast<unsigned long>(code), systemText(code, &shown) ? shown.c_str() : "<none>");
  }
  return 0;
}
