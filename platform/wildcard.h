// How Windows matches a name against the last component of a search, which
// the POSIX layer does itself and the program uses for report keys too: "*"
// any run, "?" one unit, "*.*" everything, letter case of Latin and Cyrillic
// ignored. Plain code, the same on every platform.
#ifndef TARVIN_PLATFORM_WILDCARD_H
#define TARVIN_PLATFORM_WILDCARD_H

#include <string_view>

namespace platform {

// Upper case of Latin a-z, Cyrillic а-я and ё; every other unit is itself.
constexpr char16_t foldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 0x20);
  if (c == 0x0451) return 0x0401;
  return c;
}

inline bool matchesWildcard(std::u16string_view name, std::u16string_view pattern) {
  if (pattern == u"*.*") return true;
  // Greedy match that, on a mismatch, lets the last "*" take one more unit:
  // linear in practice and never recursive, whatever the pattern.
  std::size_t n = 0, p = 0;
  std::size_t star = std::u16string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || foldCase(pattern[p]) == foldCase(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace platform

#endif  // TARVIN_PLATFORM_WILDCARD_H
