#include "report_encoder.h"

#include <stdexcept>

namespace archive {

namespace {

bool isDigit(unsigned c) { return c >= '0' && c <= '9'; }

void encodeByte(unsigned c, const encoding& how, std::string& codes) {
  bool direct = c <= 62 || c >= 193;
  bool viaCode = c >= 32 && c <= 96;
  bool preferCode = isDigit(c) ? how.digitsAsCodes : how.punctuationAsCodes;
  if (viaCode && (!direct || preferCode)) {
    codes += static_cast<char>(159 - c);
  } else if (direct) {
    codes += static_cast<char>(c);
  } else {
    codes += static_cast<char>(192);
    codes += static_cast<char>(c);
    codes += static_cast<char>(1);
  }
}

}  // namespace

bool encodeLine(const std::string& line, const encoding& how, std::string& out) {
  std::string codes;
  for (size_t i = 0; i < line.size();) {
    unsigned c = static_cast<unsigned char>(line[i]);
    size_t run = 1;
    while (i + run < line.size() && static_cast<unsigned char>(line[i + run]) == c) ++run;
    if (c == ' ' && how.spaceRun > 0 && run >= static_cast<size_t>(how.spaceRun)) {
      size_t take = run < 63 ? run : 63;
      codes += static_cast<char>(128 + take);
      i += take;
    } else if (c != 0 && how.repeatRun > 0 && run >= static_cast<size_t>(how.repeatRun)) {
      size_t take = run < 255 ? run : 255;
      codes += static_cast<char>(192);
      codes += static_cast<char>(c);
      codes += static_cast<char>(take);
      i += take;
    } else {
      encodeByte(c, how, codes);
      ++i;
    }
  }
  if (codes.size() > 255) return false;
  out += static_cast<char>(codes.size());
  out += codes;
  return true;
}

std::string encodeReport(const std::vector<std::string>& lines, const encoding& how) {
  std::string out;
  for (const std::string& line : lines)
    if (!encodeLine(line, how, out)) throw std::length_error("a report line needs more than 255 code bytes");
  return out;
}

std::string decodedText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}

}  // namespace archive
