#include "mstr.h"

#include "decimal.h"

namespace {

const unsigned short kSpace[] = {u' ', 0};
const unsigned short kEquals[] = {u'=', 0};
const unsigned short kQuote[] = {u'"', 0};

bool inSet(unsigned short unit, const unsigned short* set) {
  if (unit == 0) return false;
  for (; *set; ++set)
    if (*set == unit) return true;
  return false;
}

const unsigned short* orSpace(const unsigned short* set) { return set && *set ? set : kSpace; }

}  // namespace

mstr& mstr::append(const unsigned short* text) {
  if (text) insert(text, last, lstrlenW(reinterpret_cast<LPCWSTR>(text)));
  return *this;
}

mstr& mstr::assign(const mstr& other) {
  if (&other != this) {
    clear();
    base::append(other);
  }
  return *this;
}

mstr& mstr::assign(const unsigned short* text) {
  if (text && block && text >= block && text < block_end) {
    mstr copy(text);  // the text lies in this string's own storage
    return assign(copy);
  }
  clear();
  return append(text);
}

mstr& mstr::appendNumber(int value) {
  unsigned short digits[kMostDigits];
  append_n(digits, static_cast<int>(putDecimal(static_cast<unsigned int>(value), digits)));
  return *this;
}

mstr& mstr::setNumber(int value) {
  clear();
  return appendNumber(value);
}

mstr& mstr::padLeft(int width, const unsigned short* pad) {
  for (int i = 0; i < width && get_count() < width && pad; ++i) insert(pad, first, 1);
  return *this;
}

mstr& mstr::appendMultiByte(const char* bytes, int count, unsigned codePage) {
  if (!bytes) return *this;
  int units = MultiByteToWideChar(codePage, 0, bytes, count, nullptr, 0);
  if (units <= 0) return *this;
  unsigned short* at = reserve_end(units);
  int done = MultiByteToWideChar(codePage, 0, bytes, count, reinterpret_cast<LPWSTR>(at), units);
  commit_end(done > 0 ? done : 0);
  return *this;
}

unsigned short* mstr::findChar(unsigned short unit) const {
  for (unsigned short* p = first; p && p != last; ++p)
    if (*p == unit) return p;
  return nullptr;
}

void mstr::split(mstr_list& list, const mstr& delimiters, const unsigned short* quotes,
                 const unsigned short* spaces) const {
  int n = get_count();
  if (n == 0) return;
  const unsigned short* D = delimiters.get_count() ? delimiters.c_str() : kEquals;
  const unsigned short* Q = quotes ? quotes : kQuote;
  const unsigned short* S = spaces ? spaces : kSpace;
  const unsigned short* s = first;

  // Trailing space units of the whole text take no part (the first unit is
  // never examined).
  int end = n - 1;
  while (end > 0 && inSet(s[end], S)) --end;
  ++end;

  int p = 0;
  while (p < end) {
    int start = p;
    int stop = p;
    if (!inSet(s[p], D)) {
      // Skip leading spaces, and with them at most one delimiter.
      bool skippedDelimiter = false;
      while (p < end) {
        if (inSet(s[p], S)) {
          ++p;
        } else if (!skippedDelimiter && inSet(s[p], D)) {
          skippedDelimiter = true;
          ++p;
        } else {
          break;
        }
      }
      start = p;
      // Scan to a delimiter outside quotes; spaces just before it are not
      // part of the token.
      unsigned short openQuote = 0;
      int trailingSpaces = 0;
      while (p < end) {
        unsigned short u = s[p];
        if (openQuote) {
          if (u == openQuote) openQuote = 0;
        } else if (inSet(u, D)) {
          break;
        } else if (inSet(u, Q)) {
          openQuote = u;
          trailingSpaces = 0;
        } else if (inSet(u, S)) {
          ++trailingSpaces;
        } else {
          trailingSpaces = 0;
        }
        ++p;
      }
      stop = p - trailingSpaces;
    }
    mstr* token = list.at(-1);
    token->append_n(s + start, stop - start);
    while (p < end && inSet(s[p], S)) ++p;
    ++p;
  }
}

void mstr::split(mstr_list& list, const unsigned short* delimiters, const unsigned short* quotes,
                 const unsigned short* spaces) const {
  mstr set(delimiters);
  split(list, set, quotes, spaces);
}

mstr& mstr::trimRight(const unsigned short* set) {
  int n = get_count();
  if (n == 0) return *this;
  set = orSpace(set);
  int keep = n - 1;
  while (keep > 0 && inSet(first[keep], set)) --keep;
  erase(first + keep + 1, last);
  return *this;
}

mstr& mstr::trim(const unsigned short* set) {
  trimRight(set);
  set = orSpace(set);
  int n = get_count();
  int skip = 0;
  while (skip < n && inSet(first[skip], set)) ++skip;
  erase(first, first + skip);
  return *this;
}

int mstr::toInt() const { return StrToIntW(wide()); }

int mstr::compare(const unsigned short* text) const {
  static const unsigned short empty = 0;
  int r = StrCmpW(wide(), reinterpret_cast<LPCWSTR>(text ? text : &empty));
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
