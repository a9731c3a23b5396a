#include "mFileIndex.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "archive_writer.h"
#include "capture.h"
#include "expected.h"
#include "posix/faults.h"
#include "reportReader.h"
#include "textDecode.h"
#include "text.h"

namespace {

using archive::record;

mstr wide(const std::string& ascii) {
  mstr s;
  s.appendMultiByte(ascii.data(), static_cast<int>(ascii.size()), CP_OEMCP);
  return s;
}

std::string oemOf(const mstr& s) {
  std::string out(static_cast<size_t>(s.get_count()) + 1, '\0');
  s.toMultiByte(&out[0], static_cast<int>(out.size()), CP_OEMCP);
  out.resize(static_cast<size_t>(s.get_count()));
  return out;
}

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

bool endsWith(const std::u16string& text, const std::u16string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Lines that the encoder cannot shorten, so that a report's size is known.
std::vector<std::string> plainLines(int count, const std::string& tag) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) lines.push_back(tag + " LINE " + std::to_string(i) + " OF THE REPORT");
  return lines;
}

// A report for the writer; tests set the placement fields they need.
archive::report placed(const std::string& major, unsigned fileNumber, std::vector<std::string> lines = {}) {
  archive::report r;
  r.major = major;
  r.fileNumber = fileNumber;
  r.lines = std::move(lines);
  return r;
}

// What an error handed over while an index is opened reads as.
std::string textOf(mEx& error) {
  mEx text;
  error.getText(text);
  return oemOf(mstr(text.getMessage()));
}

int balancedDepth(int count) { return static_cast<int>(std::floor(std::log2(count))) + 1; }

class IndexTest : public ::testing::Test {
 protected:
  typedef mFileIndex::entry_map::node node;

  TempTree dir{"index"};
  mFileIndex index;  // released before the directory goes

  // Opens the index; returns the texts of the errors it handed over.
  std::string open(const std::string& path) {
    std::string errors;
    index.open(wide(path), [&errors](mEx& error) { errors += textOf(error); });
    return errors;
  }
  std::vector<const mIndexEntry*> entries() const {
    std::vector<const mIndexEntry*> out;
    for (auto it = index.entries.begin(); node* n = it.step();) out.push_back(n->value);
    return out;
  }
  std::vector<int> ordinals() const {
    std::vector<int> out;
    for (const mIndexEntry* e : entries()) out.push_back(e->ordinal);
    return out;
  }
  node* nodeOf(int ordinal) const {
    for (auto it = index.entries.begin(); node* n = it.step();)
      if (n->value->ordinal == ordinal) return n;
    return nullptr;
  }
  // The decoded report of the node, as OEM bytes, read as the program reads
  // it.
  std::string report(node* n) {
    if (!n) throw std::runtime_error("no such record");
    mbytes out;
    arraySink sink(out);
    reportReader(reportDecode::select(reportDecode::best()), false)
        .read(index.range(*n->value), textForm::oem, sink);
    return std::string(reinterpret_cast<const char*>(out.get_data()), static_cast<size_t>(out.get_count()));
  }
  // Where the report of the record at this position of the index lies.
  std::pair<std::uint64_t, std::uint64_t> range(int ordinal) const {
    const reportRange r = index.range(*nodeOf(ordinal)->value);
    return {r.start, r.end};
  }
  // The same for the record at this position of the index.
  std::string report(int ordinal) { return report(nodeOf(ordinal)); }
  // Everything a reader sees: each entry's fields and report, in key order.
  std::vector<std::string> summary() {
    std::vector<std::string> out;
    for (const mIndexEntry* e : entries())
      out.push_back(oemOf(*e) + "|" + std::to_string(e->ordinal) + "|" + std::to_string(e->fileNumber) + "|" +
                    std::to_string(e->firstBlock) + "|" + report(e->ordinal));
    return out;
  }
  mFileData* dataFile(unsigned char number) const {
    tree_ob<mFileData>::node* found = nullptr;
    return index.dataFiles.find(&number, &found) ? found->value : nullptr;
  }
};

