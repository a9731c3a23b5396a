// Writes a reproducible archive corpus for the benchmarks, and the text that
// tarvin must print for it.
//
//   make_corpus reports DIR [MIB [MIX]]
//                                   archives of about MIB MiB of decoded text
//                                   (default 1024) in DIR/archives, the
//                                   expected output in DIR/expected.txt and
//                                   the bytes of the data files (the codes
//                                   tarvin decodes) in DIR/codes.txt; MIX
//                                   is "standard" (the default), "repeats",
//                                   where a quarter of the codes are repeats,
//                                   "russian", short Russian reports, 300 to
//                                   600 to an index, where most letters are
//                                   repeats, or "latin", the same archive
//                                   with one upper-case Latin letter for each
//                                   Cyrillic one
//   make_corpus records DIR N [shuffled]
//                                   one index of N records in DIR/records,
//                                   with tiny reports, and DIR/expected.txt;
//                                   "shuffled" writes the records out of key
//                                   order
//   make_corpus salvage DIR [N]     N reports (default 10,000) in the four
//                                   data files of DIR/salvage, without their
//                                   index, and where each lies in
//                                   DIR/salvage.txt
//   make_corpus salvage-shares DIR  reads `tarvin --list --salvage
//                                   DIR/salvage` on standard input and tells
//                                   the share of those reports that came
//                                   back whole, merged with a neighbour, or
//                                   split
//
// Reports are a few hundred bytes to 100 KB long and mix what real reports
// hold: upper-case Latin and Cyrillic words, numbers, columns aligned with
// runs of spaces, ruled lines of repeated characters and empty lines (the
// Russian mixes: see report_generator.h). Every
// index file has a name of its own and every key sorts by its number, so the
// order of the output is the order of generation.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "archive_writer.h"
#include "report_generator.h"

