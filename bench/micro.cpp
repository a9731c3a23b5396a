// Micro benchmarks of the hot paths: decoding, output conversion, string
// appends and the tree map.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "mstr.h"
#include "oemTable.h"
#include "reportDecode.h"
#include "report_encoder.h"
#include "report_generator.h"
#include "textDecode.h"
#include "tree_ob.h"

namespace {

const char* const kMixName[] = {"standard", "repeats", "russian", "latin"};

// About 4 MB of encoded reports of one mix, each followed by the zero bytes
// up to its next 64-byte block, as in a data file; `ends` holds where each
// report's bytes end. The reports of the Russian mixes are as long as in
// their corpus, the others 20 KB of text.
struct reports {
  std::string bytes;
  std::vector<std::size_t> ends;
};

reports makeReports(bench::mix m) {
  bench::generator g(1, m);
  reports all;
  while (all.bytes.size() < (4u << 20)) {
    const std::size_t textBytes = bench::russianText(m) ? g.reportBytes() : 20000;
    all.bytes += archive::encodeReport(g.report(textBytes), g.encoding());
    all.bytes.resize((all.bytes.size() + 63) / 64 * 64, '\0');
    all.ends.push_back(all.bytes.size());
  }
  return all;
}

const reports& encodedReports(bench::mix m = bench::mix::standard) {
  static const reports all[] = {makeReports(bench::mix::standard), makeReports(bench::mix::repeats),
                                makeReports(bench::mix::russian), makeReports(bench::mix::latin)};
  return all[static_cast<int>(m)];
}

// Figures by text bytes (bytes_per_second) and by code bytes a second.
void countBytes(benchmark::State& state, std::size_t textBytes, std::size_t codeBytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * textBytes));
  state.counters["code_bytes_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations() * codeBytes), benchmark::Counter::kIsRate);
}

void Decode(benchmark::State& state) {
  const std::string& bytes = encodedReports().bytes;
  mstr text;
  for (auto _ : state) {
    text.clear();
    decodeReportText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
    benchmark::DoNotOptimize(text.get_data());
  }
  countBytes(state, static_cast<std::size_t>(text.get_count()), bytes.size());  // decoded characters
  text.clear();
}
BENCHMARK(Decode);

