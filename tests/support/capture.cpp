#include "capture.h"

#include <stdexcept>

bool capturedOutput::write(stream s, const unsigned char* data, std::size_t count, DWORD&) {
  auto& to = s == stream::out || oneStream_ ? out_ : err_;
  to.insert(to.end(), data, data + count);
  return true;
}

captured capturedOutput::taken() {
  output.flush();
  return {std::string(out_.begin(), out_.end()), std::string(err_.begin(), err_.end())};
}

std::string oem(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    unsigned cp;
    int len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else {
      cp = c & 0x0F;
      len = 3;
    }
    for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]) & 0x3F);
    i += static_cast<size_t>(len);
    if (cp < 0x80)
      out += static_cast<char>(cp);
    else if (cp >= 0x410 && cp <= 0x42F)
      out += static_cast<char>(0x80 + (cp - 0x410));  // А-Я
    else if (cp >= 0x430 && cp <= 0x43F)
      out += static_cast<char>(0xA0 + (cp - 0x430));  // а-п
    else if (cp >= 0x440 && cp <= 0x44F)
      out += static_cast<char>(0xE0 + (cp - 0x440));  // р-я
    else if (cp == 0x401)
      out += static_cast<char>(0xF0);  // Ё
    else if (cp == 0x451)
      out += static_cast<char>(0xF1);  // ё
    else
      throw std::runtime_error("no code page 866 byte for this test text");
  }
  return out;
}

std::string utf8(const std::string& oemBytes) {
  std::string out;
  for (unsigned char c : oemBytes) {
    unsigned cp = c;
    if (c >= 0x80 && c <= 0x9F)
      cp = 0x410 + (c - 0x80u);  // А-Я
    else if (c >= 0xA0 && c <= 0xAF)
      cp = 0x430 + (c - 0xA0u);  // а-п
    else if (c >= 0xE0 && c <= 0xEF)
      cp = 0x440 + (c - 0xE0u);  // р-я
    else if (c == 0xF0 || c == 0xF1)
      cp = c == 0xF0 ? 0x401 : 0x451;  // Ё ё
    else if (c >= 0x80)
      throw std::runtime_error("a code page 866 byte this test does not expect");
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}
