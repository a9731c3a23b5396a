// The OEM code page as two tables, built once from the system's own
// conversion: byte -> UTF-16 unit and unit -> byte. Report decoding and
// console output go through them instead of a conversion call per character;
// the results are exactly those of the system functions.
#ifndef TARVIN_OEMTABLE_H
#define TARVIN_OEMTABLE_H

class oemTable {
 public:
  static const oemTable& get();

  // The unit of each byte, valid where `single` says the byte converts to
  // exactly one unit.
  unsigned short wide[256];
  bool single[256];
  // The UTF-8 of each byte's unit (a byte without one as "?"), in planes
  // indexed by the byte: its length (at most 3) and its bytes.
  unsigned char utf8Length[256];
  unsigned char utf8[3][256];
  // Every byte converts to one unit and that unit back to the same byte, so
  // decoded text can be written as the bytes it was decoded from.
  bool roundTrip;

  // Converts n units to OEM bytes at `out` (room for n bytes). Returns the
  // number of bytes, or -1 when a unit has no byte in the table, in which
  // case the caller uses the system conversion.
  int narrow(const unsigned short* units, int n, char* out) const;

 private:
  oemTable();
  // The byte of each unit, or -1 where the system conversion must decide.
  short toByte[65536];
};

#endif  // TARVIN_OEMTABLE_H
