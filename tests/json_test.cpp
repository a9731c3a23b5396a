#include "json.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string ofUnits(const std::u16string& text) {
  std::vector<unsigned char> out(json::kMostPerUnit * text.size() + 1);
  const std::size_t n = json::fromUnits(reinterpret_cast<const unsigned short*>(text.data()), text.size(), out.data());
  return std::string(out.begin(), out.begin() + static_cast<long>(n));
}

std::string ofOem(const std::string& bytes) {
  std::vector<unsigned char> out(json::kMostPerUnit * bytes.size() + 1);
  const std::size_t n =
      json::fromOem(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data());
  return std::string(out.begin(), out.begin() + static_cast<long>(n));
}

TEST(Json, StringsAreUtf8WithQuotesBackslashesControlsAndLoneSurrogatesEscaped) {
  const std::pair<std::u16string, std::string> units[] = {
      {u"", ""},
      {u"plain ASCII", "plain ASCII"},
      {u"\"q\" \\b\\", "\\\"q\\\" \\\\b\\\\"},
      {u"a\nb\tc\r\b\f\u0001\u001f\u007f", "a\\nb\\tc\\r\\b\\f\\u0001\\u001f\x7f"},
      {u"Ёж №", "\xD0\x81\xD0\xB6 \xE2\x84\x96"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},                       // a pair: one character
      {std::u16string{0xD800, u'x', 0xDC80}, "\\ud800x\\udc80"},  // lone surrogates
      {std::u16string{u'a', 0xD83D}, "a\\ud83d"},               // a high surrogate that ends the text
  };
  for (const auto& [text, expected] : units) EXPECT_EQ(ofUnits(text), expected);
  // Code page 866 bytes as their characters.
  EXPECT_EQ(ofOem("\x80\xF0 \"\n\xFC\\"), "\xD0\x90\xD0\x81 \\\"\\n\xE2\x84\x96\\\\");
}

}  // namespace
