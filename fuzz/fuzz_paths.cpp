// Splitting texts by fuzzed sets, and the path rule with the names made from
// its result.
//
// Input: a flags byte, the lengths of the delimiter, quote and space sets (one
// byte each, up to 7 units), the sets, then the text; all text is UTF-16,
// two bytes a unit.
//   flags bit 0  no quote set (the default, the double quote)
//   flags bit 1  no space set (the default, the space)
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "mFileObject.h"

namespace {

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

std::vector<unsigned short> set(fuzz::units& in, unsigned length) {
  std::vector<unsigned short> units;
  for (unsigned i = 0; i < length % 8; ++i) units.push_back(in.next());
  units.push_back(0);  // a 0 unit inside ends the set early, as in a C text
  return units;
}

bool isPrefix(const mstr& prefix, const mstr& text) {
  return prefix.get_count() <= text.get_count() &&
         std::equal(prefix.get_data(), prefix.get_end(), text.get_data());
}

void checkSplit(const mstr& text, const std::vector<unsigned short>& delimiters,
                const unsigned short* quotes, const unsigned short* spaces) {
  mstr_list tokens;
  text.split(tokens, delimiters.data(), quotes, spaces);
  // Tokens are pieces of the text that do not overlap.
  long total = 0;
  for (int i = 0; i < tokens.get_count(); ++i) total += tokens.get_data()[i].get_count();
  if (tokens.get_count() > text.get_count() || total > text.get_count()) fault("split made more text than it had");
}

void checkPath(const mstr& text) {
  mFileObject object(text);
  mstr full, stem;
  object.getFullPath(full);
  // The name joins as a C text: a 0 unit inside it ends the path there.
  int name = 0;
  while (name < object.get_count() && object.c_str()[name]) ++name;
  if (full.get_count() != object.dir.get_count() + 1 + name) fault("full path is not dir, separator, name");
  object.getNameNoExt(stem);
  if (!isPrefix(stem, object)) fault("the name less its extension is not a prefix of the name");

  // The same rule through setPath, on an object that held a path before.
  mFileObject again(full);
  again.setPath(text);
  if (again != object || again.dir != object.dir) fault("setPath and construction differ");
  full.clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  fuzz::units in(data, size);
  unsigned flags = in.byte();
  unsigned dLength = in.byte(), qLength = in.byte(), sLength = in.byte();
  std::vector<unsigned short> delimiters = set(in, dLength);
  std::vector<unsigned short> quotes = set(in, qLength);
  std::vector<unsigned short> spaces = set(in, sLength);
  mstr text;
  while (!in.empty()) {
    unsigned short unit = in.next();
    text.append_n(&unit, 1);
  }

  try {
    checkSplit(text, delimiters, flags & 1 ? nullptr : quotes.data(), flags & 2 ? nullptr : spaces.data());
    checkPath(text);
  } catch (mEx&) {
    // No memory for a text.
  }
  text.clear();
  return 0;
}
