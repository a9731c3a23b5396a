// Which arguments are switches on POSIX, where an argument that begins with
// "/" is usually an absolute path: only the forms the program knows are taken.
#include <string_view>

#include "posix/internal.h"

namespace platform {

bool isSwitch(const WCHAR* arg) {
  if (arg == nullptr) return false;
  const std::u16string_view text(arg);
  constexpr std::u16string_view exact[] = {u"/?", u"/install", u"/remove", u"/start", u"/test",
                                           u"/run"};
  constexpr std::u16string_view prefixes[] = {u"/?:", u"/log:", u"/deb:"};
  for (const std::u16string_view name : exact) {
    if (text == name) return true;
  }
  for (const std::u16string_view prefix : prefixes) {
    if (text.substr(0, prefix.size()) == prefix) return true;
  }
  return false;
}

}  // namespace platform
