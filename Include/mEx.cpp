#include "mEx.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "decimal.h"
#include "win32.h"

namespace {

int textLength(const unsigned short* text) {
  return text ? lstrlenW(reinterpret_cast<LPCWSTR>(text)) : 0;
}

// A new heap block holding `a` followed by `b`, or null when the heap has
// no room.
unsigned short* concat(const unsigned short* a, int na, const unsigned short* b, int nb) {
  auto* block = static_cast<unsigned short*>(std::malloc((static_cast<size_t>(na) + nb + 1) * 2));
  if (!block) return nullptr;
  if (na) std::memcpy(block, a, static_cast<size_t>(na) * 2);
  if (nb) std::memcpy(block + na, b, static_cast<size_t>(nb) * 2);
  block[na + nb] = 0;
  return block;
}

}  // namespace

mEx::mEx()
    : sysError(0), code(0), message(nullptr), file(nullptr), function(nullptr), line(0), kind(errorKind::other),
      previous(nullptr) {}

mEx::mEx(const errorOrigin& at) : mEx() { setLocation(at); }

mEx::mEx(mEx&& other) noexcept
    : sysError(other.sysError), code(other.code), message(other.message), file(other.file),
      function(other.function), line(other.line), kind(other.kind), previous(other.previous) {
  other.sysError = 0;
  other.code = 0;
  other.message = other.file = other.function = nullptr;
  other.line = 0;
  other.kind = errorKind::other;
  other.previous = nullptr;
}

mEx::~mEx() { release(); }

void mEx::release() {
  std::free(message);
  std::free(file);
  std::free(function);
  message = file = function = nullptr;
  // Unlink the chain iteratively, so that a long chain cannot exhaust the stack.
  mEx* link = previous;
  previous = nullptr;
  while (link) {
    mEx* next = link->previous;
    link->previous = nullptr;
    delete link;
    link = next;
  }
}

unsigned short* mEx::widen(const char* text) {
  if (!text || !*text) return nullptr;
  int bytes = static_cast<int>(std::strlen(text));
  int units = MultiByteToWideChar(CP_OEMCP, 0, text, bytes, nullptr, 0);
  if (units <= 0) return nullptr;
  auto* block = static_cast<unsigned short*>(std::malloc((static_cast<size_t>(units) + 1) * 2));
  if (!block) return nullptr;
  int done = MultiByteToWideChar(CP_OEMCP, 0, text, bytes, reinterpret_cast<LPWSTR>(block), units);
  block[done > 0 ? done : 0] = 0;
  return block;
}

mEx& mEx::setLocation(const errorOrigin& at) {
  if (file) {
    mEx* earlier = new mEx(std::move(*this));
    previous = earlier;
  }
  std::free(file);
  std::free(function);
  file = widen(at.module);
  function = widen(at.function);
  line = at.line;
  code = at.code;
  kind = at.kind;
  return *this;
}

mEx& mEx::addSystemError() {
  sysError = GetLastError();
  LPWSTR text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                     FORMAT_MESSAGE_FROM_SYSTEM,
                 nullptr, GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                 reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (text) {
    appendText(reinterpret_cast<const unsigned short*>(text));
    LocalFree(text);
  }
  return *this;
}

mEx& mEx::appendText(const unsigned short* text) {
  int added = textLength(text);
  if (added == 0) return *this;
  unsigned short* joined = concat(message, textLength(message), text, added);
  if (joined) {
    std::free(message);
    message = joined;
  }
  return *this;
}

mEx& mEx::appendNumber(int value) {
  unsigned short digits[kMostDigits + 1];
  digits[putDecimal(static_cast<std::uint32_t>(value), digits)] = 0;
  return appendText(digits);
}

mEx& mEx::appendMultiByte(const char* text) {
  unsigned short* wide = widen(text);
  appendText(wide);
  std::free(wide);
  return *this;
}

mEx& mEx::getText(mEx& target) const {
  // The chain runs from the newest record to the oldest; the text lists
  // the oldest first.
  int depth = 0;
  for (const mEx* e = this; e; e = e->previous) ++depth;
  for (int i = depth - 1; i >= 0; --i) {
    const mEx* e = this;
    for (int k = 0; k < i; ++k) e = e->previous;
    target.appendText(u"Error number ")
        .appendNumber(static_cast<int>(e->sysError))
        .appendText(u": ")
        .appendText(e->message)
        .appendText(u"\nin module ")
        .appendText(e->file)
        .appendText(u" func <")
        .appendText(e->function)
        .appendText(u"> in string ")
        .appendNumber(e->line)
        .appendMultiByte("\n");
  }
  return target;
}
