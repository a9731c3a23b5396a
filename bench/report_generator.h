// Generates report text as real reports look: upper-case Latin and Cyrillic
// words, numbers, columns aligned with runs of spaces, ruled lines of repeated
// characters and empty lines, in code page 866; or Russian text as the users'
// archives hold it, and its Latin twin. Shared by the corpus writer and the
// micro benchmarks, so both measure the same mix.
#ifndef TARVIN_BENCH_REPORT_GENERATOR_H
#define TARVIN_BENCH_REPORT_GENERATOR_H

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "report_encoder.h"

namespace bench {

// Code page 866 bytes of words that reports use.
inline const char* const kLatin[] = {"STATION", "NORTH", "SOUTH", "TEMP", "WIND", "PRESSURE", "REPORT", "CODE",
                              "STATUS", "OK", "CHECK", "LEVEL", "VALUE", "ZONE", "UNIT", "A", "B", "TOTAL"};
inline const char* const kCyrillic[] = {
    "\x91\x92\x80\x8d\x96\x88\x9f",          // СТАНЦИЯ
    "\x92\xa5\xac\xaf\xa5\xe0\xa0\xe2\xe3\xe0\xa0",  // Температура
    "\x82\xa5\xe2\xa5\xe0",                  // Ветер
    "\xa4\xa0\xa2\xab\xa5\xad\xa8\xa5",      // давление
    "\x8d\x8e\x90\x8c\x80",                  // НОРМА
    "\xaf\xe0\xa8\xa1\xae\xe0",              // прибор
    "\x8e\x92\x97\x85\x92",                  // ОТЧЕТ
    "\xe1\xe2\xe0\xae\xaa\xa0",              // строка
    "\x91\xa5\xa2\xa5\xe0",                  // Север
    "\xee\xa3",                              // юг
};

// Words of letters that have no code of their own, so that each letter is a
// repeat of one: lower-case Latin, and Cyrillic А-П and а-п.
inline const char* const kLowerLatin[] = {"station", "north", "wind", "value", "level", "check", "zone", "unit", "total"};
inline const char* const kRepeatCyrillic[] = {
    "\x81\x8b\x8e\x8a",          // БЛОК
    "\x82\x8e\x84\x80",          // ВОДА
    "\x87\x8e\x8d\x80",          // ЗОНА
    "\x8f\x8e\x8b\x85",          // ПОЛЕ
    "\xaa\xae\xa4",              // код
    "\xaf\xae\xa2\xae\xa4",      // повод
    "\xa1\xa0\xa7\xa0",          // база
    "\xa8\xad\xa5\xa9",          // иней
};

// Russian letters with their frequency in Russian text (per 10,000 letters),
// lower case; the upper-case letter of each is kUpper[i]. Of these, а-п
// (bytes 0xA0-0xAF) and every upper-case letter but Ё have no code of their
// own: seven letters in ten are repeats of one.
inline const unsigned char kLower[] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xF1, 0xA6, 0xA7, 0xA8, 0xA9,
                                       0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4,
                                       0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF};
inline const unsigned char kUpper[] = {0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0xF0, 0x86, 0x87, 0x88, 0x89,
                                       0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93, 0x94,
                                       0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F};
inline const unsigned short kFrequency[] = {801, 159, 454, 170, 298, 845, 4,   94,  165, 735, 121,
                                            349, 440, 321, 670, 1097, 281, 473, 547, 626, 262, 26,
                                            97,  48,  144, 73,  36,  4,   190, 174, 32,  64,  201};
// The one upper-case Latin letter each of them becomes in the Latin twin.
inline const char kLatinOf[] = "ABVGDEEJZIYKLMNOPRSTUFHCQWWXYXEUQ";
// Words of 1 to 12 letters, by their share in Russian text (per 100).
inline const unsigned char kWordLength[] = {6, 12, 10, 11, 12, 12, 11, 9, 7, 5, 3, 2};

// The mix of text: `standard` as above; `repeats` has about a quarter of its
// codes repeats of one character; `russian` is Russian sentences, numbers and
// columns in short reports (0.5-3 KB of 5 to 60 lines of 20 to 76
// characters); `latin` is the same text with every Cyrillic letter one
// upper-case Latin letter, so that none of its codes is a repeat.
enum class mix { standard, repeats, russian, latin };

inline bool russianText(mix m) { return m == mix::russian || m == mix::latin; }

class generator {
 public:
  explicit generator(std::uint32_t seed, mix m = mix::standard) : rng_(seed), mix_(m) {}

  std::uint32_t below(std::uint32_t n) { return rng_() % n; }

  std::string number() {
    std::string s = std::to_string(below(100000));
    if (below(3) == 0) s = "-" + s;
    if (below(2) == 0) s += "." + std::to_string(below(10));
    return s;
  }

