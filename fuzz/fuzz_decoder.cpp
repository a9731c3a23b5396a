// The report decoders on arbitrary bytes, checked against the plain decoding
// that follows the code table one byte at a time through the system
// conversion: the table decoder into UTF-16, and every level of the decoder
// into OEM bytes, in one room for all of the text (windows across lines to
// the end) and resumed call after call in rooms of varying size; and the
// check of a report against the damage decoding it finds.
// Decoding expands input up to some 85 times: run with -max_len=65536.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "oemTable.h"
#include "reportDecode.h"
#include "textDecode.h"

namespace {

[[noreturn]] void differs(const reportDecode::levelInfo& level, const std::string& got, const std::string& expected) {
  std::size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  std::fprintf(stderr, "%s: decoded bytes differ at byte %zu: %zu bytes, plain decoding %zu\n", level.name, at,
               got.size(), expected.size());
  std::abort();
}

// Decodes at one level, each call into a buffer of exactly its room, which
// must hold nothing written past the produced text and its slack: with
// `whole`, a room for all of the text, else rooms of varying size.
std::string decodeInRooms(const reportDecode::levelInfo& level, const unsigned char* data, std::size_t size,
                          bool whole, reportDecode::result& damage) {
  const unsigned char kUntouched = 0xA5;
  std::string text;
  damage = reportDecode::result{0, 0, reportDecode::damage::none, 0};
  unsigned seed = static_cast<unsigned>(size) * 2654435761u + (size ? data[0] : 0u);
  for (std::size_t left = size; left;) {
    seed = seed * 1103515245u + 12345u;
    // From the least room, where lines are decoded one by one, to rooms
    // where windows run across lines until the room nearly runs out.
    std::vector<unsigned char> room(whole ? 2 * reportDecode::kLineRoom + reportDecode::kMostPerCodeByte * left
                                          : reportDecode::kLineRoom + (seed >> 8) % 16384);
    std::memset(room.data(), kUntouched, room.size());
    reportDecode::result r = level.decode(data + (size - left), left, room.data(), room.size());
    if (!r.consumed || r.consumed > left || r.produced + reportDecode::kSlack > room.size()) {
      std::fprintf(stderr, "%s: %zu of %zu bytes consumed, %zu produced in a room of %zu\n", level.name, r.consumed,
                   left, r.produced, room.size());
      std::abort();
    }
    for (std::size_t i = r.produced + reportDecode::kSlack; i < room.size(); ++i)
      if (room[i] != kUntouched) {
        std::fprintf(stderr, "%s: byte %zu written, %zu produced\n", level.name, i, r.produced);
        std::abort();
      }
    text.append(room.begin(), room.begin() + static_cast<std::ptrdiff_t>(r.produced));
    if (r.damaged != reportDecode::damage::none) {
      damage.damaged = r.damaged;
      damage.damagedAt = size - left + r.damagedAt;
    }
    left -= r.consumed;
  }
  return text;
}

// Every level's UTF-8 of the bytes themselves, in exactly the room it may
// use, against the scalar level's: through the code page's table and through
// one made from the input's size (bytes of 0 to 3 bytes, ASCII changed).
void compareUtf8(const unsigned char* data, std::size_t size) {
  static unsigned char made[4][256];
  for (unsigned b = 0; b < 256; ++b)
    for (unsigned p = 0; p < 4; ++p) made[p][b] = static_cast<unsigned char>((b * (2 * p + 1) + size) % (p ? 256 : 4));
  const oemTable& oem = oemTable::get();
  for (const reportDecode::utf8Table& table :
       {reportDecode::makeUtf8Table(oem.utf8Length, oem.utf8[0], oem.utf8[1], oem.utf8[2]),
        reportDecode::makeUtf8Table(made[0], made[1], made[2], made[3])}) {
    std::vector<unsigned char> room(3 * size + reportDecode::kUtf8Slack);
    const std::size_t scalar = reportDecode::kLevels[0].utf8(data, size, room.data(), table);
    const std::string expected(room.begin(), room.begin() + static_cast<std::ptrdiff_t>(scalar));
    for (const reportDecode::levelInfo& level : reportDecode::kLevels) {
      if (!reportDecode::supported(level.id)) continue;
      std::vector<unsigned char> out(room.size());
      const std::size_t n = level.utf8(data, size, out.data(), table);
      if (n > 3 * size || std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)) != expected) {
        std::fprintf(stderr, "%s: UTF-8 of the bytes differs from the scalar level's\n", level.name);
        std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  // Odd sizes decode after text already there, which must stay untouched.
  mstr fast, plain;
  if (size % 2) {
    fast.append(u"#");
    plain.append(u"#");
  }
  reportDecode::result reference{};
  try {
    reference = decodeReportText(data, size, fast);
  } catch (mEx&) {
    fast.clear();
    plain.clear();
    return 0;  // no memory for the text: the one failure the decoder has
  }
  const reportDecode::result plainDamage = decodeReportTextPlain(data, size, plain);
  if (plainDamage.damaged != reference.damaged || plainDamage.damagedAt != reference.damagedAt) {
    std::fprintf(stderr, "damage differs from the plain decoding's\n");
    std::abort();
  }
  // The check finds that damage, in one call and in steps that end at
  // every few lines.
  for (std::size_t most : {size, 1 + size % 300}) {
    reportDecode::result found{0, 0, reportDecode::damage::none, 0};
    for (std::size_t at = 0; at < size;) {
      const reportDecode::result r = reportDecode::check(data + at, size - at, most);
      if (!r.consumed || r.consumed > size - at) std::abort();
      if (r.damaged != reportDecode::damage::none) found = {0, 0, r.damaged, at + r.damagedAt};
      at += r.consumed;
    }
    if (found.damaged != reference.damaged || found.damagedAt != reference.damagedAt) {
      std::fprintf(stderr, "the check finds damage %d at %zu, decoding %d at %zu\n", static_cast<int>(found.damaged),
                   found.damagedAt, static_cast<int>(reference.damaged), reference.damagedAt);
      std::abort();
    }
  }
  int n = fast.get_count();
  if (n != plain.get_count() || (n && std::memcmp(fast.get_data(), plain.get_data(), 2 * static_cast<size_t>(n)))) {
    int at = 0;
    while (at < n && at < plain.get_count() && fast.get_data()[at] == plain.get_data()[at]) ++at;
    std::fprintf(stderr, "decoded text differs at unit %d: %d units, plain decoding %d\n", at, n,
                 plain.get_count());
    std::abort();
  }
  std::string expected(static_cast<std::size_t>(n), '\0');
  if (oemTable::get().narrow(plain.get_data(), n, &expected[0]) != n) std::abort();  // code page 866 round-trips
  // Emptied, so that a long text writes no size line when released.
  fast.clear();
  plain.clear();

  compareUtf8(data, size);
  if (size % 2) expected.erase(0, 1);
  for (const reportDecode::levelInfo& level : reportDecode::kLevels) {
    if (!reportDecode::supported(level.id)) continue;
    for (bool whole : {true, false}) {
      reportDecode::result damage{};
      std::string text = decodeInRooms(level, data, size, whole, damage);
      if (text != expected) differs(level, text, expected);
      // The same damage, at the same byte.
      if (damage.damaged != reference.damaged || damage.damagedAt != reference.damagedAt) {
        std::fprintf(stderr, "%s: damage %d at %zu, the plain decoding %d at %zu\n", level.name,
                     static_cast<int>(damage.damaged), damage.damagedAt, static_cast<int>(reference.damaged),
                     reference.damagedAt);
        std::abort();
      }
    }
  }
  return 0;
}
