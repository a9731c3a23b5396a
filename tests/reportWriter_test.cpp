// The report writer: whatever the number of threads, the batches, the text
// path and the reports that fail to be read, the output is that of one
// thread decoding report after report.
#include "reportWriter.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "expected.h"
#include "failing_new.h"
#include "posix/faults.h"
#include "text.h"
#include "textForms.h"
#include "verifyForm.h"

namespace {

// The forms the writer writes in: plain (in UTF-8 too), JSON Lines, and a
// verifying run's (every report decoded, no text kept).
struct shape {
  enum { plain, utf8, jsonl, verify } how;
  bool trim = false;
};

// What the writer writes for the index, twice as for two indexes of a run,
// the second told as the next while the first is written (its first
// batches decoded ahead), numbered on from `counter`, which it leaves after
// the last number. With
// `failAt`, that allocation of the writing fails, and the error texts come
// among the reports.
captured written(const mFileIndex& index, const mstr& path, shape f, unsigned threads, bool viaUnits,
                 reportDecode::level level = reportDecode::level::scalar, unsigned* counter = nullptr,
                 unsigned long failAt = 0) {
  unsigned number = 7;
  unsigned& n = counter ? *counter : number;
  capturedOutput streams(failAt != 0);
  plainForm plain(f.how == shape::utf8, f.trim);
  jsonLinesForm jsonLines(f.trim);
  verifyForm verify(plain, streams.output);
  reportForm& form =
      f.how == shape::jsonl ? jsonLines : f.how == shape::verify ? static_cast<reportForm&>(verify) : plain;
  errorSink errors(streams.output, f.how == shape::jsonl);
  runTally tally;
  const keyFilter all;
  reportWriter writer(form, all, streams.output, errors, tally, {reportDecode::select(level), viaUnits, threads});
  const reportSource source{index, path};
  // The form's fields of the source are had first, in both slots: memory for
  // them is no report's (without it the run ends, as it always did).
  form.begin(source, 0);
  form.begin(source, 1);
  {
    allocationFault fault(failAt);
    const unsigned first = n;
    writer.write(source, n, &source);
    const unsigned second = n;
    writer.write(source, n);
    // Each write wrote its own source's reports, none of those decoded ahead.
    if (failAt == 0) {
      EXPECT_EQ(second - first, n - second);
    }
  }
  return streams.taken();
}

// The read error of a data file, `count` times.
std::string readFaults(const std::string& path, unsigned count) {
  std::string out;
  while (count-- > 0)
    out += errorText(38, "Достигнут конец файла.\r\nfunc=MapViewOfFile Чтение отображённого файла прервано: файл "
                         "укорочен или недоступен. filename=" + path, origin::mappedReadFault);
  return out;
}

TEST(ReportWriter, OutputIsThatOfOneThreadWhateverTheBatchesAndFaults) {
  TempTree tree;
  // Enough reports for several batches, one too large for a batch (it is
  // streamed), and the reports of data file 3 cut away after the index is
  // opened: they fault, and every later number moves down.
  std::mt19937 rng(3);
  archive::writer w(tree.path(), "Q.IDX");
  for (int i = 0; i < 9000; ++i) {
    archive::report r;
    r.major = "K" + std::to_string(100000 + i);
    r.fileNumber = i % 97 == 5 ? 3 : static_cast<unsigned>(rng() % 2);
    r.lines = {"report " + std::to_string(i), std::string(rng() % 40, 'x')};
    if (i == 4500) r.lines.assign(3000, std::string(60, 'B'));  // about 180 KB
    // Data file 3 is too large to be read whole when opened: it is mapped,
    // its long reports read through its handle, its short ones where mapped.
    if (r.fileNumber == 3 && i % 2)
      for (int line = 0; line < 25; ++line) {
        std::string letters;
        for (int k = 0; k < 80; ++k) letters += static_cast<char>('a' + (k + line) % 26);
        r.lines.push_back(letters);
      }
    r.how.spaceRun = 2;
    r.how.repeatRun = 4;
    w.add(r);
  }
  w.write();
  mFileIndex index;
  const mstr path = text(tree, "Q.IDX");
  index.open(path, [](mEx&) {});
  ASSERT_EQ(truncate(w.dataFilePath(3).c_str(), 0), 0);

  unsigned counter = 7;
  const captured reference = written(index, path, {shape::plain}, 1, false, reportDecode::level::scalar, &counter);
  // The reports of data file 3 got their error texts instead, each once, and
  // the numbers of both indexes run on from 7 with no gap.
  const unsigned faulted = 9000 / 97 + 1;
  EXPECT_EQ(counter, 7 + 2 * (9000 - faulted));
  EXPECT_EQ(reference.err, readFaults(w.dataFilePath(3), 2 * faulted));
  EXPECT_NE(reference.out.find("\n" + separatorLine(counter - 1)), std::string::npos);

  for (shape f : {shape{shape::plain}, shape{shape::utf8}, shape{shape::jsonl}, shape{shape::verify}}) {
    // Standard output and error alike.
    const captured one = written(index, path, f, 1, false);
    EXPECT_TRUE(f.how != shape::verify || (one.out.empty() && one.err == reference.err));
    const auto same = [&](const captured& c) { return c.out == one.out && c.err == one.err; };
    for (unsigned threads : {2u, 4u}) {
      SCOPED_TRACE(threads);
      EXPECT_TRUE(same(written(index, path, f, threads, false)));
    }
    // Decoded through UTF-16 text, as for a code page whose bytes are not
    // its output: the same bytes.
    EXPECT_TRUE(same(written(index, path, f, 2, true)));
    for (auto level : {reportDecode::level::avx2, reportDecode::level::avx512})
      if (reportDecode::supported(level)) {
        EXPECT_TRUE(same(written(index, path, f, 2, false, level)));
      }
  }
}

// Every pread of a data file fails (a device error) or moves nothing (the
// file was cut short): each of its long reports (read with the read call),
// one larger than a batch too, gets its read error in its place, the others
// convert, numbered on, with any number of threads alike.
TEST(ReportWriter, AReportWhoseReadFailsGetsItsReadErrorAndTheRestConvert) {
  TempTree tree;
  archive::writer w(tree.path(), "R.IDX");
  for (int i = 0; i < 300; ++i)  // data file 0 is small: read whole when the index is opened
    w.add("K" + std::to_string(1000 + i), "", i % 3 ? 1 : 0,
          std::vector<std::string>(i == 151 ? 15000 : i % 2 ? 40 : 1, "LINE OF REPORT " + std::to_string(i)));
  w.write();
  std::vector<std::string> converted;
  for (int i = 0; i < 300; ++i)  // those of data file 0, and the short ones
    if (i % 3 == 0 || i % 2 == 0) converted.push_back(w.expected()[static_cast<std::size_t>(i)]);
  mFileIndex index;
  const mstr path = text(tree, "R.IDX");
  index.open(path, [](mEx&) {});
  for (int error : {EIO, 0})
    for (unsigned threads : {1u, 2u, 4u}) {
      platform::posix::systemFault failing(platform::posix::systemFault::call::pread, error, 0, ~0u);
      unsigned counter = 7;
      const captured got = written(index, path, {shape::plain}, threads, false, reportDecode::level::scalar, &counter);
      EXPECT_TRUE(got.out == numbered(converted, 7) + numbered(converted, 207) && counter == 407) << error << threads;
      EXPECT_EQ(got.err, readFaults(w.dataFilePath(1), 200));
    }
  // And whichever allocation fails besides: each report still gives its
  // text or one error, and where the memory to keep a read error is what
  // lacks, that report's error is the shortage instead. (The errors come in
  // the one stream, in code page 866.)
  const auto count = [](const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  bool keptNone = false;
  for (unsigned long nth = 1;; ++nth) {
    platform::posix::systemFault failing(platform::posix::systemFault::call::pread, EIO, 0, ~0u);
    unsigned counter = 7;
    const captured got = written(index, path, {shape::plain}, 1, false, reportDecode::level::scalar, &counter, nth);
    if (!allocationFault::came) break;
    const std::size_t read = count(got.out, "func=MapViewOfFile"), shortage = count(got.out, oem("Недостаточно памяти"));
    EXPECT_TRUE(shortage <= 1 && read + shortage >= 200 && read + shortage <= 201) << nth;
    keptNone |= read == 199 && shortage == 1 && counter == 407;
  }
  EXPECT_TRUE(keptNone);
}

// Memory that a report cannot have costs that report alone, whichever
// allocation of the writing fails: its error 8 stands in its place, the
// reports after it, in the batches decoded ahead too, are numbered on
// without a gap, and the next index converts.
TEST(ReportWriter, AShortageOfMemoryCostsOneReportWhereverItComes) {
  TempTree tree;
  archive::writer w(tree.path(), "M.IDX");
  std::vector<std::string> lines(2000);  // empty ones, trimmed away: 2 KiB a report, a few batches
  for (int i = 100; i < 120; ++i) w.add("K" + std::to_string(i), "", 1, (lines[0] = "R" + std::to_string(i), lines));
  w.write();
  mFileIndex index;
  const mstr path = text(tree, "M.IDX");
  index.open(path, [](mEx&) {});
  std::string message = "Недостаточно памяти для обработки команды.\r\nfunc=malloc Ошибка выделения памяти.";
  const errorOrigin& at = origin::allocationBytes;
  const std::string error = errorText(8, message, at);
  const std::string escaped = message.replace(message.find('\r'), 2, "\\r\\n");
  const std::string json = "{\"code\":8,\"message\":\"" + escaped + "\",\"file\":\"" + at.module +
                           "\",\"function\":\"" + at.function + "\",\"line\":" + std::to_string(at.line) +
                           ",\"level\":\"report\",\"text\":\"Error number 8: " + escaped + "\\n" + whereLine(at) + "\"}\n";
  for (auto [f, linesOfOne] : {std::pair(shape{shape::plain, true}, 2), {shape{shape::jsonl, true}, 1},
                               {shape{shape::verify, true}, 0}}) {
    unsigned counter = 107, lower = 106;  // the reports after one that fails are numbered as in a run from 106
    const captured whole = written(index, path, f, 1, false, reportDecode::level::scalar, &counter);
    const captured after = written(index, path, f, 1, false, reportDecode::level::scalar, &lower);
    unsigned long nth = 1;
    for (;; ++nth) {
      counter = 107;
      const std::string got = written(index, path, f, 1, false, reportDecode::level::scalar, &counter, nth).out;
      if (!allocationFault::came) break;
      // Its lines in the whole text: from the start of the first line that differs.
      std::size_t at = std::mismatch(got.begin(), got.end(), whole.out.begin(), whole.out.end()).first - got.begin();
      std::size_t next = at = at ? whole.out.rfind('\n', at - 1) + 1 : 0;
      for (int line = 0; line < linesOfOne; ++line) next = after.out.find('\n', next) + 1;
      EXPECT_EQ(got, whole.out.substr(0, at) + (f.how == shape::jsonl ? json : error) +
                         after.out.substr(next)) << "allocation " << nth;
      EXPECT_EQ(counter, 107u + 2 * 20 - 1);
    }
    EXPECT_GT(nth, 1u);  // the writing took memory
  }
}

// A long report decoded where it is mapped leaves its pages behind as it
// goes: a report of gigabytes would otherwise hold them all at once.
TEST(ReportWriter, ALongMappedReportLeavesItsPagesBehind) {
  TempTree tree;
  archive::writer w(tree.path(), "L.IDX");
  w.add("K", "", 1, {"LONG"});
  w.write();
  ASSERT_EQ(truncate(w.dataFilePath(1).c_str(), 32 << 20), 0);  // then zero bytes, each an empty line
  mFileIndex index;
  const mstr path = text(tree, "L.IDX");
  index.open(path, [](mEx&) {});
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak of resident memory starts again from here
  const auto peak = [] {
    std::ifstream status("/proc/self/status");
    std::string field;
    while (status >> field && field != "VmHWM:") {
    }
    long kib = 0;
    return (status >> kib, kib) << 10;
  };
  const long before = peak();
  written(index, path, {shape::verify}, 1, false);
  EXPECT_LT(peak() - before, 8L << 20);
}

}  // namespace
