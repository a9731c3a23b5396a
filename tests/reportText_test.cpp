#include "reportText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "report_encoder.h"
#include "text.h"

namespace {

std::u16string decode(const std::string& bytes) {
  mstr text;
  decodeReportText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
  return str(text);
}

std::string b(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

std::u16string plainDecode(const std::string& bytes) {
  mstr text;
  decodeReportTextPlain(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
  return str(text);
}

TEST(ReportText, WorkedExample) {
  EXPECT_EQ(decode(b({0x07, 0x5E, 0x5D, 0x5C, 0x83, 0xC0, 0x2D, 0x04})), u"ABC   ----\n");
}

TEST(ReportText, CodeRanges) {
  EXPECT_EQ(decode(""), u"");
  EXPECT_EQ(decode(b({0})), u"\n");
  EXPECT_EQ(decode(b({0, 0, 0})), u"\n\n\n");
  EXPECT_EQ(decode(b({1, 0x80})), u"\n");
  EXPECT_EQ(decode(b({1, 0xBF})), std::u16string(63, u' ') + u"\n");
  EXPECT_EQ(decode(b({1, 0x3E})), u">\n");
  EXPECT_EQ(decode(b({1, 0x3F})), u"`\n");
  EXPECT_EQ(decode(b({1, 0x7F})), u" \n");
  EXPECT_EQ(decode(b({1, 0xC1})), u"┴\n");
  EXPECT_EQ(decode(b({1, 0xEF})), u"я\n");
  EXPECT_EQ(decode(b({2, 0x30, 0x6F})), u"00\n");  // a digit as itself and as 159 - b
}

TEST(ReportText, RepeatsAndZeroBytes) {
  EXPECT_EQ(decode(b({3, 0xC0, 0x2A, 0x00})), u"\n");
  EXPECT_EQ(decode(b({3, 0xC0, 0x2A, 0xFF})), std::u16string(255, u'*') + u"\n");
  EXPECT_EQ(decode(b({3, 0xC0, 0x00, 0x05})), u"\n");  // a repeat of byte 0 adds nothing
  EXPECT_EQ(decode(b({3, 0xC0, 0xA0, 0x02})), u"аа\n");  // c unchanged, not 159 - c
  EXPECT_EQ(decode(b({2, 0x5E, 0x00, 1, 0x5D})), std::u16string(u"A\0\nB\n", 5));
}

TEST(ReportText, RepeatOperandsBeyondTheLine) {
  // n = 1 covers only the 192; its operands (byte 1, 94 times) come from the
  // following bytes, and the next line still starts right after that one code
  // byte: its length is the operand 1, its code 0x5E the letter A.
  EXPECT_EQ(decode(b({1, 0xC0, 0x01, 0x5E})), std::u16string(94, u'\x01') + u"\nA\n");
  // The next line starts at the operand 0x43 (67 codes), is cut at the end and
  // holds the last byte, the character of byte 2.
  EXPECT_EQ(decode(b({2, 0x5D, 0xC0, 0x43, 0x02})), u"BCC\n\x02\n");
}

TEST(ReportText, NothingIsReadPastTheEnd) {
  // A line whose count runs past the end is cut there and decoding stops.
  EXPECT_EQ(decode(b({5, 0x5E, 0x5D})), u"AB\n");
  EXPECT_EQ(decode(b({9})), u"\n");
  // A repeat whose operands are not both inside adds nothing.
  EXPECT_EQ(decode(b({1, 0xC0})), u"\n");
  EXPECT_EQ(decode(b({3, 0x5E, 0xC0, 0x41})), u"A\n");
  // The same repeat in a line of two: the next line (65 codes) is cut empty.
  EXPECT_EQ(decode(b({2, 0x5E, 0xC0, 0x41})), u"A\n\n");
}

TEST(ReportText, TablesAgreeWithTheSystemConversion) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes(static_cast<size_t>(rng() % 600), '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    if (round % 3 == 0)  // lines of plausible lengths
      for (size_t at = 0; at < bytes.size(); at += 1 + static_cast<unsigned char>(bytes[at]) % 40)
        bytes[at] = static_cast<char>(static_cast<unsigned char>(bytes[at]) % 40);
    ASSERT_EQ(decode(bytes), plainDecode(bytes)) << "round " << round;
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