// Decoding straight to OEM bytes at one level, report by report as the
// program decodes them, into an output buffer of 256 KiB that is reused from
// its start for every call, as output is gathered before it is written.
void DecodeOem(benchmark::State& state, const reportDecode::levelInfo& level, bench::mix m) {
  if (!reportDecode::supported(level.id)) {
    state.SkipWithError("level not supported here");
    return;
  }
  const reports& all = encodedReports(m);
  std::vector<unsigned char> out(256 << 10);
  const reportDecode::decodeFunction decode = level.decode;
  std::size_t decoded = 0;
  for (auto _ : state) {
    const unsigned char* const data = reinterpret_cast<const unsigned char*>(all.bytes.data());
    std::size_t at = 0;
    decoded = 0;
    for (std::size_t end : all.ends) {
      while (at < end) {
        reportDecode::result r = decode(data + at, end - at, out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
        at += r.consumed;
        decoded += r.produced;
      }
    }
  }
  countBytes(state, decoded, all.bytes.size());
}

const bool registered = [] {
  for (const reportDecode::levelInfo& level : reportDecode::kLevels)
    for (auto m : {bench::mix::standard, bench::mix::repeats, bench::mix::russian, bench::mix::latin})
      benchmark::RegisterBenchmark(
          (std::string("DecodeOem/") + level.name + "/" + kMixName[static_cast<int>(m)]).c_str(), DecodeOem, level,
          m);
  return true;
}();

// The Russian mix's text as OEM bytes, and where each report's text ends.
struct oemText {
  std::vector<unsigned char> bytes;
  std::vector<std::size_t> ends;
};
oemText russianText() {
  const reports& all = encodedReports(bench::mix::russian);
  const unsigned char* const data = reinterpret_cast<const unsigned char*>(all.bytes.data());
  oemText text;
  std::vector<unsigned char> room(256 << 10);
  std::size_t at = 0;
  for (std::size_t end : all.ends) {
    while (at < end) {
      reportDecode::result r = reportDecode::kLevels[0].decode(data + at, end - at, room.data(), room.size());
      text.bytes.insert(text.bytes.end(), room.begin(), room.begin() + static_cast<std::ptrdiff_t>(r.produced));
      at += r.consumed;
    }
    text.ends.push_back(text.bytes.size());
  }
  return text;
}

// How the Russian mix's text goes into UTF-8: in pieces of 64 KiB; a report
// at a time, as the program converts it (a report of more than 64 KiB in
// pieces of that size); or so, with every 20th character a frame line of
// box drawing (three bytes of UTF-8), as in tables drawn with them.
enum class utf8Text { pieces, reports, framed };

// OEM bytes to UTF-8 at one level through the code page's table, into one
// buffer reused for each piece; GB/s of OEM bytes.
void Utf8(benchmark::State& state, const reportDecode::levelInfo& level, utf8Text kind) {
  if (!reportDecode::supported(level.id)) {
    state.SkipWithError("level not supported here");
    return;
  }
  static const oemText plain = russianText();
  static const oemText framed = [] {
    oemText t = plain;
    for (std::size_t i = 0; i < t.bytes.size(); i += 20) t.bytes[i] = 0xB3;  // the box drawing line
    return t;
  }();
  const oemText& text = kind == utf8Text::framed ? framed : plain;
  const std::vector<unsigned char>& bytes = text.bytes;
  const oemTable& oem = oemTable::get();
  const reportDecode::utf8Table table =
      reportDecode::makeUtf8Table(oem.utf8Length, oem.utf8[0], oem.utf8[1], oem.utf8[2]);
  const std::size_t piece = 64 << 10;
  std::vector<unsigned char> out(3 * piece + reportDecode::kUtf8Slack);
  const std::vector<std::size_t> whole{bytes.size()};
  for (auto _ : state) {
    std::size_t at = 0;
    for (std::size_t end : kind == utf8Text::pieces ? whole : text.ends)
      for (; at < end; at += std::min(piece, end - at))
        benchmark::DoNotOptimize(level.utf8(bytes.data() + at, std::min(piece, end - at), out.data(), table));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

const bool registeredUtf8 = [] {
  const std::pair<utf8Text, const char*> kinds[] = {
      {utf8Text::pieces, "russian"}, {utf8Text::reports, "russian-reports"}, {utf8Text::framed, "framed-reports"}};
  for (const reportDecode::levelInfo& level : reportDecode::kLevels)
    for (const auto& [kind, name] : kinds)
      benchmark::RegisterBenchmark((std::string("Utf8/") + level.name + "/" + name).c_str(), Utf8, level, kind);
  return true;
}();

void ConvertToOem(benchmark::State& state) {
  const std::string& bytes = encodedReports().bytes;
  mstr text;
  decodeReportText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
  std::vector<char> out(static_cast<size_t>(text.get_count()) + 1);
  for (auto _ : state) {
    text.toMultiByte(out.data(), static_cast<int>(out.size()), CP_OEMCP);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.get_count());
  text.clear();
}
BENCHMARK(ConvertToOem);

void AppendShortTexts(benchmark::State& state) {
  mstr text;
  for (auto _ : state) {
    text.clear();
    for (int i = 0; i < 1000; ++i) text.append(u"+++").appendNumber(i);
    benchmark::DoNotOptimize(text.get_data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 1000);
  text.clear();
}
BENCHMARK(AppendShortTexts);

void TreeInsertAscendingAndBalance(benchmark::State& state) {
  const unsigned n = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    tree_ob<unsigned int> t;
    for (unsigned i = 0; i < n; ++i) t.insert_copy(i);
    t.balance();
    benchmark::DoNotOptimize(t.top());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(TreeInsertAscendingAndBalance)->Arg(10000)->Arg(1000000);

void TreeInsertKeysShuffled(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<mstr> keys;
  std::mt19937 rng(3);
  for (int i = 0; i < n; ++i) {
    mstr k(u"R");
    k.appendNumber(static_cast<int>(rng() % 100000000));
    keys.push_back(k);
  }
  for (auto _ : state) {
    tree_ob<mstr> t;
    for (const mstr& k : keys) t.insert_copy(k);
    t.balance();
    benchmark::DoNotOptimize(t.top());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(TreeInsertKeysShuffled)->Arg(10000)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
