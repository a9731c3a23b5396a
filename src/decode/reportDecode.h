// Decoding of report codes straight into OEM bytes.
//
// Valid where the OEM code page maps every byte to one UTF-16 unit and that
// unit back to the same byte (code page 866 does): the text is then the bytes
// themselves, and the decoding needs no conversion at all. A literal code b
// gives byte b (0-62, 193-255) or 159 - b (63-127), a space run b - 128
// spaces, a repeat 192 c k the byte c k times, or nothing when c is 0 (its
// character ends the run's zero-terminated text). Every line ends with "\n";
// the result is byte for byte the text of decodeReportTextPlain. Nothing is
// read outside the given bytes: a line whose count runs past the end is cut
// there (it still ends with "\n" and decoding stops), and a repeat whose two
// operand bytes are not both inside adds nothing and ends its line.
//
// Levels: the scalar loop runs everywhere; the AVX2 and AVX-512 levels decode
// 64 bytes at a time, across line ends, and are built only for x86. Each
// lives in a file of its own in this folder, compiled for its instruction
// set (levels.h). Each level also converts OEM bytes to UTF-8 through a
// table of the code page (utf8Table), for output in that form.
#ifndef TARVIN_DECODE_REPORTDECODE_H
#define TARVIN_DECODE_REPORTDECODE_H

#include <cstddef>
#include <cstdint>

namespace reportDecode {

enum class level : int { scalar = 0, avx2 = 1, avx512 = 2 };

// The highest level this processor and system run.
level best();
// Whether this build has the level and this processor and system run it; the
// scalar level always. The processor is asked once.
bool supported(level l);
// "scalar", "avx2", "avx512".
const char* name(level l);

// The most characters one code byte gives: a repeat of 255 in three bytes.
constexpr std::size_t kMostPerCodeByte = 85;
// The most characters one line gives: 255 codes, one more repeat whose
// operands lie beyond the line, and "\n".
constexpr std::size_t kLongestLine = kMostPerCodeByte * 255 + 255 + 1;
// Bytes past the produced text that a level may overwrite.
constexpr std::size_t kSlack = 64;
// Room one more line always fits in, its slack included.
constexpr std::size_t kLineRoom = kLongestLine + kSlack;

// Where a report's bytes end too soon, which the decoding mends: the last
// line's length runs past them (the line is cut there), or the operands of
// a repeat do (it adds nothing).
enum class damage : unsigned char { none, lineCut, repeatCut };

struct result {
  std::size_t consumed;  // report bytes decoded: whole lines
  std::size_t produced;  // text bytes written at `out`
  damage damaged;        // met in this call, at the end of the report
  std::size_t damagedAt;  // the length byte of the cut line, or the repeat code, from `data`
};

// A decode function: decodes whole lines of the report bytes [data, data + size) into
// OEM bytes at `out`, which has `room` bytes (room >= kLineRoom), and stops
// when the next line might not fit in what is left, or at the end of the
// report. The report is decoded by calling again with data + consumed,
// size - consumed (same report end, so repeats that read beyond their line
// still see the same bytes) until consumed == size; each call with room >=
// kLineRoom makes progress. Pure: no allocation, no global state,
// thread-safe.
typedef result (*decodeFunction)(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room);

// The UTF-8 of every OEM byte, in planes indexed by the byte: its length (0
// to 3) and its first, second and third byte (those past the length are
// stored but not kept); and the same as one word a byte, for levels that
// store a byte's UTF-8 at once. The caller makes it once from the code page.
struct utf8Table {
  unsigned char length[256];
  unsigned char first[256];
  unsigned char second[256];
  unsigned char third[256];
  std::uint32_t word[256];  // in memory order: first, second, third byte, length
  bool asciiAsIs;           // bytes 0-127 are one byte each, themselves
};
// The table of these planes, with its words and asciiAsIs made from them.
utf8Table makeUtf8Table(const unsigned char* length, const unsigned char* first, const unsigned char* second,
                        const unsigned char* third);

// Bytes past 3 * count that a conversion to UTF-8 may overwrite.
constexpr std::size_t kUtf8Slack = 64;

// A conversion of `count` OEM bytes at `in` to UTF-8 at `out`, which has
// room for 3 * count + kUtf8Slack bytes; returns the bytes it gave. Every
// level gives the same bytes, those of the table one byte at a time. Pure,
// thread-safe.
typedef std::size_t (*utf8Function)(const unsigned char* in, std::size_t count, unsigned char* out,
                                    const utf8Table& table);

// What decoding the report bytes [data, data + size) would meet, without
// the text: the damage, at the same byte as a decode function tells it.
// Both kinds of damage are decided by the line lengths alone and by the
// codes of the lines that reach into the last two bytes, so only those are
// read code by code; every other line is stepped over by its length byte,
// which still reads a byte of every page. Checks from the first line on,
// and stops at the first line after it that begins at or past `most`
// (consumed then ends there), or at the end; `produced` is 0. Pure,
// thread-safe.
result check(const unsigned char* data, std::size_t size, std::size_t most);

// A level's functions; called as its decode function.
struct decoder {
  decodeFunction decode;
  utf8Function utf8;
  result operator()(const unsigned char* data, std::size_t size, unsigned char* out, std::size_t room) const {
    return decode(data, size, out, room);
  }
};

// The functions of a level, or of the highest supported level below it. The
// caller chooses once and keeps them.
decoder select(level l);

// The levels, lowest first: kLevels[i].id is level i. `runs` tells whether
// this processor and system run the level (false where the build has no code
// for it, and `decode` and `utf8` are then null).
struct levelInfo {
  level id;
  const char* name;
  bool (*runs)();
  decodeFunction decode;
  utf8Function utf8;
};
constexpr std::size_t kLevelCount = 3;
extern const levelInfo kLevels[kLevelCount];

}  // namespace reportDecode

#endif  // TARVIN_DECODE_REPORTDECODE_H
