// Micro benchmarks of the hot paths: decoding, output conversion, string
// appends and the tree map.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "mstr.h"
#include "reportDecode.h"
#include "report_encoder.h"
#include "report_generator.h"
#include "reportText.h"
#include "tree_ob.h"

namespace {

// About 4 MB of encoded reports of a mix of the corpus.
std::string makeReports(bench::mix m) {
  bench::generator g(1, m);
  std::string all;
  while (all.size() < (4u << 20)) all += archive::encodeReport(g.report(20000), g.encoding());
  return all;
}

const std::string& encodedReports(bench::mix m = bench::mix::standard) {
  static const std::string standard = makeReports(bench::mix::standard);
  static const std::string repeats = makeReports(bench::mix::repeats);
  return m == bench::mix::repeats ? repeats : standard;
}

void Decode(benchmark::State& state) {
  const std::string& bytes = encodedReports();
  mstr text;
  for (auto _ : state) {
    text.clear();
    decodeReportText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
    benchmark::DoNotOptimize(text.get_data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.get_count());  // decoded characters
  state.counters["code_bytes"] = static_cast<double>(bytes.size());
  text.clear();
}
BENCHMARK(Decode);

// Decoding straight to OEM bytes at one level, into an output buffer of
// 256 KiB that is reused whenever the next line might not fit, as output is
// gathered before it is written.
void DecodeOem(benchmark::State& state, reportDecode::level l, bench::mix m) {
  if (!reportDecode::supported(l)) {
    state.SkipWithError("level not supported here");
    return;
  }
  const std::string& bytes = encodedReports(m);
  std::vector<unsigned char> out(256 << 10);
  const reportDecode::decoder decode = reportDecode::select(l);
  std::size_t decoded = 0;
  for (auto _ : state) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    decoded = 0;
    for (std::size_t left = bytes.size(); left;) {
      reportDecode::result r = decode(p, left, out.data(), out.size());
      benchmark::DoNotOptimize(out.data());
      p += r.consumed;
      left -= r.consumed;
      decoded += r.produced;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * decoded));  // decoded characters
}

const bool registered = [] {
  for (auto l : {reportDecode::level::scalar, reportDecode::level::avx2, reportDecode::level::avx512})
    for (auto m : {bench::mix::standard, bench::mix::repeats})
      benchmark::RegisterBenchmark(
          (std::string("DecodeOem/") + reportDecode::name(l) + (m == bench::mix::repeats ? "/repeats" : "/standard"))
              .c_str(),
          DecodeOem, l, m);
  return true;
}();

void ConvertToOem(benchmark::State& state) {
  const std::string& bytes = encodedReports();
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
