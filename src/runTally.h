// runTally: what a run read, for the summary of a verifying run and its
// exit code.
#ifndef TARVIN_RUNTALLY_H
#define TARVIN_RUNTALLY_H

#include <cstdint>

struct runTally {
  unsigned indexes = 0;                // index files converted
  unsigned indexesFailed = 0;          // index files that could not be opened or loaded
  std::uint64_t reports = 0;           // reports read
  std::uint64_t bytes = 0;             // of report codes read: the bytes that records name
  std::uint64_t damaged = 0;           // reports and index files whose damage was mended
  unsigned dataUsed = 0;               // data files read
  unsigned dataMissing = 0;            // data files that records name, not there
  unsigned dataUnreadable = 0;         // data files that records name, there but unreadable
  unsigned directoriesUnreadable = 0;  // directories that could not be listed
  unsigned dataOrphaned = 0;           // data files that no record names
  unsigned rangesUnreferenced = 0;     // leading ranges of data files that no record names
  std::uint64_t bytesUnreferenced = 0;  // of orphaned data files and unreferenced ranges
  std::uint64_t salvaged = 0;          // salvaged reports written

  // Damage was mended, or data found that no record names.
  bool damage() const { return damaged > 0 || dataOrphaned > 0 || rangesUnreferenced > 0; }
};

#endif  // TARVIN_RUNTALLY_H