namespace {

using bench::generator;

std::string numbered(const char* prefix, unsigned n, int digits) {
  std::string s = std::to_string(n);
  return prefix + std::string(static_cast<size_t>(digits) - s.size(), '0') + s;
}

// Appends one report and its separator line; returns the length of the
// output text of the report (its text and "+++N").
size_t appendExpected(std::FILE* out, const std::string& text, unsigned& counter) {
  std::fwrite(text.data(), 1, text.size(), out);
  std::string separator = "+++" + std::to_string(counter++) + "\n";
  std::fwrite(separator.data(), 1, separator.size(), out);
  return text.size() + separator.size() - 1;
}

// When the last report's output text is longer than 10000 characters, its
// size line follows at the end of the run.
void appendSizeLine(std::FILE* out, size_t lastText) {
  if (lastText <= 10000) return;
  std::string line = "<>\x90\xa0\xa7\xac\xa5\xe0 \xe1\xe2\xe0\xae\xaa\xa8<> " + std::to_string(lastText) + "\n";
  std::fwrite(line.data(), 1, line.size(), out);
}

// The text and encoding of a report of the mix: log-uniform lengths from
// 300 bytes to 100 KB.
void mixed(generator& g, archive::report& rep) {
  rep.lines = g.report(g.reportBytes());
  rep.how = g.encoding();
}

int writeReports(const std::string& dir, double mib, bench::mix mix) {
  generator g(20260101, mix);
  std::FILE* expected = std::fopen((dir + "/expected.txt").c_str(), "wb");
  if (!expected) return 1;
  const double total = mib * 1024 * 1024;
  const unsigned perDirectory = 25;
  double written = 0;
  unsigned counter = 0, key = 0;
  size_t last = 0;
  std::uintmax_t codeBytes = 0;
  for (unsigned index = 0; written < total; ++index) {
    std::string sub = dir + "/archives/" + numbered("d", index / perDirectory, 3);
    archive::writer w(sub, numbered("I", index, 5) + ".IDX");
    const unsigned perIndex = bench::russianText(mix) ? 300 + g.below(301) : 100;
    for (unsigned r = 0; r < perIndex && written < total; ++r) {
      archive::report rep;
      rep.major = numbered("R", key++, 7);
      rep.minor = "000001";
      rep.fileNumber = g.below(4);
      mixed(g, rep);
      w.add(rep);
      for (const std::string& l : rep.lines) written += static_cast<double>(l.size() + 1);
    }
    w.write();
    for (const std::string& text : w.expected()) last = appendExpected(expected, text, counter);
    for (unsigned n = 0; n < 4; ++n) {
      std::error_code absent;
      const std::uintmax_t size = std::filesystem::file_size(w.dataFilePath(n), absent);
      if (!absent) codeBytes += size;
    }
  }
  appendSizeLine(expected, last);
  std::fclose(expected);
  std::FILE* codes = std::fopen((dir + "/codes.txt").c_str(), "wb");
  if (!codes) return 1;
  std::fprintf(codes, "%ju\n", codeBytes);
  std::fclose(codes);
  std::printf("%u reports\n", counter);
  return 0;
}

int writeRecords(const std::string& dir, unsigned records, bool shuffled) {
  generator g(7);
  archive::writer w(dir + "/records", "MANY.IDX");
  // keyOf[r]: the key number of record r; the output is in key order.
  std::vector<unsigned> keyOf(records);
  for (unsigned r = 0; r < records; ++r) keyOf[r] = r;
  if (shuffled) std::shuffle(keyOf.begin(), keyOf.end(), std::mt19937(11));
  std::vector<unsigned> recordOf(records);
  for (unsigned r = 0; r < records; ++r) recordOf[keyOf[r]] = r;
  for (unsigned r = 0; r < records; ++r) {
    archive::report rep;
    rep.major = numbered("K", keyOf[r], 7);
    rep.minor = numbered("", g.below(1000000), 6);
    rep.fileNumber = r % 16;
    rep.lines = {"R" + std::to_string(r)};
    w.add(rep);
  }
  w.write();
  std::FILE* expected = std::fopen((dir + "/expected.txt").c_str(), "wb");
  if (!expected) return 1;
  unsigned counter = 0;
  size_t last = 0;
  for (unsigned k = 0; k < records; ++k) last = appendExpected(expected, w.expected()[recordOf[k]], counter);
  appendSizeLine(expected, last);
  std::fclose(expected);
  return 0;
}

// Writes the reports as writeReports does, then removes their index.
int writeOrphans(const std::string& dir, unsigned count) {
  generator g(20260101);
  archive::writer w(dir + "/salvage", "S.IDX");
  for (unsigned r = 0; r < count; ++r) {
    archive::report rep;
    rep.major = numbered("R", r, 7);
    rep.fileNumber = r % 4;
    mixed(g, rep);
    w.add(rep);
  }
  std::remove(w.write().c_str());
  std::FILE* places = std::fopen((dir + "/salvage.txt").c_str(), "w");
  if (!places) return 1;
  std::map<unsigned, std::vector<unsigned>> blocks;  // of each data file, in order
  for (unsigned r = 0; r < count; ++r) blocks[r % 4].push_back(w.blockOf(static_cast<int>(r)));
  for (auto& [file, starts] : blocks) {
    const std::string path = w.dataFilePath(file), name = path.substr(path.rfind('/') + 1);
    const long long size = static_cast<long long>(archive::readFile(path).size());
    for (std::size_t k = 0; k < starts.size(); ++k)
      std::fprintf(places, "%s %lld %lld\n", name.c_str(), 64LL * starts[k],
                   k + 1 < starts.size() ? 64LL * starts[k + 1] : size);
  }
  std::fclose(places);
  return 0;
}

// The number after `"field":` in a JSON line, or -1.
long long field(const std::string& line, const std::string& name) {
  const std::size_t at = line.find("\"" + name + "\":");
  return at == std::string::npos ? -1 : std::atoll(line.c_str() + at + name.size() + 3);
}

int salvageShares(const std::string& dir) {
  // Where each salvaged report begins and ends, by data file name.
  std::map<std::string, std::set<long long>> bounds;
  for (std::string line; std::getline(std::cin, line);) {
    const std::size_t data = line.find("\"data\":\"") + 8, end = line.find('"', data);
    const std::string path = line.substr(data, end - data);
    std::set<long long>& at = bounds[path.substr(path.find_last_of("/\\") + 1)];
    at.insert(64 * field(line, "block"));
    at.insert(64 * field(line, "block") + field(line, "bytes"));
  }
  std::FILE* places = std::fopen((dir + "/salvage.txt").c_str(), "r");
  if (!places) return 1;
  // Whole, merged and split, of all reports and by length: under 1 KB,
  // under 10 KB, and longer.
  unsigned shares[4][3] = {};
  char name[16];
  long long start, end;
  while (std::fscanf(places, "%15s %lld %lld", name, &start, &end) == 3) {
    const std::set<long long>& at = bounds[name];
    const auto after = at.upper_bound(start);
    // Split: a salvaged report ends inside it; whole: one begins and ends with it.
    const int how = after != at.end() && *after < end ? 2 : at.count(start) && at.count(end) ? 0 : 1;
    ++shares[0][how];
    ++shares[end - start < 1024 ? 1 : end - start < 10240 ? 2 : 3][how];
  }
  std::fclose(places);
  const char* const lengths[] = {"all", "under 1 KB", "1 to 10 KB", "10 KB and more"};
  for (int l = 0; l < 4; ++l) {
    const double all = shares[l][0] + shares[l][1] + shares[l][2];
    std::printf("%s: %.0f reports, whole %.1f %%, merged with a neighbour %.1f %%, split %.1f %%\n", lengths[l], all,
                100 * shares[l][0] / all, 100 * shares[l][1] / all, 100 * shares[l][2] / all);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mix = argc > 4 ? argv[4] : "standard";
  const std::pair<const char*, bench::mix> mixes[] = {{"standard", bench::mix::standard},
                                                      {"repeats", bench::mix::repeats},
                                                      {"russian", bench::mix::russian},
                                                      {"latin", bench::mix::latin}};
  for (const auto& [name, m] : mixes)
    if (argc >= 3 && argc <= 5 && std::string(argv[1]) == "reports" && mix == name)
      return writeReports(argv[2], argc > 3 ? std::atof(argv[3]) : 1024, m);
  if ((argc == 4 || (argc == 5 && std::string(argv[4]) == "shuffled")) && std::string(argv[1]) == "records")
    return writeRecords(argv[2], static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)), argc == 5);
  if ((argc == 3 || argc == 4) && std::string(argv[1]) == "salvage")
    return writeOrphans(argv[2], argc == 4 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 10000);
  if (argc == 3 && std::string(argv[1]) == "salvage-shares") return salvageShares(argv[2]);
  std::fprintf(stderr,
               "usage: make_corpus reports DIR [MIB [standard|repeats|russian|latin]] |\n"
               "       make_corpus records DIR N [shuffled] |\n"
               "       make_corpus salvage DIR [N] | make_corpus salvage-shares DIR\n");
  return 2;
}
