// textWriter: decoded report text into a byte sink in the form the output
// wants: the OEM bytes themselves, their UTF-8 (through the decoding level's
// conversion), or the inside of a JSON string; from OEM bytes or from UTF-16
// units. It goes piece by piece, so that a report of any size passes through
// bounded room, and leaves out the empty lines that end a report when it
// trims: line ends are held back until text follows them, and at the end
// one is written after the last line that has any.
#ifndef TARVIN_TEXTWRITER_H
#define TARVIN_TEXTWRITER_H

#include <cstddef>
#include <cstdint>

#include "byteSink.h"
#include "reportDecode.h"

enum class textForm { oem, utf8, json };

class textWriter {
 public:
  // Text converted to UTF-8 or JSON goes in pieces of at most this many
  // characters, so that its converted form (6 bytes each at most) fits the
  // room a sink gives.
  static constexpr std::size_t kPiece = 64 * 1024;
  // The most room a piece asks of the sink.
  static const std::size_t kMostRoomPastPiece;

  textWriter(byteSink& out, textForm f, bool trim, reportDecode::utf8Function toUtf8)
      : out_(out), form_(f), trim_(trim), toUtf8_(toUtf8) {}

  // A piece of OEM bytes, or of UTF-16 units.
  template <class Unit>
  void piece(const Unit* text, std::size_t count) {
    if (trim_) {
      std::size_t kept = count;
      while (kept > 0 && text[kept - 1] == '\n') --kept;
      if (kept == 0) {
        held_ += count;
        return;
      }
      lineEnds(held_);
      held_ = count - kept;
      count = kept;
      any_ = true;
    }
    for (std::size_t done = 0; done < count;) {
      const std::size_t part = count - done < kPiece ? count - done : kPiece;
      put(text + done, part);
      done += part;
    }
  }

  // The end of the report.
  void end() {
    if (trim_ && any_) lineEnds(1);
  }

  // The characters written.
  std::uint64_t units() const { return units_; }

 private:
  void lineEnds(std::uint64_t count);
  void put(const unsigned char* bytes, std::size_t count);
  void put(const unsigned short* units, std::size_t count);

  byteSink& out_;
  const textForm form_;
  const bool trim_;
  const reportDecode::utf8Function toUtf8_;
  std::uint64_t held_ = 0;  // line ends not yet written
  bool any_ = false;        // text written
  std::uint64_t units_ = 0;
};

#endif  // TARVIN_TEXTWRITER_H
