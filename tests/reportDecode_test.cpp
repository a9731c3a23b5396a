// Every decoding level against the plain decoding, one suite run per level
// of the table (skipped where the processor lacks it).
#include "reportDecode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "oemTable.h"
#include "reportCases.h"
#include "textDecode.h"

namespace {

using reportCases::b;

// The plain decoding as OEM bytes.
std::string plainBytes(const std::string& bytes) {
  mstr text;
  decodeReportTextPlain(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
  std::string out(static_cast<size_t>(text.get_count()), '\0');
  const int n = text.get_count();
  EXPECT_EQ(oemTable::get().narrow(text.get_data(), n, &out[0]), n);
  text.clear();  // a long text released writes its size line
  return out;
}

class DecodeLevel : public testing::TestWithParam<reportDecode::levelInfo> {
 protected:
  void SetUp() override {
    if (!reportDecode::supported(GetParam().id)) GTEST_SKIP() << GetParam().name << " does not run here";
  }

  // Decodes in as many calls as it takes, each into a buffer of exactly
  // `roomSize` bytes.
  std::string decode(const std::string& bytes, std::size_t roomSize) {
    std::string text;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t left = bytes.size(); left;) {
      std::vector<unsigned char> room(roomSize);
      reportDecode::result r = GetParam().decode(p, left, room.data(), room.size());
      if (!r.consumed || r.consumed > left || r.produced > room.size() - reportDecode::kSlack) {
        ADD_FAILURE() << r.consumed << " consumed of " << left << ", " << r.produced << " produced";
        break;
      }
      text.append(room.begin(), room.begin() + static_cast<std::ptrdiff_t>(r.produced));
      p += r.consumed;
      left -= r.consumed;
    }
    return text;
  }

  // The text in room for all of it, and in the least room: a line at a time.
  void expectText(const std::string& bytes, const std::string& text, const std::string& what) {
    for (std::size_t room : {86 * bytes.size() + 30000, reportDecode::kLineRoom})
      EXPECT_EQ(decode(bytes, room), text) << "room " << room << ": " << what;
  }
  void expectPlain(const std::string& bytes, const std::string& what) { expectText(bytes, plainBytes(bytes), what); }

  // The level's UTF-8 of `bytes`, in exactly the room it may use, against
  // the table's bytes one OEM byte at a time.
  void expectUtf8(const std::string& bytes, const reportDecode::utf8Table& t, const std::string& what) {
    std::string expected;
    for (unsigned char c : bytes)
      expected.append({static_cast<char>(t.first[c]), static_cast<char>(t.second[c]), static_cast<char>(t.third[c])},
                      0, t.length[c]);
    std::vector<unsigned char> room(3 * bytes.size() + reportDecode::kUtf8Slack);
    const std::size_t n =
        GetParam().utf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), room.data(), t);
    EXPECT_EQ(std::string(room.begin(), room.begin() + static_cast<std::ptrdiff_t>(std::min(n, room.size()))),
              expected)
        << what;
  }
};

}  // namespace

namespace reportDecode {
void PrintTo(const levelInfo& level, std::ostream* os) { *os << level.name; }
}  // namespace reportDecode

namespace {

INSTANTIATE_TEST_SUITE_P(Levels, DecodeLevel, testing::ValuesIn(reportDecode::kLevels),
                         [](const testing::TestParamInfo<reportDecode::levelInfo>& info) {
                           return std::string(info.param.name);
                         });

TEST_P(DecodeLevel, CodesRepeatsAndEdges) {
  for (const auto& [bytes, text] : reportCases::codesAndEdges()) expectPlain(bytes, testing::PrintToString(bytes));
}

TEST_P(DecodeLevel, RandomBytesMatchThePlainDecoding) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = reportCases::randomCodes(rng, round);
    if (round % 3 != 2) expectPlain(bytes, "round " + std::to_string(round));
  }
}

