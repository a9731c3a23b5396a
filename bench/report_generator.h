// Generates report text as real reports look: upper-case Latin and Cyrillic
// words, numbers, columns aligned with runs of spaces, ruled lines of repeated
// characters and empty lines, in code page 866. Shared by the corpus writer
// and the micro benchmarks, so both measure the same mix.
#ifndef TARVIN_BENCH_REPORT_GENERATOR_H
#define TARVIN_BENCH_REPORT_GENERATOR_H

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

// The mix of text: `standard` as above; `repeats` has about a quarter of its
// codes repeats of one character.
enum class mix { standard, repeats };

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

  // A report of about `bytes` characters of text.
  std::vector<std::string> report(size_t bytes) {
    std::vector<std::string> lines;
    size_t size = 0;
    while (size < bytes) {
      lines.push_back(line(20 + below(60)));
      size += lines.back().size() + 1;
    }
    return lines;
  }

  archive::encoding encoding() {
    archive::encoding how;
    how.digitsAsCodes = below(2);
    how.punctuationAsCodes = below(2);
    how.spaceRun = below(4) == 0 ? 0 : 2;
    how.repeatRun = below(4) == 0 ? 0 : 4;
    return how;
  }

 private:
  // One word in kRepeatShare is one of repeats in the `repeats` mix.
  static const std::uint32_t kRepeatShare = 4;

  std::mt19937 rng_;
  mix mix_;
};

}  // namespace bench

#endif  // TARVIN_BENCH_REPORT_GENERATOR_H