  std::string word() {
    if (mix_ == mix::repeats && below(kRepeatShare) == 0) {
      if (below(2) == 0) return kLowerLatin[below(sizeof kLowerLatin / sizeof *kLowerLatin)];
      return kRepeatCyrillic[below(sizeof kRepeatCyrillic / sizeof *kRepeatCyrillic)];
    }
    if (below(3) == 0) return kCyrillic[below(sizeof kCyrillic / sizeof *kCyrillic)];
    return kLatin[below(sizeof kLatin / sizeof *kLatin)];
  }

  // One line of about `width` characters.
  std::string line(size_t width) {
    if (russianText(mix_)) return russianLine(width);
    switch (below(12)) {
      case 0:
        return "";
      case 1:
        return std::string(width, "-=*_"[below(4)]);
      default:
        break;
    }
    std::string s;
    while (s.size() < width) {
      if (!s.empty()) s.append(below(4) == 0 ? 2 + below(14) : 1, ' ');
      s += below(3) == 0 ? number() : word();
    }
    return s.substr(0, width);
  }

  // A report of about `bytes` characters of text; of the Russian mixes, of
  // 5 to 60 lines of 20 to 76 characters.
  std::vector<std::string> report(size_t bytes) {
    const bool russian = russianText(mix_);
    std::vector<std::string> lines;
    size_t size = 0;
    while (size < bytes || (russian && lines.size() < 5)) {
      if (russian && lines.size() == 60) break;
      lines.push_back(line(russian ? 20 + below(57) : 20 + below(60)));
      size += lines.back().size() + 1;
    }
    return lines;
  }

  // The length of a report's text in a corpus: log-uniform from 300 bytes to
  // 100 KB, or of the Russian mixes 0.5 to 3 KB.
  size_t reportBytes() {
    if (russianText(mix_)) return 500 + below(2501);
    return static_cast<size_t>(300 * std::exp(below(10000) / 10000.0 * std::log(333.0)));
  }

  archive::encoding encoding() {
    archive::encoding how;
    how.digitsAsCodes = below(2);
    how.punctuationAsCodes = below(2);
    how.spaceRun = below(4) == 0 ? 0 : 2;
    how.repeatRun = below(4) == 0 ? 0 : 4;
    if (russianText(mix_)) how.repeatRun = 0;  // the twin has no repeat code at all
    return how;
  }

 private:
  // A Russian letter by its frequency, lower case; in the Latin twin its
  // Latin letter.
  unsigned char letter(bool upper) {
    unsigned at = below(10001), i = 0;
    while (at >= kFrequency[i] && i + 1 < sizeof kFrequency / sizeof *kFrequency) at -= kFrequency[i++];
    if (mix_ == mix::latin) return static_cast<unsigned char>(kLatinOf[i]);
    return upper ? kUpper[i] : kLower[i];
  }

  // A word: capitalised at the start of a sentence, one in thirty an
  // abbreviation in capitals.
  std::string russianWord(bool capital) {
    unsigned at = below(100), n = 0;
    while (at >= kWordLength[n] && n + 1 < sizeof kWordLength) at -= kWordLength[n++];
    const bool abbreviation = below(30) == 0;
    if (abbreviation) n = 1 + below(3);
    std::string s;
    for (unsigned i = 0; i <= n; ++i) s += static_cast<char>(letter(abbreviation || (capital && i == 0)));
    return s;
  }

  // Sentences with numbers, dates and punctuation, or a row of a table: its
  // columns apart by runs of spaces.
  std::string russianLine(size_t width) {
    const bool table = below(5) == 0;
    std::string s;
    bool capital = true;
    while (s.size() < width) {
      if (!s.empty()) s.append(table ? 2 + below(11) : 1, ' ');
      unsigned kind = below(10);
      if (kind == 0) {
        s += std::to_string(below(2000));
        if (below(3) == 0) s += "," + std::to_string(below(100));
      } else if (kind == 1 && below(3) == 0) {
        s += std::to_string(1 + below(28)) + "." + std::to_string(10 + below(3)) + "." +
             std::to_string(2000 + below(8));
      } else {
        s += russianWord(capital);
      }
      capital = false;
      if (table) continue;
      unsigned mark = below(100);
      if (mark < 8) s += ',';
      else if (mark < 14) s += '.', capital = true;
      else if (mark < 15) s += ':';
      else if (mark < 17) s += " -";
      else if (mark < 18) s += ';';
    }
    return s.substr(0, width);
  }

  // One word in kRepeatShare is one of repeats in the `repeats` mix.
  static const std::uint32_t kRepeatShare = 4;

  std::mt19937 rng_;
  mix mix_;
};

}  // namespace bench

#endif  // TARVIN_BENCH_REPORT_GENERATOR_H