TEST_F(IndexTest, WorkedRecord) {
  std::string rec = bytes({0x06, '1', '2', '3', '4', '5', '6', 0x08, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0x2A,
                           0x01, 0x00, 0x00, 0x07}) +
                    std::string(19, '\xA7');
  dir.file("ARCHIVE.IDX", rec);
  // Block 297 holds another report, so that a read from the wrong block shows.
  std::string wrong = archive::encodeReport({"WRONG"});
  std::string data = std::string(297 * 64, '\0') + wrong + std::string(64 - wrong.size(), '\0') +
                     archive::encodeReport({"RIGHT", "SECOND LINE"});
  dir.file("ARCHIVE.07", data);

  EXPECT_EQ(open(dir.path("ARCHIVE.IDX")), "");
  ASSERT_EQ(index.entries.get_count(), 1);
  const mIndexEntry& e = *index.entries.first()->value;
  EXPECT_EQ(str(e), u"ABCDEFGH123456");
  EXPECT_EQ(e.ordinal, 0);
  EXPECT_EQ(e.fileNumber, 7);
  EXPECT_EQ(e.firstBlock, 298u);

  ASSERT_EQ(index.dataFiles.get_count(), 1);
  mFileData* file = dataFile(7);
  ASSERT_NE(file, nullptr);
  mstr path;
  EXPECT_EQ(oemOf(file->getFullPath(path)), dir.path("ARCHIVE.07"));

  EXPECT_EQ(report(0), "RIGHT\nSECOND LINE\n");
  EXPECT_EQ(range(0), std::make_pair(std::uint64_t{19072}, std::uint64_t{data.size()}));
}