TEST_P(DecodeLevel, EveryEncodingRoundTrips) {
  std::mt19937 rng(99);
  for (int round = 0; round < 400; ++round) {
    std::string text, encoded;
    if (reportCases::randomReport(rng, round, text, encoded))
      expectText(encoded, text, "round " + std::to_string(round));
  }
}

// Every byte, runs across 16, 32 and 64 bytes, through the code page's table
// and through made-up ones: bytes of 0 to 3 bytes, ASCII as it is or not.
TEST_P(DecodeLevel, Utf8IsTheTablesBytes) {
  const oemTable& oem = oemTable::get();
  // The third and fourth: ASCII as it is, every other byte two bytes, or
  // all but one of each 16 (a different one in each row of 16).
  unsigned char planes[4][4][256];
  for (unsigned b = 0; b < 256; ++b)
    for (unsigned t = 0; t < 4; ++t) {
      const bool asIs = t >= 1 && b < 128;
      const unsigned length = t == 2 ? 2 : t == 3 ? 2 + (b % 16 == b / 16) : b % 4;  // 0: a byte that gives nothing
      planes[t][0][b] = static_cast<unsigned char>(asIs ? 1 : length);
      planes[t][1][b] = static_cast<unsigned char>(asIs || t == 0 ? b : b ^ 0x5A);
      planes[t][2][b] = static_cast<unsigned char>(255 - b);
      planes[t][3][b] = static_cast<unsigned char>(7 * b);
    }
  std::vector<reportDecode::utf8Table> tables{
      reportDecode::makeUtf8Table(oem.utf8Length, oem.utf8[0], oem.utf8[1], oem.utf8[2])};
  for (auto& p : planes) tables.push_back(reportDecode::makeUtf8Table(p[0], p[1], p[2], p[3]));
  std::string every, cyrillic, box;
  for (unsigned b = 0; b < 256; ++b) every += static_cast<char>(b);
  for (unsigned b = 0x80; b < 0xF0; ++b) (b >= 0xB0 && b < 0xE0 ? box : cyrillic) += static_cast<char>(b);
  std::vector<std::string> cases{every, std::string(every.rbegin(), every.rend()), cyrillic, box, every + every};
  for (std::size_t n = 0; n <= 200; ++n) {
    cases.push_back(std::string(n, 'a'));  // all ASCII, then one other byte at n
    cases.push_back(std::string(n, 'a') + "\xA0" + std::string(70, '.') + box.substr(n % 40, 9));
    cases.push_back(every.substr(n % 57, n) + std::string(n % 3, '\0'));
  }
  for (const reportDecode::utf8Table& t : tables)
    for (const std::string& bytes : cases) expectUtf8(bytes, t, testing::PrintToString(bytes));
  EXPECT_TRUE(tables[0].asciiAsIs && !tables[1].asciiAsIs);
  for (std::size_t t = 2; t < tables.size(); ++t) EXPECT_TRUE(tables[t].asciiAsIs);
}

