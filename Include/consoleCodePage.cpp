#include "consoleCodePage.h"

void consoleCodePage::show(bool utf8) {
  if (own_ == 0) shows_ = own_ = GetConsoleOutputCP();
  if (own_ == 0) return;  // no console to tell
  const UINT wanted = utf8 ? CP_UTF8 : own_;
  if (wanted != shows_ && SetConsoleOutputCP(wanted)) shows_ = wanted;
}

void consoleCodePage::restore() {
  if (own_ && shows_ != own_ && SetConsoleOutputCP(own_)) shows_ = own_;
}
