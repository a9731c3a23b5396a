// keyFilter: which reports a run writes (--key): those whose key matches a
// pattern asked for ("*" any run, "?" one character, letter case ignored, as
// the index mask matches names), or all when none was. The others are not
// read, and get no number. Salvaged reports have no key, which no pattern
// matches, "*" neither.
#ifndef TARVIN_KEYFILTER_H
#define TARVIN_KEYFILTER_H

#include <utility>
#include <vector>

#include "mFileIndex.h"

class keyFilter {
 public:
  explicit keyFilter(std::vector<mstr> patterns = {}) : patterns_(std::move(patterns)) {}
  bool selects(const mIndexEntry& entry, bool salvaged) const;

 private:
  std::vector<mstr> patterns_;
};

#endif  // TARVIN_KEYFILTER_H
