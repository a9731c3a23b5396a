// consoleCodePage: what a console shows the bytes written to it as. Text in
// UTF-8 needs the console to show UTF-8; OEM text its own code page. The
// code page the console had when first written to is its own, and it shows
// that again at the end of the run.
#ifndef TARVIN_CONSOLECODEPAGE_H
#define TARVIN_CONSOLECODEPAGE_H

#include "win32.h"

class consoleCodePage {
 public:
  // Before text goes to a console: it shows UTF-8, or its own code page.
  void show(bool utf8);
  // The console shows its own code page again.
  void restore();

 private:
  UINT own_ = 0;    // what the console showed when first written to, 0: untouched
  UINT shows_ = 0;  // what it shows now
};

#endif  // TARVIN_CONSOLECODEPAGE_H
