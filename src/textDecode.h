// Decoding a report into UTF-16 text, for the code pages whose bytes are not one character each.
//
// A report is a sequence of lines, each a length byte n and n code bytes:
//   0-62, 193-255  the character of that byte in the OEM code page
//   63-127         the character of byte 159 - b
//   128-191        b - 128 spaces
//   192 c k        the character of byte c, k times (a character 0 adds nothing)
// Each line ends with "\n". The next line starts right after the n code bytes,
// even when a repeat took its operands from beyond them. Nothing is read
// outside the given bytes: a line that runs past the end is cut there (it
// still ends with "\n" and decoding stops), and a repeat whose operands are
// not both inside adds nothing.
#ifndef TARVIN_TEXTDECODE_H
#define TARVIN_TEXTDECODE_H

#include <cstddef>

#include "mstr.h"
#include "reportDecode.h"

// Appends the decoded text of the report whose bytes are the `size` bytes at
// `data` to `text`: its lines from the first while they start before
// `limit`, so that a report can be decoded piece by piece (call again with
// data + consumed, size - consumed). Returns the bytes of whole lines decoded
// (all of them when it reaches the report's end), the units appended, and
// the damage met, as the decoding to OEM bytes tells them.
reportDecode::result decodeReportText(const unsigned char* data, std::size_t size, mstr& text,
                             std::size_t limit = static_cast<std::size_t>(-1));

// The same decoding done plainly: one system conversion per character, runs
// built apart and added by their zero-terminated length. It serves an OEM
// code page in which a byte does not stand for exactly one unit, and it is
// the reference that the table-driven decoding must match.
reportDecode::result decodeReportTextPlain(const unsigned char* data, std::size_t size, mstr& text,
                                  std::size_t limit = static_cast<std::size_t>(-1));

#endif  // TARVIN_TEXTDECODE_H
