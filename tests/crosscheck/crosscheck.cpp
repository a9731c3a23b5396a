// Prints the answers of the system services that the program's output rests
// on, for fixed inputs: the order of StrCmpW, the OEM code page in both
// directions, and the wildcard matches of FindFirstFileW; with --random=N also
// StrCmpW of N random pairs of texts. Built against our POSIX layer and against
// the real Windows API, the two printouts are compared line by line
// (compare.sh).
//
// Every line but those of the sorted list is "section key = value", one fact
// each, so that a difference names exactly what differs. Output is UTF-8.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
// Cyrillic with ё and Ё, punctuation, spaces, hyphens and apostrophes; then
// control characters, dashes, the other letters of code pages 866 and 1251,
// Latin-1 letters and expansions, box drawing and the symbols of code page 866.
const char16_t* const kWords[] = {
    u"a",      u"A",      u"b",       u"B",         u"ab",     u"aB",      u"Ab",     u"abc",
    u"z",      u"Z",      u"0",       u"1",         u"9",      u"10",      u"2004",   u"2004 1",
    u"2004.1", u"2004_1", u"200405",  u"2004-2005", u" a",     u"a b",     u"a  b",   u"a.",
    u"a!",     u"a#",     u"a+",      u"a<",        u"a=",     u"a_",      u"a~",     u"a[",
    u"a-b",    u"ac",     u"coop",    u"co'op",     u"co-op",  u"-a",      u"'a",     u"а",
    u"А",      u"б",      u"Б",       u"е",         u"Е",      u"ё",       u"Ё",      u"еа",
    u"ёж",     u"Ёж",     u"ежик",    u"ёжик",      u"отчет",  u"отчёт",   u"Отчет",  u"отчет-1",
    u"я",      u"Я",      u"K1",      u"К1",        u"a1",     u"а1",
    u"a\u0001", u"a\u001F", u"a\u007F", u"qШХи  ",    u"qШХи\u0004\u0004", u"a\u2013b", u"a\u2014b",
    u"Є",      u"є",      u"Ї",       u"Ў",         u"ў",      u"І",       u"Ґ",      u"Ђ",
    u"ss",     u"\u00DF", u"st",      u"ae",        u"\u00E6", u"\u00C6",  u"\u00E9", u"E",
    u"N",      u"\u2116", u"O",       u"\u2500",    u"\u2502", u"\u25A0",  u"\u00B0", u"\u2219",
    u"\u00A0", u"a\u00ADb", u"\u00AB", u"\u2026",    u"\u201E", u"\u2019",  u"\u0131", u"\u0130",
};

// Words with units outside the repertoire of the random pairs (Greek, CJK, a
// combining accent, Armenian, Arabic digits), each compared with each of
// kOutsidePartners: our order places them by a rule of its own.
const char16_t* const kOutsideWords[] = {u"\u03B1", u"\u03A9", u"\u4E2D", u"\u0435\u0301", u"\u0561", u"\u0661"};
const char16_t* const kOutsidePartners[] = {u"a", u"z", u"0", u"\u0435", u"\u044F", u"\u25A0", u"-"};

