// Report codes that the decoders into UTF-16 (textDecode_test.cpp) and the
// decoding levels into OEM bytes (reportDecode_test.cpp) are both checked on.
#ifndef TARVIN_TESTS_REPORTCASES_H
#define TARVIN_TESTS_REPORTCASES_H

#include <initializer_list>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "report_encoder.h"

namespace reportCases {

inline std::string b(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

// The codes and the edges of a report, each with its text.
inline std::vector<std::pair<std::string, std::u16string>> codesAndEdges() {
  return {
      {b({0x07, 0x5E, 0x5D, 0x5C, 0x83, 0xC0, 0x2D, 0x04}), u"ABC   ----\n"},  // the worked example
      {"", u""},
      {b({0}), u"\n"},
      {b({0, 0, 0}), u"\n\n\n"},
      // A block's padding: runs of empty lines across words of eight, then a line.
      {b({1, 0x5E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x5D}),
       u"A" + std::u16string(20, u'\n') + u"B\n"},
      {b({1, 0x5E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x5D}), u"A" + std::u16string(10, u'\n') + u"B\n"},
      {b({1, 0x5E, 0, 0, 0, 0, 0, 0, 0, 0}), u"A" + std::u16string(9, u'\n')},
      {b({1, 0x80}), u"\n"},
      {b({1, 0xBF}), std::u16string(63, u' ') + u"\n"},
      {b({1, 0x3E}), u">\n"},
      {b({1, 0x3F}), u"`\n"},
      {b({1, 0x7F}), u" \n"},
      {b({1, 0xC1}), u"┴\n"},
      {b({1, 0xEF}), u"я\n"},
      {b({2, 0x30, 0x6F}), u"00\n"},  // a digit as itself and as 159 - b
      {b({3, 0xC0, 0x2A, 0x00}), u"\n"},
      {b({3, 0xC0, 0x2A, 0xFF}), std::u16string(255, u'*') + u"\n"},
      {b({3, 0xC0, 0x00, 0x05}), u"\n"},    // a repeat of byte 0 adds nothing
      {b({3, 0xC0, 0xA0, 0x02}), u"аа\n"},  // c unchanged, not 159 - c
      {b({2, 0x5E, 0x00, 1, 0x5D}), std::u16string(u"A\0\nB\n", 5)},
      // n = 1 covers only the 192; its operands (byte 1, 94 times) come from
      // the following bytes, and the next line still starts right after that
      // one code byte: its length is the operand 1, its code 0x5E the letter A.
      {b({1, 0xC0, 0x01, 0x5E}), std::u16string(94, u'\x01') + u"\nA\n"},
      // The next line starts at the operand 0x43 (67 codes), is cut at the end
      // and holds the last byte, the character of byte 2.
      {b({2, 0x5D, 0xC0, 0x43, 0x02}), u"BCC\n\x02\n"},
      // Nothing is read past the end: a line whose count runs past it is cut
      // there and decoding stops; a repeat whose operands are not both inside
      // adds nothing, and in a line of two the next line (65 codes) is cut empty.
      {b({5, 0x5E, 0x5D}), u"AB\n"},
      {b({9}), u"\n"},
      {b({1, 0xC0}), u"\n"},
      {b({3, 0x5E, 0xC0, 0x41}), u"A\n"},
      {b({2, 0x5E, 0xC0, 0x41}), u"A\n\n"},
  };
}

// Random bytes, of round `round` of a series: arbitrary, or with many
// repeats, some close together, or with lines of plausible lengths.
inline std::string randomCodes(std::mt19937& rng, int round) {
  std::string bytes(static_cast<size_t>(rng() % 600), '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  if (round % 5 == 1)
    for (char& c : bytes)
      if (rng() % 6 == 0) c = static_cast<char>(0xC0);
  if (round % 3 == 0)
    for (size_t at = 0; at < bytes.size(); at += 1 + static_cast<unsigned char>(bytes[at]) % 140)
      bytes[at] = static_cast<char>(static_cast<unsigned char>(bytes[at]) % 140);
  return bytes;
}

// A random report of round `round`: its text (OEM bytes) and its codes in
// one of the encodings the round chooses; false when a line is too long.
inline bool randomReport(std::mt19937& rng, int round, std::string& text, std::string& codes) {
  const std::string alphabet = std::string("  0123456789 AZaz.,:-*=") + "\x80\x8f\xa0\xaf\xe0\xef\xf0\xf1\xc0\xc4";
  std::vector<std::string> lines;
  for (int l = static_cast<int>(rng() % 6); l >= 0; --l) {
    std::string line;
    for (int k = static_cast<int>(rng() % 70); k > 0; --k) {
      char c = alphabet[rng() % alphabet.size()];
      line.append(rng() % 8 == 0 ? rng() % 12 + 1 : 1, c);
    }
    lines.push_back(line);
  }
  archive::encoding how;
  how.digitsAsCodes = round & 1;
  how.punctuationAsCodes = round & 2;
  how.spaceRun = round & 4 ? 0 : 2;
  how.repeatRun = round & 8 ? 0 : 3;
  try {
    codes = archive::encodeReport(lines, how);
  } catch (const std::length_error&) {
    return false;
  }
  text = archive::decodedText(lines);
  return true;
}

}  // namespace reportCases

#endif  // TARVIN_TESTS_REPORTCASES_H
