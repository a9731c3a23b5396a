// Encodes report text the way the archives store it, for tests, samples and
// benchmarks.
//
// A line is a length byte n and n code bytes. A byte of text can be written
//   as itself            bytes 0-62 and 193-255
//   as 159 - byte        bytes 32-96 (codes 63-127)
//   as part of a run     spaces: 128 + count (up to 63 spaces)
//   as a repeat          192 c k: byte c, k times (1-255; never for byte 0)
// Bytes 97-191 and 192 have no code of their own and are always written as a
// repeat of one (192 c 1), or of more where a run allows it.
#ifndef TARVIN_TESTS_REPORT_ENCODER_H
#define TARVIN_TESTS_REPORT_ENCODER_H

#include <string>
#include <vector>

namespace archive {

struct encoding {
  bool digitsAsCodes = false;       // digits as 159 - b instead of themselves
  bool punctuationAsCodes = false;  // other bytes 32-62 as 159 - b
  int spaceRun = 2;                 // spaces from this many on become runs; 0: never
  int repeatRun = 4;                // equal bytes from this many on become repeats; 0: never
};

// Appends the encoded line (length byte and codes) to `out`. Returns false,
// appending nothing, when the line needs more than 255 code bytes.
bool encodeLine(const std::string& oemLine, const encoding& how, std::string& out);

// The encoded report of all lines; throws std::length_error when a line
// needs more than 255 code bytes.
std::string encodeReport(const std::vector<std::string>& oemLines, const encoding& how = {});

// What the report decodes to: every line followed by "\n" (as OEM bytes).
std::string decodedText(const std::vector<std::string>& oemLines);

}  // namespace archive

#endif  // TARVIN_TESTS_REPORT_ENCODER_H
