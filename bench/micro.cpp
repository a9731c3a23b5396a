// Micro benchmarks of the hot paths: decoding, output conversion, string
// appends and the tree map.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "mstr.h"
#include "report_encoder.h"
#include "report_generator.h"
#include "reportText.h"
#include "tree_ob.h"

namespace {

// About 4 MB of encoded reports of the corpus's mix.
const std::string& encodedReports() {
  static const std::string bytes = [] {
    bench::generator g(1);
    std::string all;
    while (all.size() < (4u << 20)) all += archive::encodeReport(g.report(20000), g.encoding());
    return all;
  }();
  return bytes;
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
