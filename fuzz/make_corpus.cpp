// Writes the seed corpus of the fuzz targets: make_corpus DIR (fuzz/corpus).
// One directory per target, a few small inputs each, in the layouts the
// targets read.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "report_encoder.h"

namespace {

std::string root;

void seed(const std::string& target, const std::string& name, const std::string& bytes) {
  mkdir((root + "/" + target).c_str(), 0755);
  archive::writeFile(root + "/" + target + "/" + name, bytes);
}

std::string length16(std::size_t n) { return {static_cast<char>(n & 0xFF), static_cast<char>(n >> 8)}; }

// UTF-16LE of ASCII text.
std::string wide(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += {c, '\0'};
  return out;
}

// The index target's layout: flags, index, data files.
std::string indexInput(unsigned flags, const std::string& index, const std::vector<std::string>& dataFiles) {
  std::string out(1, static_cast<char>(flags | dataFiles.size()));
  out += length16(index.size()) + index;
  for (std::size_t j = 0; j < dataFiles.size(); ++j)
    out += (j + 1 < dataFiles.size() ? length16(dataFiles[j].size()) : "") + dataFiles[j];
  return out;
}

std::string padded(std::string bytes, std::size_t blocks) {
  bytes.resize(blocks * 64, '\0');
  return bytes;
}

void decoderSeeds() {
  archive::encoding codes;
  codes.digitsAsCodes = true;
  codes.punctuationAsCodes = true;
  seed("decoder", "plain", archive::encodeReport({"REPORT 12", "", "  total:    300.00"}));
  seed("decoder", "codes", archive::encodeReport({"A-B  (7)", "xxxxxxxx"}, codes));
  seed("decoder", "repeat_past_line", std::string("\x01\xC0\x2A\x05\x01\x41", 6));
  seed("decoder", "cut_line", std::string("\x09\x5E\x5D", 3));
  seed("decoder", "repeat_of_zero", std::string("\x03\xC0\x00\x05\x00\x01\xBF", 7));
  // Where the vector decoders change windows: a repeat across 64 code bytes,
  // close 192 bytes, a line of 64 codes whose last repeat reads beyond it,
  // and the longest runs. Reports shorter than 128 bytes take the scalar
  // loop at every level: the shorter seeds follow two lines of 64 codes,
  // which keep the windows aligned as without them.
  std::string letters(61, '\x5E');
  const std::string before = "\x3F" + std::string(63, '\x5E') + "\x3F" + std::string(63, '\x5E');
  seed("decoder", "window_edges",
       "\x46" + letters + "\xC0\x2D\x05" + letters.substr(0, 6) + "\x40" + letters + "\x83\x84\xC0\x2D\x07\x02\x5E");
  seed("decoder", "close_repeats",
       before + "\x28" + letters.substr(0, 10) + "\xC0\xC0\x03\xC0\x2D\xC0" + letters.substr(0, 24));
  // Russian text, most letters repeats of one among literals (spaces,
  // digits, р-я), in lines of 20 to 76 characters: repeats in every place
  // of a window. "Станция Северная: температура воздуха 12,5 градуса, ветер
  // южный, давление 745 мм."
  const std::string sentence =
      "\x91\xE2\xA0\xAD\xE6\xA8\xEF \x91\xA5\xA2\xA5\xE0\xAD\xA0\xEF: \xE2\xA5\xAC\xAF\xA5\xE0\xA0\xE2\xE3\xE0\xA0 "
      "\xA2\xAE\xA7\xA4\xE3\xE5\xA0 12,5 \xA3\xE0\xA0\xA4\xE3\xE1\xA0, \xA2\xA5\xE2\xA5\xE0 \xEE\xA6\xAD\xEB\xA9, "
      "\xA4\xA0\xA2\xAB\xA5\xAD\xA8\xA5 745 \xAC\xAC.";
  std::vector<std::string> russian;
  for (std::size_t width = 20; width <= 76; width += 4) russian.push_back(sentence.substr(0, width));
  archive::encoding everyLetter;
  everyLetter.repeatRun = 0;
  seed("decoder", "russian", archive::encodeReport(russian, everyLetter));
  // Repeats of one in the last two places of a window: the next line right
  // after their operands, or its length byte and first code as the operands.
  seed("decoder", "repeat_at_window_end",
       before + "\x41" + std::string(62, '\x5E') + "\xC0\xA0\x01" + "\x3E" + std::string(61, '\x5E') + "\xC0" +
           "\x03\x41\x5E\x5D");
  std::string longest = "\xFF" + std::string(255, '\xBF') + "\xFF";
  for (int i = 0; i < 85; ++i) longest += "\xC0\x2A\xFF";
  seed("decoder", "longest_runs", longest);
}

void indexSeeds() {
  std::string report = archive::encodeReport({"first line", "second"});
  // Three records of data file 7 out of index order: blocks 10, 2 and 5.
  std::string three = archive::record("B", "1", 10, 7) + archive::record("A", "2", 2, 7) +
                      archive::record("C", "3", 5, 7);
  std::string file7 = padded("", 2) + padded(report, 3) + padded(report, 5) + report;
  seed("index", "three_records", indexInput(0, three, {file7}));
  // Two data files, and a record whose key lengths overrun their fields.
  std::string two = archive::record("KEY", "1", 0, 1) + archive::record("KEY", 20, "123456", 30, 1, 2);
  seed("index", "two_files", indexInput(0, two, {padded(report, 1) + report, report}));
  // A trailing piece of 25 bytes, and a block beyond the end of the file.
  std::string piece = archive::record("K", "", 0, 3) + archive::record("L", "", 0xFFFFFFFFu, 3).substr(0, 25);
  seed("index", "trailing_piece", indexInput(0, piece, {report}));
  seed("index", "missing_data_file", indexInput(0, archive::record("K", "", 0, 9) + archive::record("L", "", 1, 9), {}));
  seed("index", "data_file_is_directory", indexInput(8, archive::record("K", "", 0, 4), {report}));
  seed("index", "no_extension_empty_data", indexInput(4, archive::record("K", "", 0, 0), {""}));
}

void listFileSeeds() {
  seed("list_file", "crlf", "/srv/a\r\n/srv/b\r\n");
  seed("list_file", "blank_lines_and_spaces", "\r\n\r\nwith space/x\r\n\r\n\r\n  y \r\n\r\n");
  seed("list_file", "lf_only", "a\nb\nc\n");
  seed("list_file", "nul_and_oem", std::string("d\0ir\r\n\x80\xAF\xE0\r", 11));
  // Lines that start with NUL bytes: once read as the current directory.
  seed("list_file", "nul_lines", std::string("\0\0\0\r\n\0/srv/a\r\n/\0", 16));
}

void pathsSeeds() {
  // flags, set lengths (delimiters, quotes, spaces), sets, text.
  seed("paths", "switch", std::string("\0\1\0\0", 4) + wide(":") + wide("log:\"a:b\":c"));
  seed("paths", "list_entries", std::string("\0\1\0\1", 4) + wide("\r") + wide("\n") + wide("\na\r\n\r\nb c\r"));
  seed("paths", "path", std::string("\3\1\0\0", 4) + wide("/") + wide("/srv/arch//old.ARCH.idx"));
  seed("paths", "bare_name", std::string("\3\1\0\0", 4) + wide(".") + wide("name.with.dots"));
}

void cmdlineSeeds() {
  auto args = [](std::initializer_list<const char*> list) {
    std::string out;
    for (const char* a : list) out += (out.empty() ? "" : std::string(2, '\0')) + wide(a);
    return out;
  };
  seed("cmdline", "usage", args({"/?:abc", "/srv/a"}));
  seed("cmdline", "switches", args({"/install", "/run", "/log:out.txt", "/deb:5", "/a:b:c", "\"/test\""}));
  seed("cmdline", "directories", args({"/srv/2005", "d:\\old\\2004", "rel/2003", "?", "\"\""}));
  seed("cmdline", "list_files", args({"@a", "@b/srv/x\r\n/srv/y\r\n", "@", "\"@c\""}));
  seed("cmdline", "gnu_forms",
       args({"--out", "x", "-oy", "--s", "--verif", "-q", "-V", "-o", "-", "--simd", "avx2", "--key"}));
}

}  // namespace

int main(int argc, char** argv) {
  root = argc > 1 ? argv[1] : "fuzz/corpus";
  mkdir(root.c_str(), 0755);
  decoderSeeds();
  indexSeeds();
  listFileSeeds();
  pathsSeeds();
  cmdlineSeeds();
  return 0;
}
