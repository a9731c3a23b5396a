#include "reportText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "reportCases.h"
#include "report_encoder.h"
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
TEST(ReportText, CodesRepeatsAndEdges) {
  for (const auto& [bytes, text] : reportCases::codesAndEdges()) {
    EXPECT_EQ(decode(bytes), text) << testing::PrintToString(bytes);
    EXPECT_EQ(plainDecode(bytes), text) << testing::PrintToString(bytes);
  }
}

TEST(ReportText, TablesAgreeWithTheSystemConversion) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = reportCases::randomCodes(rng, round);
    ASSERT_EQ(decode(bytes), plainDecode(bytes)) << "round " << round;
  }
}

TEST(ReportText, EveryEncodingRoundTrips) {
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

}  // namespace
