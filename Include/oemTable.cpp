#include "oemTable.h"

#include "win32.h"

const oemTable& oemTable::get() {
  static const oemTable table;
  return table;
}

oemTable::oemTable() : wide(), single(), utf8Length(), utf8(), roundTrip(true), toByte() {
  for (short& b : toByte) b = -1;
  // Each byte on its own, as the decoder converts it.
  for (int b = 0; b < 256; ++b) {
    char byte = static_cast<char>(b);
    WCHAR unit[4] = {};
    single[b] = MultiByteToWideChar(CP_OEMCP, 0, &byte, 1, unit, 4) == 1;
    wide[b] = single[b] ? static_cast<unsigned short>(unit[0]) : 0;
  }
  // A unit maps back to a byte only where the system's own conversion
  // gives that byte, so the table never disagrees with it.
  for (int b = 0; b < 256; ++b) {
    if (!single[b]) continue;
    WCHAR unit = static_cast<WCHAR>(wide[b]);
    char back[4] = {};
    if (WideCharToMultiByte(CP_OEMCP, 0, &unit, 1, back, 4, nullptr, nullptr) == 1 &&
        static_cast<unsigned char>(back[0]) == b)
      toByte[wide[b]] = static_cast<short>(b);
  }
  for (int b = 0; b < 256; ++b) roundTrip = roundTrip && single[b] && toByte[wide[b]] == b;
  for (int b = 0; b < 256; ++b) {
    const WCHAR unit = single[b] ? static_cast<WCHAR>(wide[b]) : static_cast<WCHAR>(u'?');
    char bytes[4] = {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, &unit, 1, bytes, 4, nullptr, nullptr);
    utf8Length[b] = static_cast<unsigned char>(n > 0 && n <= 3 ? n : 0);
    for (int i = 0; i < 3; ++i) utf8[i][b] = static_cast<unsigned char>(bytes[i]);
  }
}

int oemTable::narrow(const unsigned short* units, int n, char* out) const {
  for (int i = 0; i < n; ++i) {
    short b = toByte[units[i]];
    if (b < 0) return -1;
    out[i] = static_cast<char>(b);
  }
  return n;
}