// Where the vector levels change windows or leave them for the scalar loop.
TEST_P(DecodeLevel, WindowEdgesMatchThePlainDecoding) {
  auto line = [](const std::string& codes) { return std::string(1, static_cast<char>(codes.size())) + codes; };
  auto letters = [](size_t n) { return std::string(n, '\x5E'); };
  const std::string dash = b({0xC0, 0x2D, 0x05}), stars = b({0xC0, 0x2A, 0xFF});
  std::vector<std::string> cases;
  for (size_t n : {31, 32, 33, 63, 64, 65, 127, 128, 129, 255})  // a line of n codes, runs and repeats among them
    cases.push_back(line(letters(n - 10) + b({0x83, 0xBF, 0x80}) + dash + b({0x81, 0x5D, 0x5C, 0x5B})) +
                    line(letters(n)));
  for (size_t at = 28; at <= 66; ++at)  // a repeat across the end of a window
    cases.push_back(line(letters(at) + dash + letters(70)) + line(letters(at) + stars));
  // Repeats of one (Russian letters), of character 0 and of character 192
  // in the last places of a window, their operands past it, the next line
  // beginning right after them or a little later.
  const std::string one = b({0xC0, 0xA0, 0x01});
  for (const std::string& repeat : {one, dash, b({0xC0, 0x00, 0x03}), b({0xC0, 0xC0, 0x01})})
    for (size_t at = 58; at <= 66; ++at)
      for (size_t after = 0; after <= 2; ++after)
        cases.push_back(line(letters(at) + repeat + letters(after)) + line(one + letters(2) + one));
  for (std::string close : {b({0xC0, 0xC0, 0x03}), b({0xC0, 0x2D, 0xC0}), b({0xC0, 0xC0, 0xC0, 0xC0, 0x41, 0xC0})})
    cases.push_back(line(letters(9) + close + letters(20)));  // 192 as a repeat's character or count
  cases.push_back(line(b({0xC0, 0x2D, 0x00, 0xC0, 0x00, 0x09, 0xC0, 0x41, 0x01, 0x80, 0x81, 0x00})));
  cases.push_back(line(letters(63) + b({0xC0})) + b({0x2D, 0x07}) + line(letters(3)));  // operands beyond the line
  cases.push_back(line(letters(62) + b({0xC0, 0x2D})) + b({0x07}) + line(letters(3)));
  cases.push_back(line(letters(63) + b({0xC0})) + line(b({0x41, 0x5E, 0x5D})));  // the next line's first code too
  cases.push_back(line(letters(20)) + b({100}) + letters(70));  // a cut last line
  cases.push_back(line(letters(20)) + b({100}) + letters(70) + b({0xC0, 0x2D}));
  cases.push_back(line(letters(5)) + b({3, 0x5E, 0xC0, 0x41}));  // operands past the end
  cases.push_back(line(letters(70)) + b({1, 0xC0}));
  cases.push_back(line(std::string(255, '\xBF')) + line(std::string(84 * 3, '\0')) + line([&] {
    std::string s;
    for (int i = 0; i < 85; ++i) s += stars;
    return s;
  }()));
  // Each after two lines of 128 bytes, so that reports shorter than that
  // still take the vector levels' windows, aligned as without them.
  const std::string before = line(letters(63)) + line(letters(63));
  for (const std::string& bytes : cases) expectPlain(before + bytes, testing::PrintToString(bytes));
}

// The check finds what the plain decoding finds, at the same byte: in one
// call and resumed line after line, with and without long lines before.
TEST(ReportCheck, FindsTheDamageDecodingFinds) {
  std::vector<std::string> cases;
  for (const auto& [bytes, text] : reportCases::codesAndEdges()) cases.push_back(bytes);
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) cases.push_back(reportCases::randomCodes(rng, round));
  std::string longLines;
  for (int i = 0; i < 3; ++i) longLines += static_cast<char>(127) + std::string(127, 'A');
  for (const std::string& tail : cases) {
    for (const std::string& bytes : {tail, longLines + tail}) {
      const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
      mstr text;
      const reportDecode::result expected = decodeReportTextPlain(data, bytes.size(), text);
      text.clear();  // a long text released writes its size line
      for (std::size_t most : {bytes.size(), std::size_t{1}, std::size_t{97}}) {
        reportDecode::result found{0, 0, reportDecode::damage::none, 0};
        for (std::size_t at = 0; at < bytes.size();) {
          const reportDecode::result r = reportDecode::check(data + at, bytes.size() - at, most);
          ASSERT_GT(r.consumed, 0u);
          if (r.damaged != reportDecode::damage::none) found = {0, 0, r.damaged, at + r.damagedAt};
          at += r.consumed;
        }
        EXPECT_TRUE(found.damaged == expected.damaged && found.damagedAt == expected.damagedAt)
            << testing::PrintToString(bytes) << " in steps of " << most << ": " << static_cast<int>(found.damaged)
            << " at " << found.damagedAt << ", decoding " << static_cast<int>(expected.damaged) << " at "
            << expected.damagedAt;
      }
    }
  }
}

}  // namespace
