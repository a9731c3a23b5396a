#include "reportText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "oemTable.h"
#include "reportDecode.h"
#include "report_encoder.h"
#include "salvage.h"
#include "text.h"

namespace {

const char kRepeatCode = static_cast<char>(0xC0);

std::u16string decode(const std::string& bytes) {
  mstr text;
  decodeReportText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
  std::u16string out = str(text);
  text.clear();  // a long text released writes its size line
  return out;
}

std::string b(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

std::u16string plainDecode(const std::string& bytes) {
  mstr text;
  decodeReportTextPlain(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
  std::u16string out = str(text);
  text.clear();
  return out;
}

// The plain decoding as OEM bytes.
std::string plainBytes(const std::string& bytes) {
  std::u16string text = plainDecode(bytes);
  std::string out(text.size(), '\0');
  int n = static_cast<int>(text.size());
  EXPECT_EQ(oemTable::get().narrow(reinterpret_cast<const unsigned short*>(text.data()), n, &out[0]), n);
  return out;
}

std::vector<reportDecode::level> levels() {
  std::vector<reportDecode::level> all;
  for (auto l : {reportDecode::level::scalar, reportDecode::level::avx2, reportDecode::level::avx512})
    if (reportDecode::supported(l)) all.push_back(l);
  return all;
}

// Decodes to OEM bytes at one level in as many calls as it takes, each into
// a buffer of exactly `room` bytes.
std::string oemDecode(reportDecode::level l, const std::string& bytes, std::size_t roomSize) {
  std::string text;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t left = bytes.size(); left;) {
    std::vector<unsigned char> room(roomSize);
    reportDecode::result r = reportDecode::select(l)(p, left, room.data(), room.size());
    if (!r.consumed || r.consumed > left || r.produced > room.size() - reportDecode::kSlack) {
      ADD_FAILURE() << reportDecode::name(l) << ": " << r.consumed << " consumed of " << left << ", " << r.produced
                    << " produced";
      break;
    }
    text.append(room.begin(), room.begin() + static_cast<std::ptrdiff_t>(r.produced));
    p += r.consumed;
    left -= r.consumed;
  }
  return text;
}

// Room for the whole text, and the least room: a line at a time.
std::vector<std::size_t> rooms(const std::string& bytes) { return {86 * bytes.size() + 30000, reportDecode::kLineRoom}; }

// Every level gives the plain decoding's bytes.
void expectEveryLevelPlain(const std::string& bytes, const std::string& what) {
  std::string expected = plainBytes(bytes);
  for (auto l : levels())
    for (std::size_t room : rooms(bytes))
      EXPECT_EQ(oemDecode(l, bytes, room), expected) << reportDecode::name(l) << ", room " << room << ": " << what;
}

// The codes and the edges of a report, each decoded alike at every level.
TEST(ReportText, CodesRepeatsAndEdges) {
  const std::pair<std::string, std::u16string> cases[] = {
      {b({0x07, 0x5E, 0x5D, 0x5C, 0x83, 0xC0, 0x2D, 0x04}), u"ABC   ----\n"},  // the worked example
      {"", u""},
      {b({0}), u"\n"},
      {b({0, 0, 0}), u"\n\n\n"},
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
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(decode(bytes), text) << testing::PrintToString(bytes);
    EXPECT_EQ(plainDecode(bytes), text) << testing::PrintToString(bytes);
    expectEveryLevelPlain(bytes, testing::PrintToString(bytes));
  }
}

TEST(ReportText, TablesAgreeWithTheSystemConversion) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes(static_cast<size_t>(rng() % 600), '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    if (round % 5 == 1)  // many repeats, some close together
      for (char& c : bytes)
        if (rng() % 6 == 0) c = static_cast<char>(kRepeatCode);
    if (round % 3 == 0)  // lines of plausible lengths
      for (size_t at = 0; at < bytes.size(); at += 1 + static_cast<unsigned char>(bytes[at]) % 140)
        bytes[at] = static_cast<char>(static_cast<unsigned char>(bytes[at]) % 140);
    ASSERT_EQ(decode(bytes), plainDecode(bytes)) << "round " << round;
    if (round % 3 != 2) expectEveryLevelPlain(bytes, "round " + std::to_string(round));
  }
}

TEST(ReportText, EveryEncodingRoundTrips) {
  std::mt19937 rng(99);
  const std::string alphabet = std::string("  0123456789 AZaz.,:-*=") + "\x80\x8f\xa0\xaf\xe0\xef\xf0\xf1\xc0\xc4";
  for (int round = 0; round < 400; ++round) {
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
    std::string encoded;
    try {
      encoded = archive::encodeReport(lines, how);
    } catch (const std::length_error&) {
      continue;
    }
    mstr expected;
    std::string text = archive::decodedText(lines);
    expected.appendMultiByte(text.data(), static_cast<int>(text.size()), CP_OEMCP);
    ASSERT_EQ(decode(encoded), str(expected)) << "round " << round;
    for (auto l : levels())
      for (std::size_t room : rooms(encoded))
        ASSERT_EQ(oemDecode(l, encoded, room), text) << reportDecode::name(l) << ", room " << room << ", round " << round;
  }
}

// Where the vector levels change windows or leave them for the scalar loop.
TEST(ReportDecode, WindowEdgesMatchThePlainDecoding) {
  auto line = [](const std::string& codes) { return std::string(1, static_cast<char>(codes.size())) + codes; };
  auto letters = [](size_t n) { return std::string(n, '\x5E'); };
  const std::string dash = b({0xC0, 0x2D, 0x05}), stars = b({0xC0, 0x2A, 0xFF});
  std::vector<std::string> cases;
  for (size_t n : {31, 32, 33, 63, 64, 65, 127, 128, 129, 255})  // a line of n codes, runs and repeats among them
    cases.push_back(line(letters(n - 10) + b({0x83, 0xBF, 0x80}) + dash + b({0x81, 0x5D, 0x5C, 0x5B})) +
                    line(letters(n)));
  for (size_t at = 28; at <= 66; ++at)  // a repeat across the end of a window
    cases.push_back(line(letters(at) + dash + letters(70)) + line(letters(at) + stars));
  for (std::string close : {b({0xC0, 0xC0, 0x03}), b({0xC0, 0x2D, 0xC0}), b({0xC0, 0xC0, 0xC0, 0xC0, 0x41, 0xC0})})
    cases.push_back(line(letters(9) + close + letters(20)));  // 192 as a repeat's character or count
  cases.push_back(line(b({0xC0, 0x2D, 0x00, 0xC0, 0x00, 0x09, 0xC0, 0x41, 0x01, 0x80, 0x81, 0x00})));
  cases.push_back(line(letters(63) + b({0xC0})) + b({0x2D, 0x07}) + line(letters(3)));  // operands beyond the line
  cases.push_back(line(letters(62) + b({0xC0, 0x2D})) + b({0x07}) + line(letters(3)));
  cases.push_back(line(letters(20)) + b({100}) + letters(70));  // a cut last line
  cases.push_back(line(letters(20)) + b({100}) + letters(70) + b({0xC0, 0x2D}));
  cases.push_back(line(letters(5)) + b({3, 0x5E, 0xC0, 0x41}));  // operands past the end
  cases.push_back(line(letters(70)) + b({1, 0xC0}));
  cases.push_back(line(std::string(255, '\xBF')) + line(std::string(84 * 3, '\0')) + line([&] {
    std::string s;
    for (int i = 0; i < 85; ++i) s += stars;
    return s;
  }()));
  for (const std::string& bytes : cases) expectEveryLevelPlain(bytes, testing::PrintToString(bytes));
}

TEST(ReportEncoder, RejectsLinesOverTheLimit) {
  std::string out;
  archive::encoding how;
  how.repeatRun = 0;
  EXPECT_TRUE(archive::encodeLine(std::string(255, 'A'), how, out));
  EXPECT_EQ(out.size(), 256u);
  out.clear();
  EXPECT_FALSE(archive::encodeLine(std::string(86, 'a'), how, out));  // 3 bytes each
  EXPECT_TRUE(out.empty());
}

// Bytes no index names, cut into salvaged reports as fed in pieces of any
// size: every cut is a block boundary after a 0 byte, and the parts' texts
// together are the whole's, also where a repeat of character 0 before a cut
// has its count past it.
TEST(ReportText, SalvagedPartsTogetherAreTheTextOfTheWhole) {
  std::mt19937 random(29);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = "\x3C" + std::string(60, 'A') + "\x02\xC0" + std::string(1, '\0');  // a cut at 64
    const std::size_t size = 64 * (2 + random() % 40) + random() % 64;
    while (bytes.size() < size) bytes += random() % 3 ? static_cast<char>(random()) : '\0';
    std::vector<std::uint64_t> ends;
    salvageWalk walk(ends);
    for (std::size_t from = 0, piece; from < size; from += piece) {
      piece = std::min<std::size_t>(1 + random() % 200, size - from);
      walk.feed(reinterpret_cast<const unsigned char*>(bytes.data()) + from, from, piece);
    }
    walk.finish(size);
    ASSERT_GE(ends.size(), 2u);
    EXPECT_TRUE(ends[0] == 64 && ends.back() == size);
    std::u16string parts;
    for (std::size_t i = 0; i < ends.size(); ++i) {
      const std::uint64_t start = i ? ends[i - 1] : 0;
      EXPECT_TRUE(ends[i] == size || (ends[i] % 64 == 0 && bytes[ends[i] - 1] == 0)) << ends[i];
      parts += plainDecode(bytes.substr(start, ends[i] - start));
    }
    EXPECT_EQ(parts, plainDecode(bytes));
  }
}

}  // namespace
