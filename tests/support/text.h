// Small conversions for assertions on mstr.
#ifndef TARVIN_TESTS_TEXT_H
#define TARVIN_TESTS_TEXT_H

#include <string>
#include <vector>

#include "mstr.h"

inline std::u16string str(const mstr& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.c_str()), static_cast<size_t>(s.get_count()));
}

inline std::u16string str(const unsigned short* text) {
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

inline std::vector<std::u16string> strs(mstr_list& list) {
  std::vector<std::u16string> out;
  for (int i = 0; i < list.get_count(); ++i) out.push_back(str(list.get_data()[i]));
  return out;
}

#endif  // TARVIN_TESTS_TEXT_H