// Names written to a scratch directory, and the patterns searched there.
const char16_t* const kNames[] = {
    u"A.IDX",  u"b.idx",  u"ab.idx",   u"c.Idx",    u"1.idx",       u"two.dots.idx", u"ж.IDX",
    u"Ё.idx",  u"x.idxx", u"idx",      u"noext",    u"readme.txt",  u"archive.idx.bak",
    u"Ђђ.IDX", u"ß.iDx",  u"Éé №.Idx", u"Її ў.idx", u"\u0456dx.i\u0434x", u"y.\u0456dx", u"z.id\u0445",
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

// A text in quotes, with the units that would be lost or misread in a line
// (controls, quotes, "=", the invisible spaces) written as \uXXXX.
std::string escaped(const std::u16string& text) {
  std::string out = "\"";
  for (char16_t c : text) {
    if (c < 0x20 || c == u'"' || c == u'\\' || c == u'=' || (c >= 0x7F && c <= 0xA0) || c == 0xAD)
      out += "\\u" + hex(c, 4);
    else
      out += utf8(std::u16string(1, c));
  }
  return out + "\"";
}

const WCHAR* wide(const std::u16string& text) { return reinterpret_cast<const WCHAR*>(text.c_str()); }

int compare(const std::u16string& a, const std::u16string& b) {
  int sign = StrCmpW(wide(a), wide(b));
  return sign < 0 ? -1 : sign > 0 ? 1 : 0;
}

void printOrder() {
  std::vector<std::u16string> words(std::begin(kWords), std::end(kWords));
  for (std::size_t i = 0; i < words.size(); ++i)
    for (std::size_t j = i + 1; j < words.size(); ++j)
      line("pair " + escaped(words[i]) + " " + escaped(words[j]) + " = " + std::to_string(compare(words[i], words[j])));
  // Insertion sort: it needs no strict weak order, so it ends whatever the
  // comparison answers, and equal answers give equal lists.
  for (std::size_t i = 1; i < words.size(); ++i)
    for (std::size_t j = i; j > 0 && compare(words[j - 1], words[j]) > 0; --j) std::swap(words[j - 1], words[j]);
  for (const std::u16string& w : words) line("order " + escaped(w));
  for (const char16_t* outside : kOutsideWords)
    for (const char16_t* partner : kOutsidePartners)
      line("outside " + inQuotes(outside) + " " + inQuotes(partner) + " = " + std::to_string(compare(outside, partner)));
}

// Units of the random pairs: every character of code page 866 (as the system
// converts it), U+0001-U+017F (ASCII, C1 controls, Latin-1, Latin Extended-A),
// Cyrillic U+0400-U+045F and Ґ ґ, and the punctuation of code page 1251.
std::vector<char16_t> randomRepertoire() {
  std::vector<char16_t> units;
  for (unsigned byte = 1; byte < 256; ++byte) {
    char in = static_cast<char>(byte);
    WCHAR unit = 0;
    if (MultiByteToWideChar(CP_OEMCP, 0, &in, 1, &unit, 1) == 1) units.push_back(static_cast<char16_t>(unit));
  }
  for (char16_t c = 0x0001; c < 0x0180; ++c) units.push_back(c);
  for (char16_t c = 0x0400; c < 0x0460; ++c) units.push_back(c);
  for (char16_t c : u"\u0490\u0491\u2013\u2014\u2018\u2019\u201A\u201C\u201D\u201E\u2020\u2021\u2022\u2026"
                    u"\u2030\u2039\u203A\u20AC\u2116\u2122") {
    if (c != 0) units.push_back(c);
  }
  std::sort(units.begin(), units.end());
  units.erase(std::unique(units.begin(), units.end()), units.end());
  return units;
}

// StrCmpW of `count` random pairs of texts of 0 to 8 units, the same pairs on
// every platform (mt19937 is defined to the bit). Every second pair is a near
// duplicate: the first text with one unit changed, inserted or removed.
void printRandomPairs(unsigned long count) {
  if (count == 0) return;
  const std::vector<char16_t> units = randomRepertoire();
  line("random repertoire = " + std::to_string(units.size()) + " units");
  std::mt19937 random(13);
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  for (unsigned long i = 0; i < count; ++i) {
    std::u16string a, b;
    for (std::size_t n = pick(9); n > 0; --n) a += units[pick(units.size())];
    if (i % 2 == 0) {
      for (std::size_t n = pick(9); n > 0; --n) b += units[pick(units.size())];
    } else {
      b = a;
      const std::size_t how = b.empty() ? 1 : pick(3);
      const std::size_t at = pick(b.size() + (how == 1 ? 1 : 0));
      if (how == 0) b[at] = units[pick(units.size())];
      if (how == 1) b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), units[pick(units.size())]);
      if (how == 2) b.erase(at, 1);
    }
    line("random " + std::to_string(i) + " " + escaped(a) + " " + escaped(b) + " = " + std::to_string(compare(a, b)));
  }
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

// crosscheck [--random=N] [SCRATCH-DIRECTORY]: the directory (UTF-8) must not
// exist yet; without it one is made in the temporary directory.
int main(int argc, char** argv) {
  unsigned long randomPairs = 0;
  if (argc > 1 && std::string_view(argv[1]).substr(0, 9) == "--random=") {
    randomPairs = std::strtoul(argv[1] + 9, nullptr, 10);
    --argc;
    ++argv;
  }
  printOrder();
  printCodePage();
  printRandomPairs(randomPairs);
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
