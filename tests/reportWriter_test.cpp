// The report writer: whatever the number of threads, the batches, the text
// path and the reports that fail to be read, the output is that of one
// thread decoding report after report.
#include "reportWriter.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "capture.h"
#include "text.h"

namespace {

std::string written(const mFileIndex& index, const mstr& path, reportFormat::kind how, bool utf8, unsigned threads,
                    bool viaUnits, reportDecode::level level = reportDecode::level::scalar) {
  return capture([&] {
           reportFormat format({how, utf8}, mOutput::get());
           runTally tally;
           reportWriter writer(format, tally, reportDecode::select(level), viaUnits, threads, false);
           format.beginIndex(index, path);
           unsigned counter = 7;  // numbering goes on from what the run has written
           writer.write(index, counter);
           writer.write(index, counter);  // a second index of the run
           mOutput::get().flush();
         })
      .out;
}

TEST(ReportWriter, OutputIsThatOfOneThreadWhateverTheBatchesAndFaults) {
  TempTree tree;
  // Enough reports for several batches, one too large for a batch (it is
  // streamed), and the reports of data file 3 cut away after the index is
  // opened: they fault, and every later number moves down.
  std::mt19937 rng(3);
  archive::writer w(tree.path(), "Q.IDX");
  std::vector<std::string> plainTexts;
  for (int i = 0; i < 9000; ++i) {
    archive::report r;
    r.major = "K" + std::to_string(100000 + i);
    r.fileNumber = i % 97 == 5 ? 3 : static_cast<unsigned>(rng() % 2);
    r.lines = {"report " + std::to_string(i), std::string(rng() % 40, 'x')};
    if (i == 4500) r.lines.assign(3000, std::string(60, 'B'));  // about 180 KB
    r.how.spaceRun = 2;
    r.how.repeatRun = 4;
    w.add(r);
  }
  w.write();
  mFileIndex index;
  const mstr path = text(tree, "Q.IDX");
  index.open(path, [](mEx&) {});
  ASSERT_EQ(truncate(w.dataFilePath(3).c_str(), 0), 0);

  const auto plain = reportFormat::kind::plain;
  const std::string reference = written(index, path, plain, false, 1, false);
  // The reports of data file 3 got their error texts instead, each once.
  unsigned counter = 0;
  captured once = capture([&] {
    reportFormat format({plain}, mOutput::get());
    runTally tally;
    reportWriter writer(format, tally, reportDecode::select(reportDecode::level::scalar), false, 1, false);
    format.beginIndex(index, path);
    writer.write(index, counter);
    mOutput::get().flush();
  });
  const unsigned faulted = 9000 / 97 + 1;
  EXPECT_EQ(counter, 9000 - faulted);
  std::size_t errors = 0;
  for (std::size_t at = 0; (at = once.err.find("Error number 38: ", at)) != std::string::npos; ++at) ++errors;
  EXPECT_EQ(errors, faulted);
  // The numbers of both indexes run on from 7 with no gap.
  EXPECT_NE(reference.find("\n+++" + std::to_string(7 + 2 * counter - 1) + "\n"), std::string::npos);
  EXPECT_EQ(reference.find("\n+++" + std::to_string(7 + 2 * counter) + "\n"), std::string::npos);

  const struct {
    reportFormat::kind how;
    bool utf8;
  } formats[] = {{plain, false}, {plain, true}, {reportFormat::kind::jsonl, false}};
  for (const auto& f : formats) {
    const std::string one = written(index, path, f.how, f.utf8, 1, false);
    for (unsigned threads : {2u, 4u}) {
      SCOPED_TRACE(threads);
      EXPECT_TRUE(written(index, path, f.how, f.utf8, threads, false) == one);
    }
    // Decoded through UTF-16 text, as for a code page whose bytes are not
    // its output: the same bytes.
    EXPECT_TRUE(written(index, path, f.how, f.utf8, 2, true) == one);
    for (auto level : {reportDecode::level::avx2, reportDecode::level::avx512})
      if (reportDecode::supported(level)) {
        EXPECT_TRUE(written(index, path, f.how, f.utf8, 2, false, level) == one);
      }
  }
}

}  // namespace
