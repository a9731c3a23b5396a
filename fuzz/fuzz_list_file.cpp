// The list-file reader on a file of arbitrary bytes.
#include <cstdio>
#include <cstdlib>

#include "fuzz_support.h"
#include "mFileObject.h"

namespace {

bool holdsCarriageReturn(const mstr& text) { return text.findChar(u'\r') != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  fuzz::scratch::write("dirs.lst", data, size);
  {
    mFileList list;
    try {
      mFileObject::GetFilesFromFileList(list, fuzz::ascii(fuzz::scratch::path("dirs.lst")));
    } catch (mEx&) {
      std::abort();  // an existing, readable file must be read
    }
    for (auto it = list.begin(); auto* n = it.step();) {
      const mFileObject& entry = *n->value;
      // A carriage return always ends an entry: none is part of a directory.
      if (holdsCarriageReturn(entry) || holdsCarriageReturn(entry.dir)) {
        std::fprintf(stderr, "an entry holds a carriage return\n");
        std::abort();
      }
      // A line with a NUL byte is skipped: no directory is left that the
      // system would read only up to it.
      if (entry.findChar(0) || entry.dir.findChar(0)) {
        std::fprintf(stderr, "an entry holds a NUL byte\n");
        std::abort();
      }
    }
  }
  fuzz::scratch::remove("dirs.lst");
  return 0;
}
