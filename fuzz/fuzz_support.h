// What the fuzz targets share: a private scratch directory for the files a
// target writes, and UTF-16 text made from input bytes.
#ifndef TARVIN_FUZZ_SUPPORT_H
#define TARVIN_FUZZ_SUPPORT_H

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "mstr.h"

namespace fuzz {

// A directory of this process under $TMPDIR (or /tmp), removed when the
// process ends normally.
class scratch {
 public:
  static const std::string& root() {
    static scratch self;
    return self.root_;
  }
  static std::string path(const std::string& name) { return root() + "/" + name; }

  static void write(const std::string& name, const unsigned char* data, std::size_t size) {
    std::FILE* f = std::fopen(path(name).c_str(), "wb");
    if (!f) std::abort();  // the target could not test what it means to
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
  }
  static void remove(const std::string& name) { ::remove(path(name).c_str()); }

 private:
  scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarvin-fuzz-XXXXXX";
    if (!mkdtemp(&pattern[0])) std::abort();
    root_ = pattern;
  }
  ~scratch() { std::system(("rm -rf '" + root_ + "'").c_str()); }
  std::string root_;
};

// The ASCII text as an mstr.
inline mstr ascii(const std::string& text) {
  mstr out;
  for (char c : text) {
    unsigned short unit = static_cast<unsigned char>(c);
    out.append_n(&unit, 1);
  }
  return out;
}

// Reads input bytes two at a time as little-endian code units.
class units {
 public:
  units(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ + 1 >= size_; }
  unsigned short next() {
    if (empty()) return 0;
    unsigned short u = static_cast<unsigned short>(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    return u;
  }
  unsigned char byte() { return pos_ < size_ ? data_[pos_++] : 0; }

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace fuzz

#endif  // TARVIN_FUZZ_SUPPORT_H