TEST_F(IndexTest, ReportEndsAtTheNextHigherBlockOfItsFile) {
  // R50 lies past the end of the file: R10 ends there too.
  dir.file("ARCHIVE.IDX", record("R10", "", 10, 7) + record("R2", "", 2, 7) + record("R5", "", 5, 7) +
                              record("R50", "", 50, 7));
  std::string data(700, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  dir.file("ARCHIVE.07", data);
  EXPECT_EQ(open(dir.path("ARCHIVE.IDX")), "");
  mFileData* file = dataFile(7);
  ASSERT_NE(file, nullptr);

  const struct {
    int ordinal;
    size_t from, to;
  } ranges[] = {{1, 128, 320}, {2, 320, 640}, {0, 640, 700}, {3, 700, 700}};
  for (const auto& r : ranges) {
    EXPECT_EQ(range(r.ordinal), std::make_pair(std::uint64_t{r.from}, std::uint64_t{r.to})) << "record " << r.ordinal;
    std::string expected(data, r.from, r.to - r.from);
    mstr decoded;
    decodeReportText(reinterpret_cast<const unsigned char*>(expected.data()), expected.size(), decoded);
    EXPECT_EQ(report(r.ordinal), oemOf(decoded)) << "record " << r.ordinal;
  }
}

TEST_F(IndexTest, BlocksOfOtherDataFilesDoNotBoundAReport) {
  archive::writer w(dir.path(), "ARCHIVE.IDX");
  w.add(placed("A", 1, plainLines(4, "A")));  // blocks 0 to 2 of file 1
  archive::report b = placed("B", 2, {"B"});
  b.gapBlocks = 1;
  w.add(b);
  std::string path = w.write();
  ASSERT_EQ(w.blockOf(1), 1u);

  EXPECT_EQ(open(path), "");
  EXPECT_GT(report(0).size(), 64u);
  EXPECT_EQ(report(0), w.expected()[0]);
  EXPECT_EQ(report(1), w.expected()[1]);
}

TEST_F(IndexTest, BlocksPastTheEndGiveAnEmptyText) {
  archive::writer w(dir.path(), "ARCHIVE.IDX");
  w.add("A", "", 3, plainLines(3, "A"));
  // 2^26 and 2^26 + 1 reach 0 and 64 if the offset wraps at 32 bits.
  int n = 0;
  for (long long block : {1000LL, 0x4000000LL, 0x4000001LL, 0xFFFFFFFFLL}) {
    archive::report far = placed("B" + std::to_string(n++), 3);
    far.block = block;
    w.add(far);
  }
  EXPECT_EQ(open(w.write()), "");
  mFileData* file = dataFile(3);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(report(0), w.expected()[0]);
  for (int ordinal = 1; ordinal <= 4; ++ordinal) {
    EXPECT_EQ(report(ordinal), "") << "record " << ordinal;
    EXPECT_EQ(range(ordinal).first, range(ordinal).second);
  }
}

// A data file counts only under its exact name; the error is written for
// every record that names a missing one.
TEST_F(IndexTest, MissingDataFileIsReportedForEveryRecordNamingIt) {
  archive::writer w(dir.path(), "ARCHIVE.IDX");
  w.add("A", "", 4, {"first"});
  w.add("B", "", 1, {"present"});
  w.add("C", "", 4, {"second"});
  for (unsigned number : {4, 7, 8, 9}) w.omitDataFile(number);
  for (unsigned number : {7, 8, 9}) w.add(std::string(1, static_cast<char>('D' + number - 7)), "", number, {});
  const std::string path = w.write();
  std::string encoded = archive::encodeReport({"TEXT"});
  dir.file("archive.07", encoded);  // other letter case
  dir.dir("ARCHIVE.08");            // a directory
  dir.file("ARCHIVE.9", encoded);   // number without two digits

  const std::string four = missingDataFile(dir.path("ARCHIVE.04"));
  EXPECT_EQ(open(path), four + four + missingDataFile(dir.path("ARCHIVE.07")) +
                            missingDataFile(dir.path("ARCHIVE.08")) + missingDataFile(dir.path("ARCHIVE.09")));
  EXPECT_EQ(index.entries.get_count(), 6);
  EXPECT_EQ(index.dataFiles.get_count(), 1);
  for (int ordinal = 0; ordinal < 6; ++ordinal)
    EXPECT_EQ(report(ordinal), ordinal == 1 ? w.expected()[1] : "") << "record " << ordinal;
}

TEST_F(IndexTest, DataFileNames) {
  const struct {
    const char* index;
    unsigned number;
    const char* data;
  } cases[] = {{"ARCHIVE.IDX", 0, "ARCHIVE.00"}, {"ARCHIVE.IDX", 9, "ARCHIVE.09"},
               {"ARCHIVE.IDX", 10, "ARCHIVE.10"}, {"ARCHIVE.IDX", 255, "ARCHIVE.255"},
               {"ARCHIVE", 9, "ARCHIVE.09"},      {"A.B.IDX", 3, "A.B.03"},
               {"v.2/ARCHIVE", 5, "v.2/ARCHIVE.05"}};
  int n = 0;
  for (const auto& c : cases) {
    const std::string sub = "case" + std::to_string(n++) + "/";
    dir.file(sub + c.index, record("K", "", 0, c.number));
    dir.file(sub + c.data, archive::encodeReport({c.data}));
    EXPECT_EQ(open(dir.path(sub + c.index)), "") << c.index << " " << c.number;
    EXPECT_EQ(report(0), std::string(c.data) + "\n");
    // The name the reader composes is the form the walk tells data files by.
    const std::string name = std::string(c.data).substr(std::string(c.data).rfind('/') + 1);
    unsigned char number = 0;
    EXPECT_TRUE(isDataFileName(wide(name).c_str(), &number)) << name;
    EXPECT_EQ(number, c.number);
  }
  for (const char* other : {"A.7", "A.007", "A.256", "A.1000", "A", "A.0x", "A.-1", "A.01.txt", "A.01 "})
    EXPECT_FALSE(isDataFileName(wide(other).c_str())) << other;
}

TEST_F(IndexTest, KeysAreMajorThenMinorInKeyOrder) {
  dir.file("ARCHIVE.IDX", record("C", "2", 0, 1) + record("A", "9", 0, 1) + record("B", "1", 0, 1) +
                              record(oem("ДОК"), "01", 0, 1) + record("JUNK", 0, "JUNK", 0, 0, 1));
  dir.file("ARCHIVE.01", archive::encodeReport({"SHARED"}));
  EXPECT_EQ(open(dir.path("ARCHIVE.IDX")), "");
  EXPECT_EQ(ordinals(), (std::vector<int>{4, 1, 2, 0, 3}));
  std::vector<std::u16string> keys;
  for (const mIndexEntry* e : entries()) keys.push_back(str(*e));
  EXPECT_EQ(keys, (std::vector<std::u16string>{u"", u"A9", u"B1", u"C2", u"ДОК01"}));
  EXPECT_EQ(report(4), "SHARED\n");  // an empty key reads like any other
}

TEST_F(IndexTest, EqualKeysAreAllListed) {
  archive::writer w(dir.path(), "ARCHIVE.IDX");
  w.add("SAME", "", 1, {"first"});
  w.add("SAME", "", 1, {"second"});
  std::string path = w.write();
  EXPECT_EQ(open(path), "");
  EXPECT_EQ(ordinals(), (std::vector<int>{0, 1}));

  // With a third key the rebalancing rebuilds the tree and places the later
  // of the equal keys first.
  w.add("Z", "", 1, {"last"});
  path = w.write();
  EXPECT_EQ(open(path), "");
  EXPECT_EQ(ordinals(), (std::vector<int>{1, 0, 2}));
  for (int ordinal = 0; ordinal < 3; ++ordinal)
    EXPECT_EQ(report(ordinal), w.expected()[static_cast<size_t>(ordinal)]);
}

TEST_F(IndexTest, RecordsSharingABlockEachGetTheWholeReport) {
  archive::writer w(dir.path(), "ARCHIVE.IDX");
  w.add("A", "", 1, plainLines(3, "A"));
  archive::report twin = placed("B", 1);
  twin.sameBlockAs = 0;
  w.add(twin);
  w.add("C", "", 1, {"next"});
  EXPECT_EQ(open(w.write()), "");
  EXPECT_EQ(report(0), w.expected()[0]);
  EXPECT_EQ(report(1), w.expected()[0]);
  EXPECT_EQ(report(2), w.expected()[2]);
}

TEST_F(IndexTest, TrailingPartialRecordReadsZerosForMissingBytes) {
  archive::writer w(dir.path(), "ARCHIVE.IDX");
  w.add("A", "", 0, {"first"});
  archive::report b = placed("B", 0, {"at block two"});
  b.gapBlocks = 1;
  w.add(b);
  // Of block 0x00030302 and file 5 only the lowest block byte is there.
  const std::string tail = record("TAIL", "1", 0x00030302u, 5);
  w.appendToIndex(tail.substr(0, 17));
  EXPECT_EQ(open(w.write()), "");
  ASSERT_EQ(w.blockOf(1), 2u);
  ASSERT_EQ(index.entries.get_count(), 3);
  const mIndexEntry& last = *nodeOf(2)->value;
  EXPECT_EQ(str(last), u"TAIL1");
  EXPECT_EQ(last.firstBlock, 2u);
  EXPECT_EQ(last.fileNumber, 0);
  EXPECT_EQ(report(2), w.expected()[1]);

  const struct {
    size_t length;
    unsigned block, file;
  } pieces[] = {{1, 0, 0}, {16, 0, 0}, {18, 0x302, 0}, {20, 0x30302, 0}, {21, 0x30302, 5}, {39, 0x30302, 5}};
  dir.file("PIECE.00", archive::encodeReport({"TEXT"}));
  for (const auto& p : pieces) {
    dir.file("PIECE.IDX", record("A", "", 0, 0) + tail.substr(0, p.length));
    EXPECT_EQ(open(dir.path("PIECE.IDX")), p.file ? missingDataFile(dir.path("PIECE.05")) : "");
    ASSERT_EQ(index.entries.get_count(), 2) << p.length;
    EXPECT_EQ(nodeOf(1)->value->firstBlock, p.block) << p.length;
    EXPECT_EQ(nodeOf(1)->value->fileNumber, p.file) << p.length;
  }
}

TEST_F(IndexTest, OversizedLengthsStopAtTheRecordEnd) {
  std::string raw(40, '\0');
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<char>('a' + i % 26);
  raw[20] = 1;  // file number
  std::string longMinor = raw, longMajor = raw;
  longMinor[0] = static_cast<char>(200);
  longMinor[7] = 8;
  longMajor[0] = 6;
  longMajor[7] = static_cast<char>(255);
  // Each as a record followed by another, and as the last bytes of the file.
  dir.file("ARCHIVE.IDX", longMinor + record("NEXT", "", 0, 1) + longMajor + record("NEXT", "", 0, 1) + longMinor);
  dir.file("ARCHIVE.01", archive::encodeReport({"TEXT"}));
  EXPECT_EQ(open(dir.path("ARCHIVE.IDX")), "");
  ASSERT_EQ(index.entries.get_count(), 5);
  const std::string minorKey = longMinor.substr(8, 8) + longMinor.substr(1, 39);
  const std::string majorKey = longMajor.substr(8, 32) + longMajor.substr(1, 6);
  EXPECT_EQ(oemOf(*nodeOf(0)->value), minorKey);
  EXPECT_EQ(oemOf(*nodeOf(2)->value), majorKey);
  EXPECT_EQ(oemOf(*nodeOf(4)->value), minorKey);
  EXPECT_EQ(report(1), "TEXT\n");
}

TEST_F(IndexTest, BytesAfterTheFileNumberHaveNoEffect) {
  auto build = [&](const std::string& sub, char fill) {
    archive::writer w(dir.path(sub), "ARCHIVE.IDX");
    w.add("B", "2", 1, {"one"});
    w.add("A", "1", 2, {"two"});
    w.add("A", "1", 1, {"three"});
    std::string path = w.write(), bytes = archive::readFile(path);
    for (size_t at = 0; at < bytes.size(); at += 40) bytes.replace(at + 21, 19, 19, fill);
    archive::writeFile(path, bytes);
    EXPECT_EQ(open(path), "");
    return summary();
  };
  std::vector<std::string> zeros = build("zeros", '\0');
  EXPECT_EQ(zeros.size(), 3u);
  EXPECT_EQ(build("ones", '\xFF'), zeros);
}

TEST_F(IndexTest, EmptyIndexFileHoldsNoRecords) {
  dir.file("ARCHIVE.IDX", "");
  EXPECT_EQ(open(dir.path("ARCHIVE.IDX")), "");
  EXPECT_TRUE(index.entries.is_empty());
}

// An empty data file's reports lie beyond its end; one that is there but
// cannot be read (a FIFO) is told once, and its reports have no data file.
TEST_F(IndexTest, EmptyOrUnreadableDataFileCostsOnlyItsReports) {
  dir.file("ARCHIVE.IDX", record("A", "", 0, 1) + record("B", "", 0, 2) + record("C", "", 0, 3) +
                              record("D", "", 1, 3) + record("E", "", 0, 4));
  dir.file("ARCHIVE.01", archive::encodeReport({"ONE"}));
  dir.file("ARCHIVE.02", "");
  ASSERT_EQ(mkfifo(dir.path("ARCHIVE.03").c_str(), 0644), 0);
  EXPECT_EQ(open(dir.path("ARCHIVE.IDX")),
            errorText(1006,
                      "Том для файла был изменен извне, поэтому открытый файл стал недействительным.\r\n"
                      "func=CreateFileMapping filename=" + dir.path("ARCHIVE.03"),
                      origin::fileMapping) +
                missingDataFile(dir.path("ARCHIVE.04")));
  EXPECT_EQ(index.dataMissing, std::bitset<256>().set(4));
  EXPECT_EQ(index.dataUnreadable, std::bitset<256>().set(3));
  EXPECT_EQ(index.range(*nodeOf(3)->value).data, nullptr);
  EXPECT_EQ(index.range(*nodeOf(1)->value).data, dataFile(2));
  EXPECT_EQ(report(0), "ONE\n");
}

// Memory that could not be had while an index loads, whatever asked for
// it, ends the index with its own memory error; any other error goes on up
// as it was raised.
TEST_F(IndexTest, AnAllocationFailureWhileLoadingIsTheIndexsMemoryError) {
  dir.file("ARCHIVE.IDX", record("A", "", 0, 1));  // its data file is missing: the handler is called
  for (const errorOrigin* thrown : {&origin::allocationUnits, &origin::dataFileMissing}) {
    const mEx e = raised([&] { index.open(wide(dir.path("ARCHIVE.IDX")), [thrown](mEx&) { throw mEx(*thrown); }); });
    EXPECT_EQ(whereOf(e), whereOf(thrown->kind == errorKind::outOfMemory ? origin::indexMemory : *thrown));
  }
}

// A small index is read whole with the read call, a large one a piece at a
// time at offsets: a read that fails or comes short is the read error naming
// the index; an interrupted one is made again.
TEST_F(IndexTest, AFailedOrShortReadOfTheIndexIsItsReadError) {
  using platform::posix::systemFault;
  std::string records;
  for (int i = 0; i < 2000; ++i) records += record("K" + std::to_string(i), "", 0, 0);
  for (const std::string name : {"S", "L"}) dir.file(name + ".00", archive::encodeReport({"R"}));
  dir.file("S.IDX", records.substr(0, 120));
  dir.file("L.IDX", records);
  const auto read = systemFault::call::read, at = systemFault::call::pread;
  for (auto [name, call, error, after] : {std::tuple("S.IDX", read, EIO, 0), {"S.IDX", read, 0, 100},
                                          {"S.IDX", read, EINTR, 100}, {"L.IDX", at, EIO, 50000},
                                          {"L.IDX", at, 0, 40000}, {"L.IDX", at, EINTR, 50000}}) {
    systemFault fault(call, error, static_cast<std::uint64_t>(after));
    if (error == EINTR)
      EXPECT_EQ(open(dir.path(name)), "");
    else
      EXPECT_TRUE(endsWith(str(raised([&, path = dir.path(name)] { open(path); }).getMessage()),
                           u"файл укорочен или недоступен. filename=" + dir.wide(name)));
    EXPECT_EQ(fault.met(), after ? 2u : 1u);
  }
}

TEST_F(IndexTest, OneReaderGivesEveryReportInAnyOrderThroughItsWindows) {
  // Six data files, more than a reader keeps windows for, each too large to
  // be read whole when opened; reports short enough to be decoded mapped,
  // ones read a window at a time, and ones longer than a window.
  using platform::posix::systemFault;
  archive::writer w(dir.path(), "W.IDX");
  std::mt19937 rng(5);
  for (int i = 0; i < 600; ++i) {
    const bool longOne = i % 50 == 7;  // about 290 KB
    const unsigned lines = longOne ? 4000 : i % 3 == 0 ? 1 : 1 + rng() % 60;
    w.add("K" + std::to_string(1000 + i), "", static_cast<unsigned>(i % 6),
          std::vector<std::string>(lines, std::string(longOne ? 70 : 1 + rng() % 70, static_cast<char>('a' + i % 26))));
  }
  ASSERT_EQ(open(w.write()), "");
  const std::vector<const mIndexEntry*> all = entries();
  std::vector<const mIndexEntry*> stored(all), roundRobin, reversed(all.rbegin(), all.rend());
  std::sort(stored.begin(), stored.end(), [](auto a, auto b) {
    return std::tie(a->fileNumber, a->firstBlock) < std::tie(b->fileNumber, b->firstBlock);
  });
  for (std::size_t k = 0; k < 100; ++k)
    for (std::size_t f = 0; f < 6; ++f) roundRobin.push_back(stored[f * 100 + k]);
  reportReader reader(reportDecode::select(reportDecode::best()), false);
  auto read = [&](const mIndexEntry* e) {
    mbytes out;
    arraySink sink(out);
    reader.read(index.range(*e), textForm::oem, sink);
    return std::string(reinterpret_cast<const char*>(out.get_data()), static_cast<size_t>(out.get_count()));
  };
  for (const auto* order : {&stored, &roundRobin, &reversed, &stored})
    for (const mIndexEntry* e : *order) ASSERT_EQ(read(e), w.expected()[static_cast<size_t>(e->ordinal)]) << e->ordinal;
  // A read call that fails leaves no window claiming bytes it did not get.
  for (const mIndexEntry* e : stored) {
    {
      systemFault fault(systemFault::call::pread, EIO);
      try {
        read(e);
      } catch (mEx&) {
      }
    }
    ASSERT_EQ(read(e), w.expected()[static_cast<size_t>(e->ordinal)]) << e->ordinal;
  }
}

TEST_F(IndexTest, ReopeningReplacesEntriesAndDataFiles) {
  archive::writer first(dir.path("one"), "ARCHIVE.IDX");
  first.add("A", "", 1, {"a"});
  first.add("B", "", 2, {"b"});
  archive::writer second(dir.path("two"), "ARCHIVE.IDX");
  second.add("C", "", 5, {"c"});
  EXPECT_EQ(open(first.write()), "");
  EXPECT_EQ(open(second.write()), "");
  EXPECT_EQ(summary(), (std::vector<std::string>{"C|0|5|0|" + second.expected()[0]}));
  ASSERT_EQ(index.dataFiles.get_count(), 1);
  EXPECT_NE(dataFile(5), nullptr);
}

TEST_F(IndexTest, ThousandsOfRecordsDecodeAndEndBalanced) {
  std::mt19937 rng(77);
  const int n = 5000;
  std::vector<int> keys(n);
  for (int i = 0; i < n; ++i) keys[static_cast<size_t>(i)] = i;
  std::shuffle(keys.begin(), keys.end(), rng);
  const std::string letters = oem("ABCXYZ abc-.:0123АБВГабвгяЁё") + "\xB0\xC0\xDB\xFF";

  archive::writer w(dir.path(), "ARCHIVE.IDX");
  for (int i = 0; i < n; ++i) {
    archive::report r;
    std::string digits = std::to_string(100000 + keys[static_cast<size_t>(i)]);
    r.major = "R" + digits.substr(1, 3);
    r.minor = digits.substr(4);
    r.fileNumber = static_cast<unsigned>(rng() % 5) * 60;
    r.gapBlocks = rng() % 8 == 0 ? 1 : 0;
    r.how.digitsAsCodes = rng() % 2;
    r.how.punctuationAsCodes = rng() % 2;
    r.how.spaceRun = static_cast<int>(rng() % 4);
    r.how.repeatRun = static_cast<int>(rng() % 5);
    for (unsigned line = rng() % 5; line > 0; --line) {
      std::string text(rng() % 80, ' ');
      for (char& c : text) c = letters[rng() % letters.size()];
      r.lines.push_back(text);
    }
    w.add(r);
  }
  EXPECT_EQ(open(w.write()), "");

  ASSERT_EQ(index.entries.get_count(), n);
  const mIndexEntry* previous = nullptr;
  for (auto it = index.entries.begin(); node* e = it.step();) {
    if (previous) {
      ASSERT_EQ(previous->compare(e->value->c_str()), -1);
    }
    int ordinal = e->value->ordinal;
    ASSERT_EQ(report(e), w.expected()[static_cast<size_t>(ordinal)]) << "record " << ordinal;
    previous = e->value;
  }
  EXPECT_LE(depth(index.entries.top()), balancedDepth(n));
  EXPECT_EQ(index.dataFiles.get_count(), 5);
  EXPECT_LE(depth(index.dataFiles.top()), balancedDepth(5));
}

TEST_F(IndexTest, KeyOrderIsThatOfOneByOneInsertion) {
  // Keys of a few letters that sort alike in several ways (case, ё, hyphens,
  // repeats) and long ones whose sort keys run past the bytes compared first:
  // after the rebuild they stand as one-by-one insertion and balance leave
  // them, equal keys included.
  std::mt19937 rng(5);
  const std::string letters = oem("aAbB-'еЁё") + " 0";
  std::string records;
  mFileIndex::entry_map reference;
  for (int i = 0; i < 3000; ++i) {
    std::string major(1 + rng() % (rng() % 4 == 0 ? 30 : 3), 'x'), minor(rng() % 3, 'x');
    for (char& c : major) c = letters[rng() % letters.size()];
    for (char& c : minor) c = letters[rng() % letters.size()];
    // A length past its field takes the record's bytes that follow it.
    const std::string r = archive::record(major, static_cast<int>(major.size()), minor,
                                          static_cast<int>(minor.size()), 0, 9);
    records += r;
    mIndexEntry e;
    e.appendMultiByte(r.data() + 8, static_cast<int>(std::min<size_t>(major.size(), 32)), CP_OEMCP);
    e.appendMultiByte(r.data() + 1, static_cast<int>(minor.size()), CP_OEMCP);
    e.ordinal = i;
    reference.insert_copy(e);
  }
  reference.balance();
  dir.file("KEYS.IDX", records);
  open(dir.path("KEYS.IDX"));
  std::vector<int> expected;
  for (auto it = reference.begin(); node* n = it.step();) expected.push_back(n->value->ordinal);
  EXPECT_EQ(ordinals(), expected);
  // And the rebuilt tree has the shape of the reference, node for node.
  std::function<void(const node*, std::vector<int>&)> shape = [&](const node* n, std::vector<int>& out) {
    out.push_back(n ? n->value->ordinal : -1);
    if (n) shape(n->left, out), shape(n->right, out);
  };
  std::vector<int> ours, theirs;
  shape(index.entries.top(), ours);
  shape(reference.top(), theirs);
  EXPECT_EQ(ours, theirs);
}

TEST_F(IndexTest, ALargeIndexLoadsOnTwoThreadsAsOnOne) {
  // Enough records to be read, keyed and made into entries in two halves;
  // records naming the missing data file 3 are told in record order.
  std::mt19937 rng(11);
  const std::string letters = oem("aAbZ-ё") + "09";
  std::string records;
  for (int i = 0; i < 70000; ++i) {
    std::string major(1 + rng() % 6, 'x'), minor(rng() % 3, 'x');
    for (char& c : major) c = letters[rng() % letters.size()];
    for (char& c : minor) c = letters[rng() % letters.size()];
    records += record(major, minor, static_cast<std::uint32_t>(rng() % 50), i % 1000 == 7 ? 3 : 0);
  }
  dir.file("BIG.00", std::string(64 * 50, '\0'));
  dir.file("BIG.IDX", records);
  auto load = [&](unsigned threads) {
    index.threads = threads;
    std::vector<std::string> out{open(dir.path("BIG.IDX"))};
    for (const mIndexEntry* e : entries())
      out.push_back(oemOf(*e) + "|" + std::to_string(e->ordinal) + "|" + std::to_string(e->start) + "-" +
                    std::to_string(e->end));
    return out;
  };
  const std::vector<std::string> one = load(1);
  EXPECT_EQ(one.size(), 70001u);
  EXPECT_EQ(load(2), one);
}

}  // namespace
