#include "textDecode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "reportCases.h"
#include "report_encoder.h"
#include "salvage.h"
#include "text.h"

namespace {

std::u16string decode(const std::string& bytes) {
  mstr text;
  decodeReportText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
  std::u16string out = str(text);
  text.clear();  // a long text released writes its size line
  return out;
}

std::u16string plainDecode(const std::string& bytes) {
  mstr text;
  decodeReportTextPlain(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
  std::u16string out = str(text);
  text.clear();
  return out;
}

// The codes and the edges of a report, decoded alike by both decoders. The
// decoding levels are checked on the same cases (reportDecode_test.cpp).
TEST(TextDecode, CodesRepeatsAndEdges) {
  for (const auto& [bytes, text] : reportCases::codesAndEdges()) {
    EXPECT_EQ(decode(bytes), text) << testing::PrintToString(bytes);
    EXPECT_EQ(plainDecode(bytes), text) << testing::PrintToString(bytes);
  }
}

TEST(TextDecode, TablesAgreeWithTheSystemConversion) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = reportCases::randomCodes(rng, round);
    ASSERT_EQ(decode(bytes), plainDecode(bytes)) << "round " << round;
  }
}

TEST(TextDecode, EveryEncodingRoundTrips) {
  std::mt19937 rng(99);
  for (int round = 0; round < 400; ++round) {
    std::string text, encoded;
    if (!reportCases::randomReport(rng, round, text, encoded)) continue;
    mstr expected;
    expected.appendMultiByte(text.data(), static_cast<int>(text.size()), CP_OEMCP);
    ASSERT_EQ(decode(encoded), str(expected)) << "round " << round;
  }
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
TEST(TextDecode, SalvagedPartsTogetherAreTheTextOfTheWhole) {
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
