#include "keyFilter.h"

#include <string_view>

#include "wildcard.h"

bool keyFilter::selects(const mIndexEntry& entry, bool salvaged) const {
  if (patterns_.empty()) return true;
  if (salvaged) return false;
  const std::u16string_view key(reinterpret_cast<const char16_t*>(entry.c_str()));  // up to its first 0, as any text
  for (const mstr& pattern : patterns_)
    if (platform::matchesWildcard(key, reinterpret_cast<const char16_t*>(pattern.c_str()))) return true;
  return false;
}
