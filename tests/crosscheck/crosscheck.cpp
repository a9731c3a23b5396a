// Prints the answers of the system services that the program's output rests
// on, for fixed inputs: the order of StrCmpW, the OEM code page in both
// directions, and the wildcard matches of FindFirstFileW. Built against our
// POSIX layer and against the real Windows API, the two printouts are compared
// line by line (compare.sh).
//
// Every line but those of the sorted list is "section key = value", one fact
// each, so that a difference names exactly what differs. Output is UTF-8.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "win32.h"

namespace {

namespace fs = std::filesystem;

// Words of archive keys and directory names: Latin in both cases, digits,
// Cyrillic with ё and Ё, punctuation, spaces, hyphens and apostrophes.
const char16_t* const kWords[] = {
    u"a",      u"A",      u"b",       u"B",         u"ab",     u"aB",      u"Ab",     u"abc",
    u"z",      u"Z",      u"0",       u"1",         u"9",      u"10",      u"2004",   u"2004 1",
    u"2004.1", u"2004_1", u"200405",  u"2004-2005", u" a",     u"a b",     u"a  b",   u"a.",
    u"a!",     u"a#",     u"a+",      u"a<",        u"a=",     u"a_",      u"a~",     u"a[",
    u"a-b",    u"ac",     u"coop",    u"co'op",     u"co-op",  u"-a",      u"'a",     u"а",
    u"А",      u"б",      u"Б",       u"е",         u"Е",      u"ё",       u"Ё",      u"еа",
    u"ёж",     u"Ёж",     u"ежик",    u"ёжик",      u"отчет",  u"отчёт",   u"Отчет",  u"отчет-1",
    u"я",      u"Я",      u"K1",      u"К1",        u"a1",     u"а1",
};

// Names written to a scratch directory, and the patterns searched there.
const char16_t* const kNames[] = {
    u"A.IDX",  u"b.idx", u"ab.idx",   u"c.Idx",   u"1.idx",      u"two.dots.idx", u"ж.IDX",
    u"Ё.idx", u"x.idxx", u"idx",      u"noext",   u"readme.txt", u"archive.idx.bak",
};
const char16_t* const kPatterns[] = {u"*.idx", u"*.*", u"?.idx", u"A*", u"*", u"*."};

// Units outside code page 866, converted to it.
const char16_t kOutside[] = {0x00E9, 0x00AB, 0x2014, 0x20AC, 0x0100, 0x4E2D};

// Every text here is in the Basic Multilingual Plane: one to three bytes a unit.
std::string utf8(std::u16string_view text) {
  std::string out;
  for (unsigned c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string inQuotes(std::u16string_view text) { return "\"" + utf8(text) + "\""; }

std::string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

void line(const std::string& text) { std::printf("%s\n", text.c_str()); }

const WCHAR* wide(const std::u16string& text) { return reinterpret_cast<const WCHAR*>(text.c_str()); }

int compare(const std::u16string& a, const std::u16string& b) {
  int sign = StrCmpW(wide(a), wide(b));
  return sign < 0 ? -1 : sign > 0 ? 1 : 0;
}

void printOrder() {
  std::vector<std::u16string> words(std::begin(kWords), std::end(kWords));
  for (std::size_t i = 0; i < words.size(); ++i)
    for (std::size_t j = i + 1; j < words.size(); ++j)
      line("pair " + inQuotes(words[i]) + " " + inQuotes(words[j]) + " = " + std::to_string(compare(words[i], words[j])));
  // Insertion sort: it needs no strict weak order, so it ends whatever the
  // comparison answers, and equal answers give equal lists.
  for (std::size_t i = 1; i < words.size(); ++i)
    for (std::size_t j = i; j > 0 && compare(words[j - 1], words[j]) > 0; --j) std::swap(words[j - 1], words[j]);
  for (const std::u16string& w : words) line("order " + inQuotes(w));
}

void printCodePage() {
  for (unsigned byte = 0; byte < 256; ++byte) {
    char in = static_cast<char>(byte);
    WCHAR unit = 0;
    int units = MultiByteToWideChar(CP_OEMCP, 0, &in, 1, &unit, 1);
    char out = 0;
    int bytes = units == 1 ? WideCharToMultiByte(CP_OEMCP, 0, &unit, 1, &out, 1, nullptr, nullptr) : 0;
    line("oem " + hex(byte, 2) + " = U+" + hex(static_cast<unsigned>(unit), 4) + " " + std::to_string(units) +
         " back " + hex(static_cast<unsigned char>(out), 2) + " " + std::to_string(bytes));
  }
  for (char16_t c : kOutside) {
    WCHAR unit = static_cast<WCHAR>(c);
    char out = 0;
    int bytes = WideCharToMultiByte(CP_OEMCP, 0, &unit, 1, &out, 1, nullptr, nullptr);
    line("narrow U+" + hex(c, 4) + " = " + hex(static_cast<unsigned char>(out), 2) + " " + std::to_string(bytes));
  }
}

// One line for every pattern and name: whether the search delivers it.
void printMatches(const fs::path& directory) {
  std::vector<std::u16string> names = {u".", u".."};
  for (const char16_t* name : kNames) {
    names.emplace_back(name);
    std::ofstream(directory / fs::path(names.back()));
  }
  for (const char16_t* pattern : kPatterns) {
    std::u16string search = (directory / fs::path(std::u16string(pattern))).u16string();
    std::vector<std::u16string> found;
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileW(wide(search), &data);
    if (handle != INVALID_HANDLE_VALUE) {
      do found.emplace_back(reinterpret_cast<const char16_t*>(data.cFileName));
      while (FindNextFileW(handle, &data));
      FindClose(handle);
    }
    std::sort(found.begin(), found.end());
    for (const std::u16string& name : names) {
      bool delivered = std::binary_search(found.begin(), found.end(), name);
      line("find " + inQuotes(pattern) + " " + inQuotes(name) + " = " + (delivered ? "yes" : "no"));
    }
    for (const std::u16string& name : found)
      if (std::find(names.begin(), names.end(), name) == names.end())
        line("find " + inQuotes(pattern) + " " + inQuotes(name) + " = yes");
  }
}

}  // namespace

// crosscheck [SCRATCH-DIRECTORY]: the directory (UTF-8) must not exist yet;
// without it one is made in the temporary directory.
int main(int argc, char** argv) {
  printOrder();
  printCodePage();
  std::error_code error;
  fs::path directory = argc > 1 ? fs::u8path(argv[1])
                                : fs::temp_directory_path(error) /
                                      ("tarvin-crosscheck-" + std::to_string(std::random_device{}()));
  if (!fs::create_directories(directory, error)) {
    std::fprintf(stderr, "crosscheck: cannot create %s\n", directory.u8string().c_str());
    return 1;
  }
  printMatches(directory);
  fs::remove_all(directory, error);
  return 0;
}
