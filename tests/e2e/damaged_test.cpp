// Damaged archives: truncated, empty, unreadable or garbled files, links that
// loop, odd list files and very large counts. The program must convert every
// report it can read, report the rest, and never crash or stop early.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "fixture.h"
#include "runner.h"

namespace {

class Damaged : public archiveTree {
 protected:
  // Adds reports FILL000 to FILL511 to data file 1: 32 MiB of encoded bytes,
  // 64 KiB a report, ending on a 64 KiB boundary. That is far more than the
  // program reads ahead of what it has written, so while it is blocked on
  // its output it has not read what comes after them. Returns their
  // positions.
  std::vector<int> addFiller(archive::writer& w) {
    const char symbols[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // one code byte each
    std::vector<int> positions;
    std::vector<std::string> lines(256, std::string(255, ' '));
    for (int r = 0; r < 512; ++r) {
      for (size_t l = 0; l < lines.size(); ++l)
        for (size_t k = 0; k < 255; ++k) lines[l][k] = symbols[(r + l + k) % 36];  // never a repeat
      char key[9];
      std::snprintf(key, sizeof key, "FILL%03d", r);
      positions.push_back(w.add(key, "", 1, lines));
    }
    return positions;
  }
  static std::vector<std::string> textsOf(const archive::writer& w, const std::vector<int>& positions) {
    std::vector<std::string> texts;
    for (int p : positions) texts.push_back(w.expected()[static_cast<size_t>(p)]);
    return texts;
  }
  static constexpr long fillerBytes = 32L << 20;

  // Writes the index `dir`/M.IDX of `count` records in key order, whose data
  // files M.00 to M.255 are all missing; returns the error texts of the
  // first `told` of them.
  std::string missingFilesIndex(const std::string& dir, long count, long told) {
    std::string index, errors;
    for (long i = 0; i < count; ++i) {
      const unsigned number = static_cast<unsigned>(i % 256);
      index += archive::record("K" + std::to_string(10000000 + i).substr(1), "", 0, number);
      if (i < told) errors += missingDataFile(shown(dir + "/M." + (number < 10 ? "0" : "") + std::to_string(number)));
    }
    tree.file(dir + "/M.IDX", index);
    return errors;
  }

  // Runs the program; it must end by itself, with exit code 1 when it wrote
  // an error text (something was not converted), 0 otherwise: warnings of
  // data that no index names count as none.
  outcome convert(const std::vector<std::string>& arguments, const runOptions& options = {}) {
    outcome r = run(arguments, options);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, errorTextsIn(r.err) > 0 ? 1 : 0);
    return r;
  }
};

// ---- Index files -------------------------------------------------------

TEST_F(Damaged, IndexCutAtEveryOffsetOfItsLastRecord) {
  // K1 and K2 in data file 1; the last record, K3, alone in data file 2.
  archive::writer w(at("d"), "X.IDX");
  w.add("K1", "", 1, {"ONE"});
  w.add("K2", "", 1, {"TWO", "  2"});
  w.add("K3", "", 2, {"THREE"});
  w.write();
  const std::string whole = archive::readFile(at("d/X.IDX"));
  const std::vector<std::string>& e = w.expected();

  // Every length natively; where a run is slow, those at the edges of the
  // record's fields.
  std::vector<std::size_t> cuts = {0, 1, 6, 7, 8, 9, 10, 11, 15, 16, 19, 20, 21, 39};
  if (!program.windows && !program.sanitized) {
    cuts.clear();
    for (std::size_t cut = 0; cut < 40; ++cut) cuts.push_back(cut);
  }
  for (std::size_t cut : cuts) {
    SCOPED_TRACE("last record cut to " + std::to_string(cut) + " bytes");
    tree.file("d/X.IDX", whole.substr(0, 80 + cut));
    outcome r = convert({arg("d")});
    // Missing bytes read as 0: up to byte 20 the piece names data file 0,
    // which does not exist; its key is empty or "K" until byte 10. Then no
    // record names data file 2.
    const std::string orphan = unnamedBytes(shown("d/X.02"), archive::readFile(w.dataFilePath(2)).size());
    if (cut == 0) {
      EXPECT_EQ(r.out, numbered({e[0], e[1]}));
      EXPECT_EQ(r.err, orphan);
    } else if (cut <= 20) {
      EXPECT_EQ(r.out, cut < 10 ? numbered({"", e[0], e[1]}) : numbered({e[0], e[1], ""}));
      EXPECT_EQ(r.err, missingDataFile(shown("d/X.00")) + orphan);
    } else {
      EXPECT_EQ(r.out, numbered({e[0], e[1], e[2]}));
      EXPECT_EQ(r.err, "");
    }
  }
}

// An empty index holds no records, an empty data file's reports lie beyond
// its end; an index or data file that is a named pipe (which must never
// block the run) cannot be mapped, and costs only itself. A list file that
// is a named pipe opened before its writer is read when the writer comes.
TEST_F(Damaged, EmptyOrUnmappableIndexOrDataFileCostsOnlyItself) {
  for (const bool pipes : {false, true}) {
    if (pipes && program.windows) continue;  // POSIX named pipes
    SCOPED_TRACE(pipes ? "named pipes" : "empty files");
    const std::string top = pipes ? "pipes/" : "empty/";
    const auto unmappable = [&](const std::string& name) {
      if (!pipes) return tree.file(top + name, "");
      ASSERT_EQ(mkfifo(at(top + name).c_str(), 0644), 0);
    };
    std::vector<std::string> a = simpleArchive(top + "d1", "A.IDX", {"A"});
    unmappable("d1/B.IDX");
    std::vector<std::string> c = simpleArchive(top + "d1", "C.IDX", {"C"});
    // An index whose second data file cannot be read.
    archive::writer e(at(top + "d2"), "E.IDX");
    e.add("E1", "", 1, {"E1"});
    e.add("E2", "", 2, {"E2"});
    e.omitDataFile(2);
    e.write();
    unmappable("d2/E.02");
    std::vector<std::string> f = simpleArchive(top + "d2", "F.IDX", {"F"});
    std::vector<std::string> g = simpleArchive(top + "d3", "G.IDX", {"G"});
    unmappable("dirs.lst");
    const std::string list = arg(top + "d3") + "\r\n";
    if (!pipes) tree.file(top + "dirs.lst", list);
    // The pipe's writer comes once the program has it open: no reader is there before.
    std::atomic<bool> ended{false};
    std::thread writer([&] {
      int fd = -1;
      while (pipes && !ended && (fd = open(at(top + "dirs.lst").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      const bool written = fd < 0 || write(fd, list.data(), list.size()) == static_cast<ssize_t>(list.size());
      if (fd >= 0) close(fd);
      EXPECT_TRUE(written);
    });

    runOptions soon;
    soon.timeoutSeconds = 20;
    outcome r = convert({arg(top + "d3"), arg(top + "d1"), arg(top + "d2"), "@" + arg(top + "dirs.lst")}, soon);
    ended = true;
    writer.join();
    EXPECT_EQ(r.out, numbered({a[0], c[0], e.expected()[0], "", f[0], g[0], g[0]}));
    EXPECT_EQ(r.err, pipes ? mappingFailed(shown(top + "d1/B.IDX")) + mappingFailed(shown(top + "d2/E.02")) : "");
  }
}

// ---- Data files --------------------------------------------------------

TEST_F(Damaged, ShortDataFilesAndBlocksUpToTheLast) {
  archive::writer w(at("d"), "S.IDX");
  w.add("K1", "", 1, {"ONE"});
  w.add("K2", "", 1, {"TWO", "ABCDEF"});
  // Blocks past the end, and those whose offset would wrap in 32 bits to
  // the reports at blocks 0 and 1.
  const std::pair<const char*, long long> far[] = {
      {"KA", 5}, {"KB", 1LL << 26}, {"KC", (1LL << 26) + 1}, {"KD", 0xFFFFFFFFLL}};
  for (const auto& [key, block] : far) {
    archive::report r;
    r.major = key;
    r.fileNumber = 1;
    r.block = block;
    w.add(r);
  }
  w.write();
  // The data file ends inside K2's second line: "ABC" of it is left.
  std::string data = archive::readFile(w.dataFilePath(1));
  archive::writeFile(w.dataFilePath(1), data.substr(0, 64 + 4 + 4));

  outcome r = convert({arg("d")});
  EXPECT_EQ(r.out, numbered({w.expected()[0], "TWO\nABC\n", "", "", "", ""}));
  EXPECT_EQ(r.err, "");
}

TEST_F(Damaged, FileNumbersNamingMissingAndExistingFiles) {
  archive::writer w(at("d"), "N.IDX");
  w.add("A", "", 1, {"KEPT 1"});
  w.add("B", "", 3, {"lost"});
  w.add("C", "", 255, {"lost"});
  w.add("D", "", 9, {"KEPT 9"});
  w.add("E", "", 3, {"lost again"});
  w.add("F", "", 4, {"a directory"});
  w.add("G", "", 5, {"other case"});
  w.omitDataFile(3);
  w.omitDataFile(255);
  w.omitDataFile(4);
  w.omitDataFile(5);
  w.write();
  tree.dir("d/N.04");
  tree.file("d/n.05", archive::encodeReport({"other case"}));

  outcome r = convert({arg("d")});
  EXPECT_EQ(r.out, numbered({w.expected()[0], "", "", w.expected()[3], "", "", ""}));
  EXPECT_EQ(r.err, missingDataFile(shown("d/N.03")) + missingDataFile(shown("d/N.255")) +
                       missingDataFile(shown("d/N.03")) + missingDataFile(shown("d/N.04")) +
                       missingDataFile(shown("d/N.05")) +
                       unnamedBytes(shown("d/n.05"), archive::encodeReport({"other case"}).size()));
}

TEST_F(Damaged, EveryDataFileOfAnIndexAboveASmallLimitOfOpenFiles) {
  // The data files of an index stay open while its reports are written: 256
  // of them under a soft limit of 64 open files (a shell's `ulimit -Sn 64`).
  if (program.windows) GTEST_SKIP() << "no limit of open files on Windows";
  archive::writer w(at("d"), "F.IDX");
  for (int n = 0; n < 256; ++n) w.add("K" + std::to_string(1000 + n), "", n, {"FILE " + std::to_string(n)});
  w.write();
  runOptions limited;
  limited.openFilesLimit = 64;
  outcome r = run({arg("d")}, limited);
  EXPECT_EQ(r.out, numbered(w.expected()));
  EXPECT_EQ(r.err, "");
}

// ---- Bytes that no index record names ---------------------------------

// Data files that no record names (their index gone, a number the index
// does not name, a name in other letter case) and the bytes before the first
// block the records name: each is told after the reports of its directory,
// and with --salvage its reports follow them, cut where a report's padding
// ends. A verifying run finds them, and they are damage.
TEST_F(Damaged, BytesNoRecordNamesAreToldAndSalvaged) {
  std::vector<std::string> n = simpleArchive("d1", "NORTH.IDX", {"N1", "N2"});
  tree.file("d1/NORTH.02", archive::encodeReport({"N3"}));
  ASSERT_EQ(std::remove(at("d1/NORTH.IDX").c_str()), 0);
  tree.file("d2/ARCHIVE.07", archive::encodeReport({"SEVEN"}));
  archive::writer six(at("d2"), "ARCHIVE.IDX");
  for (unsigned i = 0; i < 6; ++i) six.add("K" + std::to_string(i), "", i, {"FILE " + std::to_string(i)});
  six.write();
  std::vector<std::string> lower = simpleArchive("d3", "ARCHIVE.IDX", {"K"});
  ASSERT_EQ(std::rename(at("d3/ARCHIVE.01").c_str(), at("d3/archive.01").c_str()), 0);
  std::vector<std::string> l = simpleArchive("d4", "LOST.IDX", {"L1", "L2", "L3"});
  tree.file("d4/LOST.IDX", archive::record("L3", "", 2, 1));  // the others' records are gone
  const auto orphan = [&](const std::string& path) { return unnamedBytes(shown(path), archive::readFile(at(path)).size()); };
  const struct {
    const char* dir;
    std::vector<std::string> indexed, salvaged;
    std::string err;
  } rows[] = {
      {"d1", {}, {n[0], n[1], "N3\n"},
       orphan("d1/NORTH.01") + orphan("d1/NORTH.02") + oem("tarvin: не найдено ни одного индексного файла (*.idx)\n")},
      {"d2", six.expected(), {"SEVEN\n"}, orphan("d2/ARCHIVE.07")},
      {"d3", {""}, lower, missingDataFile(shown("d3/ARCHIVE.01")) + orphan("d3/archive.01")},
      {"d4", {l[2]}, {l[0], l[1]}, unnamedBytes(shown("d4/LOST.01"), 128, false)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.dir);
    outcome told = convert({arg(row.dir)}), salvaged = convert({program.option("salvage"), arg(row.dir)});
    EXPECT_EQ(told.out, numbered(row.indexed));
    EXPECT_EQ(told.err, row.err);
    EXPECT_EQ(salvaged.out, told.out + numbered(row.salvaged, static_cast<long>(row.indexed.size())));
    EXPECT_EQ(salvaged.err, row.err);
  }
  convert({program.option("salvage"), program.option("split", arg("out")), arg("d4")});
  EXPECT_EQ(archive::readFile(at("out/d4/LOST.txt")) + archive::readFile(at("out/d4/LOST.01.txt")),
            numbered({l[2], l[0], l[1]}));
  outcome verified = run({program.option("verify"), arg("d4"), arg("d2")});
  const std::string unnamed = ": не назван ни одной записью индекса до ";
  EXPECT_EQ(verified.out.substr(0, verified.out.rfind(oem("Проверено"))),
            oem(shown("d2/ARCHIVE.07") + unnamed + "конца файла, байт 6\n" + shown("d4/LOST.01") + unnamed +
                "первого названного блока, байт 128\n"));
  EXPECT_EQ(verified.err, rows[1].err + rows[3].err);
  EXPECT_EQ(verified.exitCode, 1);
}

// Names as the file system holds them: spaces at either end, quotes and
// wildcard characters are part of a name, never re-read as the path rule
// reads what a user typed; and a data file that is a link to nothing is as
// missing as one that is not there. Each row is a directory of its own.
TEST_F(Damaged, NamesFromTheFileSystemAreTakenLiterally) {
  struct row {
    const char* dir;
    std::vector<const char*> indexes;  // each with one report in its data file 0
    const char* decoy;                 // a file that a pattern would find instead, or null
    bool posixOnly;                    // names Windows does not allow, or links
  };
  const row rows[] = {
      {"d1", {" B.IDX", "B.IDX"}, nullptr, false},
      {"d2/s", {" LEAD.IDX"}, nullptr, false},
      {"d3/it\"s", {"A.IDX"}, nullptr, true},
      {"d4", {"a?.IDX", "b*.IDX"}, "a1.00", true},
      {"d6/dir.", {"A.IDX"}, nullptr, false},  // a plain path on Windows drops "." and " " at the end
      {"d7/sp ", {"A.IDX"}, nullptr, false},
  };
  std::vector<std::string> arguments, texts;
  for (const row& r : rows) {
    if (r.posixOnly && program.windows) continue;
    for (const char* index : r.indexes) {
      archive::writer w(at(r.dir), index);
      w.add("K", "", 0, {std::string("LITERAL ") + index});
      w.write();
      texts.push_back(w.expected()[0]);
    }
    if (r.decoy) tree.file(std::string(r.dir) + "/" + r.decoy, archive::encodeReport({"DECOY"}));
    arguments.push_back(arg(std::string(r.dir).substr(0, 2)));
  }
  // The decoys have the form of data files that no record names.
  const std::size_t decoy = archive::encodeReport({"DECOY"}).size();
  std::string err = (program.windows ? "" : unnamedBytes(shown("d4/a1.00"), decoy)) +
                    unnamedBytes(shown("d8/REPORTS.00"), decoy);
  if (!program.windows) {
    archive::writer w(at("d9"), "L.IDX");
    w.add("K1", "", 0, {"BESIDE THE LINK"});
    w.add("K2", "", 1, {"lost"});
    w.omitDataFile(1);
    w.write();
    ASSERT_EQ(symlink("nowhere", w.dataFilePath(1).c_str()), 0);
    texts.push_back(w.expected()[0]);
    texts.push_back("");
    arguments.push_back(arg("d9"));
    err += missingDataFile(shown("d9/L.01"));
  }
  // No index file, though its 8.3 short name (Wine: REPO~XYI.IDX) matches "*.idx".
  tree.file("d8/REPORTS.idxold", archive::record("K", "", 0, 0));
  tree.file("d8/REPORTS.00", archive::encodeReport({"DECOY"}));
  arguments.push_back(arg("d8"));

  outcome r = convert(arguments);
  EXPECT_EQ(r.out, numbered(texts));
  EXPECT_EQ(r.err, err);
}

// ---- Directories and list files ---------------------------------------

TEST_F(Damaged, DirectoryLinksBackToAncestorsEndTheWalk) {
  // Under Wine the links are reparse points, which the Windows build does not walk into.
  std::vector<std::string> a = simpleArchive("d", "A.IDX", {"A"});
  std::vector<std::string> b = simpleArchive("d/sub", "B.IDX", {"B"});
  std::vector<std::string> c = simpleArchive("d/sub/deeper", "C.IDX", {"C"});
  tree.link("..", "d/sub/up");
  tree.link("../..", "d/sub/deeper/top");
  tree.link(at("d"), "d/self");

  outcome r = convert({arg("d")});
  EXPECT_EQ(r.out, numbered({a[0], b[0], c[0]}));
  EXPECT_EQ(r.err, "");
}

TEST_F(Damaged, WebOfLinksAndLinkToASiblingConvertOnce) {
  // 23 directories side by side, each of the first 22 holding two links to
  // the next: 2^22 paths lead to the archive in the last one. Each directory
  // is walked once, so it converts once (and a walk of every path would not
  // end within the time limit).
  const int levels = 22;
  auto level = [](int i) { return "web/l" + std::to_string(100 + i); };
  for (int i = 0; i < levels; ++i) {
    tree.dir(level(i));
    const std::string next = "../l" + std::to_string(101 + i);
    tree.link(next, level(i) + "/a");
    tree.link(next, level(i) + "/b");
  }
  std::vector<std::string> w = simpleArchive(level(levels), "W.IDX", {"W"});
  // A link to a sibling that comes later: the sibling's archive is converted
  // once, under the path met first (the link), as its error text shows.
  archive::writer s(at("sib/b"), "S.IDX");
  s.add("S1", "", 1, {"SIBLING"});
  s.add("S2", "", 2, {"lost"});
  s.omitDataFile(2);
  s.write();
  tree.dir("sib/a");
  tree.link("../b", "sib/a/link");

  runOptions soon;
  soon.timeoutSeconds = 30;
  outcome r = convert({arg("web"), arg("sib")}, soon);
  EXPECT_EQ(r.out, numbered({s.expected()[0], "", w[0]}));
  // The Windows build does not walk into links (reparse points) at all.
  EXPECT_EQ(r.err, missingDataFile(shown(program.walksDirectoryLinks() ? "sib/a/link/S.02" : "sib/b/S.02")));
}

// Size lines of released long texts are the program's diagnostics: they
// are taken out, and the rest must be exactly the reports.
std::string withoutSizeLines(const std::string& out, std::vector<std::string>& sizeLines) {
  const std::string mark = oem("<>Размер строки<> ");
  std::string rest;
  for (std::size_t pos = 0; pos < out.size();) {
    std::size_t end = out.find('\n', pos);
    end = end == std::string::npos ? out.size() : end + 1;
    std::string line = out.substr(pos, end - pos);
    if (line.compare(0, mark.size(), mark) == 0)
      sizeLines.push_back(line);
    else
      rest += line;
    pos = end;
  }
  return rest;
}

TEST_F(Damaged, ListFileWithNulBytesAndVeryLongLines) {
  std::vector<std::string> a = simpleArchive("a", "A.IDX", {"A"});
  std::vector<std::string> b = simpleArchive("b", "B.IDX", {"B"});
  std::vector<std::string> c = simpleArchive("c", "C.IDX", {"C"});
  std::string longPath = arg("c");
  while (longPath.size() < 40000) longPath += program.separator() + std::string(".");
  std::string nul(1, '\0');
  simpleArchive("d", "D.IDX", {"D"});  // named only before a NUL byte
  std::string list = arg("a") + "\r\n" + longPath + "\r\n" + nul + nul + nul + "\r\n" + nul + arg("c") + "\r\n" +
                     arg("d") + nul + "tail\r\n" +
                     std::string(40000, 'x') + "\r\n" + arg("b");
  tree.file("dirs.lst", list);

  // Lines with a NUL byte name no directory: not the current one, which an
  // empty name would stand for, nor the part before the NUL.
  simpleArchive("cwd", "W.IDX", {"W"});
  runOptions inCwd;
  inCwd.directory = at("cwd");
  outcome r = convert({"@" + arg("dirs.lst")}, inCwd);
  std::vector<std::string> sizeLines;
  // The name of 40000 characters names nothing the system can open. The
  // path of 40000 (beyond the 32767 units of any Windows path) names "c"
  // (walked first: its name is ".") where the system resolves it: Linux and
  // Wine, not Windows.
  EXPECT_EQ(withoutSizeLines(r.out, sizeLines),
            program.resolvesPathsBeyondMaxPath() ? numbered({c[0], a[0], b[0]}) : numbered({a[0], b[0]}));
  EXPECT_NE(std::find(sizeLines.begin(), sizeLines.end(), sizeLine(list.size())), sizeLines.end());
  // What names no directory is said: the name of 40000 characters (and on
  // Windows the path of 40000), each with the system's error.
  const std::size_t unlisted = program.resolvesPathsBeyondMaxPath() ? 1 : 2;
  auto errorTexts = [](const std::string& err) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = err.find("Error number ", at)) != std::string::npos; ++at) ++n;
    return n;
  };
  EXPECT_EQ(errorTexts(r.err), unlisted);
  EXPECT_NE(r.err.find("func=FindFirstFile filename=" + shown("cwd") + program.separator() + "xxxxxxxx"),
            std::string::npos);

  // In JSON lines standard output holds nothing else: the size lines go with
  // the error texts, as JSON objects too.
  outcome json = convert({"@" + arg("dirs.lst"), program.option("jsonl")}, inCwd);
  std::vector<std::string> onOutput;
  EXPECT_EQ(withoutSizeLines(json.out, onOutput), json.out);
  EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '{'), program.resolvesPathsBeyondMaxPath() ? 3 : 2);
  EXPECT_EQ(errorTexts(json.err), unlisted);
  const std::string size = utf8(sizeLine(list.size()));
  EXPECT_NE(json.err.find("{\"kind\":\"size line\",\"text\":\"" + size.substr(0, size.size() - 1) + "\"}\n"),
            std::string::npos);
}

// ---- Large counts ------------------------------------------------------

TEST_F(Damaged, TenThousandIndexFilesInOneDirectory) {
  const int count = 10000;
  std::vector<int> order(count);
  for (int i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));  // written out of name order
  std::string report = archive::encodeReport({"R"});
  for (int i : order) {
    char name[16];
    std::snprintf(name, sizeof name, "I%05d", i);
    tree.file(std::string("d/") + name + ".IDX", archive::record("K", "", 0, 1));
    tree.file(std::string("d/") + name + ".01", report);
  }

  outcome r = convert({arg("d")});
  EXPECT_EQ(r.out, numbered(std::vector<std::string>(count, "R\n")));
  EXPECT_EQ(r.err, "");
}

TEST_F(Damaged, WideAndDeepTreesAreWalkedWhole) {
  struct archiveAt {
    std::string dir;    // below the tree's top
    std::string index;
    std::string text;   // none: an empty index, which holds no records
  };
  struct walk {
    const char* what;
    std::string top;
    std::vector<archiveAt> archives;  // in the order their reports come out
  };
  auto digits = [](int n, int width) {
    std::string s = std::to_string(n);
    return std::string(static_cast<std::size_t>(width) - s.size(), '0') + s;
  };
  // Index files by name, equal names in the order of the walk, also after a
  // directory that adds more than 64 of them.
  walk equal{"equal names before a large directory", "equal", {}};
  for (const char* d : {"a", "b", "c"}) equal.archives.push_back({d, "A.IDX", std::string("EQUAL ") + d});
  for (int i = 0; i < 65; ++i) equal.archives.push_back({"z", "B" + digits(i, 2) + ".IDX", "B" + digits(i, 2)});
  // A directory of 30,000 index files, then 8,000 subdirectories with one
  // each. A walk that went over the whole list again for each directory
  // would compare 240 million pairs of names, which their long common part
  // makes slow: minutes. All indexes are empty, so the run is the walk and
  // an opening of each.
  // The native run tells a walk from a quadratic one; under Wine and the
  // sanitizers, where every step is slower, a quarter of the tree checks
  // the same order and texts.
  const int scale = program.windows || program.sanitized ? 4 : 1;
  const int files = 30000 / scale, subdirectories = 8000 / scale;
  const std::string lastSubdirectory = "d" + digits(subdirectories - 1, 5);
  walk wide{"a large directory and many subdirectories", "wide", {{lastSubdirectory, "A.IDX", ""}}};
  const std::string longName(235, 'x');
  for (int i = 0; i < files; ++i) wide.archives.push_back({"big", longName + "B" + digits(i, 5) + ".IDX", ""});
  for (int i = 0; i < subdirectories - 1; ++i)
    wide.archives.push_back({"d" + digits(i, 5), longName + "Z" + digits(i, 5) + ".IDX", ""});
  // 30 levels of 200-character names, with archives at a few depths, the
  // deepest past every path limit: 260 units (MAX_PATH) on Windows, 4096
  // bytes on Linux and below Wine.
  walk deep{"levels past the path limits", "deep", {}};
  const std::string level(200, 'L');
  std::string levels = level;
  for (int depth = 1; depth <= 30; ++depth, levels += "/" + level)
    if (depth == 1 || depth == 10 || depth == 30)
      deep.archives.push_back({levels, "D.IDX", "DEPTH " + std::to_string(depth)});

  for (const walk* t : {&equal, &wide, &deep}) {
    SCOPED_TRACE(t->what);
    std::string out;
    long n = 0;
    for (const archiveAt& a : t->archives) {
      // Below the top one directory at a time: the path may be longer than
      // the system takes in one call. An empty index, or one report.
      const std::string dir = t->top + "/" + a.dir + "/";
      tree.file(dir + a.index, a.text.empty() ? "" : archive::record("K", "", 0, 1));
      if (!a.text.empty()) tree.file(dir + a.index.substr(0, a.index.rfind('.')) + ".01", archive::encodeReport({a.text}));
      if (!a.text.empty()) out += a.text + "\n" + separatorLine(n++);
    }
    // Time for a walk, not for one that compares every entry again for each
    // directory: that takes minutes (and everything longer under Wine and
    // the sanitizers).
    runOptions soon;
    soon.timeoutSeconds = program.windows || program.sanitized ? 120 : 20;
    outcome r = convert({arg(t->top)}, soon);
    if (t != &deep || !program.underWine()) {  // Windows reaches all in the "\\?\" form
      EXPECT_TRUE(r.out == out) << "standard output differs";
      EXPECT_EQ(r.err, "");
      continue;
    }
    // Wine converts the archives down to the first directory it cannot
    // search (it resolves paths beyond MAX_PATH, up to the limit of the
    // system below it), names that directory, and walks no deeper.
    const unsigned code = program.underWine() ? 31 : 3;  // "general failure", "path not found"
    std::string reached, dir = t->top;
    bool named = false;
    n = 0;
    for (int depth = 1; depth <= 30 && !named; ++depth) {
      dir += "/" + level;
      named = r.out == reached && r.err == unlistedDirectory(code, shown(dir));
      if (depth == 1 || depth == 10) reached += "DEPTH " + std::to_string(depth) + "\n" + separatorLine(n++);
    }
    EXPECT_TRUE(named) << r.out << r.err;
  }
}

TEST_F(Damaged, IndexOfManyRecordsWhoseDataFilesAreAllMissing) {
  // Fewer where each lookup is slow; still a hundred for each data file.
  const long count = program.windows || program.sanitized ? 25600 : 100000;
  const std::string expectedErr = missingFilesIndex("d", count, count);

  outcome r = convert({arg("d")});
  const std::string lastNumber = std::to_string((count - 1) % 256);
  std::string first = missingDataFile(shown("d/M.00")), last = missingDataFile(shown("d/M." + lastNumber));
  EXPECT_EQ(r.err.compare(0, first.size(), first), 0);
  EXPECT_EQ(r.err.compare(r.err.size() - last.size(), last.size(), last), 0);
  EXPECT_EQ(static_cast<long>(std::count(r.err.begin(), r.err.end(), '\n')), 2 * count);
  EXPECT_TRUE(r.err == expectedErr) << "standard error differs from the 100000 messages";
  EXPECT_TRUE(r.out == numbered(std::vector<std::string>(count, ""))) << "separators lost";
}

TEST_F(Damaged, IndexOfZeroedRecordsEndsSoon) {
  // A zeroed index (a file of holes): every record has the empty key, block 0
  // and data file 0. Putting a hundred thousand equal keys in order must not
  // cost a walk along all of them for each.
  const long count = 100000;
  tree.file("d/Z.IDX", std::string(static_cast<std::size_t>(count) * 40, '\0'));
  tree.file("d/Z.00", archive::encodeReport({"ZERO"}));
  runOptions soon;
  soon.timeoutSeconds = 20;
  outcome r = convert({arg("d")}, soon);
  EXPECT_TRUE(r.out == numbered(std::vector<std::string>(count, "ZERO\n"))) << "standard output differs";
  EXPECT_EQ(r.err, "");
}

TEST_F(Damaged, MemoryShortageWhileAnIndexLoadsEndsThatIndexOnly) {
  // More records than the maps can count, in a sparse index of 100 GB; and
  // a million records where the memory runs out before they are loaded.
  std::string million;
  for (long i = 0; i < 1000000; ++i) {
    char key[9];
    std::snprintf(key, sizeof key, "K%07ld", i);
    million += archive::record(key, "", 0, 1);
  }
  const struct {
    const char* name;
    long long sparseSize;  // or else the million records
    long memoryLimitMb;
  } rows[] = {{"a/H.IDX", 100LL << 30, 0}, {"a/M.IDX", 0, 120}};
  std::vector<std::string> b = simpleArchive("b", "B.IDX", {"B"});  // the next directory
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.memoryLimitMb && (program.sanitized || program.windows)) continue;  // no address-space limit
    std::system(("rm -rf '" + at("a") + "'").c_str());
    tree.file("a/M.01", archive::encodeReport({"M"}));  // which no record read names
    const std::vector<std::string> n = simpleArchive("a", "N.IDX", {"N"});  // the next index file
    if (row.sparseSize) {
      tree.file(row.name, "");
      ASSERT_EQ(truncate(at(row.name).c_str(), row.sparseSize), 0);
    } else {
      tree.file(row.name, million);
    }
    runOptions limited;
    limited.memoryLimitMb = row.memoryLimitMb;
    outcome r = convert({arg("a"), arg("b")}, limited);
    EXPECT_EQ(r.out, numbered({n[0], b[0]}));
    // Which request meets the limit first, the index's map or the records'
    // room, depends on what the worker threads hold at that moment.
    const std::string unnamed = unnamedBytes(shown("a/M.01"), archive::readFile(at("a/M.01")).size());
    const std::string recordsRoom =
        errorText(8, program.systemText(8) + "func=malloc Ошибка выделения памяти. filename=" + shown(row.name),
                  origin::indexMemory) +
        unnamed;
    const std::string indexMap = errorText(8, program.systemText(8) + "func=MapViewOfFile filename=" + shown(row.name),
                                           origin::fileView) +
                                 unnamed;
    EXPECT_TRUE(r.err == recordsRoom || (row.memoryLimitMb && r.err == indexMap)) << r.err;
  }
}

TEST_F(Damaged, ReportLargerThanTwoGiBConverts) {
  // A sparse data file of 2 GiB and 1 MiB: the report's line, then a zero
  // byte, an empty line, for every other byte.
  archive::writer w(at("d"), "G.IDX");
  w.add("K1", "", 1, {"FIRST LINE"});
  w.write();
  const long long size = (2LL << 30) + (1 << 20);
  ASSERT_EQ(truncate(w.dataFilePath(1).c_str(), size), 0);
  const std::string line = archive::encodeReport({"FIRST LINE"});
  // Its beginning, as far as a reader takes it (| head -c 1000000).
  runOptions head;
  head.pipedStream = 1;
  head.closeAfter = 1000000;
  outcome r = run({arg("d")}, head);
  EXPECT_TRUE(r.out == "FIRST LINE\n" + std::string(head.closeAfter - 11, '\n')) << r.out.substr(0, 100);
  EXPECT_EQ(r.err, "");
  // All of it, without holding it: no error, and an end of its own.
  if (program.sanitized) return;  // too slow to decode 2 GiB
  runOptions discarded;
  discarded.stdoutPath = "/dev/null";
  r = convert({arg("d")}, discarded);
  EXPECT_EQ(r.err, "");
}

// ---- Lost output -------------------------------------------------------

TEST_F(Damaged, FullOutputStopsTheUsageAndALongReportWithOneError) {
  archive::writer w(at("d"), "L.IDX");
  w.add("K1", "", 1, std::vector<std::string>(200, std::string(99, 'x')));
  w.add("K2", "", 1, {"after"});
  w.write();
  const unsigned diskFull = program.diskFullError();
  const std::string lost = outputLost(diskFull);
  runOptions full;
  full.stdoutPath = "/dev/full";
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{{"/?"}, {arg("d")}}) {
    outcome r = run(arguments, full);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, lost);
  }
}

// ---- Files changed under a running conversion ---------------------------

// Each case blocks the program on a full pipe, changes its files, then reads
// the pipe to its end: whatever was written before the block, the change
// lies far beyond what the program had read.

TEST_F(Damaged, DataFileCutShortDuringTheRun) {
  archive::writer w(at("d1"), "A.IDX");
  std::vector<int> fill = addFiller(w);
  int z3 = w.add("Z3", "", 2, {"KEPT"});
  w.add("Z1", "", 1, {"CUT AWAY"});  // after the filler in A.01
  w.add("Z2", "", 1, {"CUT AWAY TOO"});
  w.write();
  std::vector<std::string> filler = textsOf(w, fill), b = simpleArchive("d2", "B.IDX", {"B"});
  runOptions blocked;
  blocked.pipedStream = 1;
  blocked.whileBlocked = [&] { ASSERT_EQ(truncate(w.dataFilePath(1).c_str(), fillerBytes), 0); };

  outcome r = convert({arg("d1"), arg("d2")}, blocked);
  // The reports cut away are skipped, each with its error, without separators.
  filler.push_back(w.expected()[static_cast<size_t>(z3)]);
  filler.push_back(b[0]);
  EXPECT_TRUE(r.out == numbered(filler)) << "standard output differs";
  EXPECT_EQ(r.err, readFault(shown("d1/A.01")) + readFault(shown("d1/A.01")));
}

TEST_F(Damaged, DataFileCutShortWhileAVerifyingRunIsBlocked) {
  // The lines of 40,000 reports whose one line is cut keep a verifying run
  // blocked long before the reports in V.02, cut away meanwhile. They fail;
  // the report after them was decoded ahead, numbered as if none would.
  archive::writer w(at("d"), "V.IDX");
  std::string records, damage;
  for (int i = 0; i < 40000; ++i) {
    const std::string key = "A" + std::to_string(100000 + i);
    records += archive::record(key, "", static_cast<std::uint32_t>(i), 1);
    damage += oem(shown("d/V.IDX") + ": ключ \"" + key + "\", V.01: строка длиннее байтов, что остались до конца " +
                  "рапорта, байт " + std::to_string(64 * i) + "\n");
  }
  w.appendToIndex(records);
  tree.file("d/V.01", std::string(64 * 40000, '\xFF'));  // each block a line of 255 codes
  for (int i = 0; i < 400; ++i) w.add("Z" + std::to_string(1000 + i), "", 2, std::vector<std::string>(40, "CUT"));
  w.add("ZZ", "", 3, {"AFTER"});
  w.write();
  runOptions blocked;
  blocked.pipedStream = 1;
  blocked.whileBlocked = [&] { ASSERT_EQ(truncate(w.dataFilePath(2).c_str(), 0), 0); };
  outcome r = run({program.option("verify"), arg("d")}, blocked);
  std::string faults;
  for (int i = 0; i < 400; ++i) faults += readFault(shown("d/V.02"));
  const std::size_t bytes = 64 * 40000 + archive::readFile(w.dataFilePath(3)).size();
  EXPECT_TRUE(r.out == damage + oem(verifySummary({1, 0, 40001, bytes, 3, 0, 0, 0, 0, 0, 0, 0, 40000, 400})))
      << r.out.substr(0, 300);
  EXPECT_EQ(r.err, faults);
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(Damaged, IndexCutShortWhileItIsOpened) {
  // Every record names a missing data file, so that opening the index writes
  // an error text for each: it blocks on standard error while it is open.
  const int kept = 2048;  // 20 pages of records
  const std::string expectedErr = missingFilesIndex("d1", 2 * kept, kept);
  std::vector<std::string> n = simpleArchive("d1", "N.IDX", {"N"});  // after M.IDX in its tree
  std::vector<std::string> b = simpleArchive("d2", "B.IDX", {"B"});
  runOptions blocked;
  blocked.pipedStream = 2;
  blocked.whileBlocked = [&] { ASSERT_EQ(truncate(at("d1/M.IDX").c_str(), kept * 40), 0); };

  outcome r = convert({arg("d1"), arg("d2")}, blocked);
  EXPECT_EQ(r.out, numbered({n[0], b[0]}));
  EXPECT_TRUE(r.err == expectedErr + readFault(shown("d1/M.IDX"))) << "standard error differs";
}

TEST_F(Damaged, DataFileReplacedWhileItIsMapped) {
  archive::writer w(at("d"), "R.IDX");
  std::vector<int> fill = addFiller(w);
  int z = w.add("Z", "", 1, {"AS IT WAS WHEN THE INDEX WAS OPENED"});
  w.write();
  std::vector<std::string> filler = textsOf(w, fill);
  runOptions blocked;
  blocked.pipedStream = 1;
  blocked.whileBlocked = [&] {
    tree.file("d/new", archive::encodeReport({"REPLACED"}));
    ASSERT_EQ(std::rename(at("d/new").c_str(), w.dataFilePath(1).c_str()), 0);
  };

  outcome r = convert({arg("d")}, blocked);
  // The mapping keeps the file that was opened.
  filler.push_back(w.expected()[static_cast<size_t>(z)]);
  EXPECT_TRUE(r.out == numbered(filler)) << "standard output differs";
  EXPECT_EQ(r.err, "");
}

TEST_F(Damaged, DirectoryRemovedAfterItWasListed) {
  archive::writer w(at("t/a"), "A.IDX");
  std::vector<int> fill = addFiller(w);
  w.write();
  std::vector<std::string> filler = textsOf(w, fill);
  // The three index files after the blocked one may be opened already (the
  // run takes the next one to decode it ahead, and opens two more ahead of
  // their turn); the fourth is not.
  std::vector<std::string> ahead1 = simpleArchive("t/a1", "A1.IDX", {"A1"});
  std::vector<std::string> ahead2 = simpleArchive("t/a2", "A2.IDX", {"A2"});
  std::vector<std::string> ahead3 = simpleArchive("t/a3", "A3.IDX", {"A3"});
  simpleArchive("t/b", "B.IDX", {"B"});
  std::vector<std::string> c = simpleArchive("t/c", "C.IDX", {"C"});  // after B.IDX in its tree
  std::vector<std::string> u = simpleArchive("u", "U.IDX", {"U"});
  runOptions blocked;
  blocked.pipedStream = 1;
  blocked.whileBlocked = [&] { ASSERT_EQ(std::system(("rm -r '" + at("t/b") + "'").c_str()), 0); };

  outcome r = convert({arg("t"), arg("u")}, blocked);
  filler.push_back(ahead1[0]);
  filler.push_back(ahead2[0]);
  filler.push_back(ahead3[0]);
  filler.push_back(c[0]);
  filler.push_back(u[0]);
  EXPECT_TRUE(r.out == numbered(filler)) << "standard output differs";
  EXPECT_EQ(r.err, openFailed(3, shown("t/b/B.IDX")));
}

TEST_F(Damaged, OutputClosedByItsReaderEndsQuietly) {
  archive::writer w(at("d"), "H.IDX");
  std::vector<int> fill = addFiller(w);
  w.write();
  runOptions head;  // | head -c 100
  head.pipedStream = 1;
  head.closeAfter = 100;

  outcome r = run({arg("d")}, head);
  EXPECT_EQ(r.out, w.expected()[static_cast<size_t>(fill[0])].substr(0, 100));
  EXPECT_EQ(r.err, "");
  if (program.closedPipeEndsBySignal()) {
    EXPECT_EQ(r.signal, SIGPIPE);
  } else {
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 1);
  }
}

// The texts of a run's output, each followed by its separator, numbered
// from 0; false when the output is not made of such texts.
bool splitTexts(const std::string& out, std::vector<std::string>& texts) {
  for (std::size_t pos = 0; pos < out.size();) {
    const std::string separator = separatorLine(static_cast<long>(texts.size()));
    const std::size_t end = out.find(separator, pos);
    if (end == std::string::npos) return false;
    texts.push_back(out.substr(pos, end - pos));
    pos = end + separator.size();
  }
  return true;
}

// Whether `texts` is `whole` with its report `i` left out, or cut short.
bool cutAt(const std::vector<std::string>& texts, const std::vector<std::string>& whole, std::size_t i) {
  std::vector<std::string> without = whole;
  without.erase(without.begin() + static_cast<long>(i));
  if (texts == without) return true;
  if (texts.size() != whole.size() || whole[i].compare(0, texts[i].size(), texts[i]) != 0) return false;
  without.insert(without.begin() + static_cast<long>(i), texts[i]);
  return texts == without;
}

TEST_F(Damaged, FileFlippedBetweenTwoSizesWhileConverted) {
  // X.IDX lists K1, K2 and K3 in X.01, which is 4 KiB long, K3 running to
  // its end. The long version of either file adds zero bytes: X.01's gives
  // K3 that many more empty lines; X.IDX's are records of an empty key that
  // name block 0 of X.00, the report ZERO.
  archive::writer w(at("d"), "X.IDX");
  w.add("K1", "", 1, {"ONE"});
  w.add("K2", "", 1, {"TWO", "  2"});
  w.add("K3", "", 1, {"THREE"});
  w.write();
  const std::string data = archive::readFile(w.dataFilePath(1));
  const long dataSize = 4096, indexSize = 3 * 40, added = 1 << 20, zeroRecords = 1024;
  ASSERT_LT(static_cast<long>(data.size()), dataSize);
  archive::writeFile(w.dataFilePath(1), data + std::string(static_cast<size_t>(dataSize) - data.size(), '\0'));
  tree.file("d/X.00", archive::encodeReport({"ZERO"}));
  const std::string k1 = w.expected()[0], k2 = w.expected()[1];
  const std::string k3 = w.expected()[2] + std::string(static_cast<size_t>(dataSize) - data.size(), '\n');
  const std::string e = simpleArchive("e", "E.IDX", {"E"})[0];  // the next directory: always converted
  std::vector<std::string> zeros(static_cast<size_t>(zeroRecords), "ZERO\n");
  zeros.insert(zeros.end(), {k1, k2, k3, e});

  const struct {
    const char* file;
    long shortSize, longSize;
    std::vector<std::string> shortTexts, longTexts;  // what each version gives
  } rows[] = {
      {"d/X.01", dataSize, dataSize + added, {k1, k2, k3, e}, {k1, k2, k3 + std::string(added, '\n'), e}},
      {"d/X.IDX", indexSize, indexSize + 40 * zeroRecords, {k1, k2, k3, e}, zeros},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    const std::string path = at(row.file);
    std::atomic<bool> flipping{true};
    std::thread flipper([&] {
      while (flipping) {
        if (truncate(path.c_str(), row.longSize) != 0 || truncate(path.c_str(), row.shortSize) != 0) return;
      }
    });
    // Each run ends by itself and gives one version whole; or, with the read
    // fault, one version with a report skipped or cut short (the file was
    // cut while that report was read), the next directory alone (while the
    // index was read), or no text from X.01 (while it was opened).
    runOptions soon;
    soon.timeoutSeconds = 20;
    int runs = 0, impossible = 0;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
         std::chrono::steady_clock::now() < end; ++runs) {
      outcome r = run({arg("d"), arg("e")}, soon);
      // The data files that the index read names not are told after the reports.
      r.err = withoutWarnings(r.err);
      std::vector<std::string> texts;
      bool possible = !r.crashed && r.exitCode == (r.err.empty() ? 0 : 1) && splitTexts(r.out, texts);
      if (possible && r.err.empty()) {
        possible = texts == row.shortTexts || texts == row.longTexts;
      } else if (possible) {
        possible = r.err == readFault(shown(row.file)) && texts.back() == e;
        bool cut = texts.size() == 1 || texts == std::vector<std::string>{"", "", "", e};
        for (std::size_t i = 0; i + 1 < row.shortTexts.size(); ++i)
          cut = cut || cutAt(texts, row.shortTexts, i) || cutAt(texts, row.longTexts, i);
        possible = possible && cut;
      }
      if (!possible && impossible++ == 0)
        ADD_FAILURE() << "run " << runs << ": signal " << r.signal << ", exit " << r.exitCode << ", "
                      << r.out.size() << " bytes out, starting " << r.out.substr(0, 200) << "\nerrors:\n"
                      << r.err.substr(0, 2000);
    }
    flipping = false;
    flipper.join();
    ASSERT_EQ(truncate(path.c_str(), row.shortSize), 0);
    EXPECT_EQ(impossible, 0) << "of " << runs << " runs";
  }
}

TEST_F(Damaged, SalvageGivesBackEveryByteOfAnArchiveWithoutItsIndex) {
  // 10,000 reports in four data files, of lines with runs, repeats and
  // empty lines; the index removed.
  archive::writer w(at("d"), "G.IDX");
  std::mt19937 random(7);
  const char symbols[] = "ABC xyz  0123 ----";
  for (int i = 0; i < 10000; ++i) {
    std::vector<std::string> lines(1 + random() % 6);
    for (std::string& line : lines)
      for (std::size_t k = random() % 50; k > 0; --k) line += symbols[random() % (sizeof symbols - 1)];
    w.add("G" + std::to_string(100000 + i), "", static_cast<unsigned>(i % 4), lines);
  }
  w.write();
  ASSERT_EQ(std::remove(at("d/G.IDX").c_str()), 0);
  std::string stored, err, salvaged;  // the original texts in the order they are stored
  for (unsigned f = 0; f < 4; ++f) {
    for (std::size_t i = f; i < 10000; i += 4) stored += w.expected()[i];
    err += unnamedBytes(shown("d/G.0" + std::to_string(f)), archive::readFile(w.dataFilePath(f)).size());
  }
  outcome r = convert({program.option("salvage"), arg("d")});
  std::vector<std::string> texts;
  ASSERT_TRUE(splitTexts(r.out, texts)) << "separator " << texts.size() << " missing";
  for (const std::string& t : texts) salvaged += t;
  EXPECT_TRUE(salvaged == stored) << "the salvaged texts together differ from the original ones in storage order";
  EXPECT_EQ(r.err, err + oem("tarvin: не найдено ни одного индексного файла (*.idx)\n"));
}

// ---- Everything at once ------------------------------------------------

// A tree of sound and damaged archives in several directories: every report
// that can be read appears exactly once, in order, and every other listed
// report keeps its place with its separator.
TEST_F(Damaged, NothingSoundIsLost) {
  struct entry {
    std::string dir;     // the directory argument it is found under
    std::string index;   // its index file's name
    std::string key;
    std::string text;    // expected text, when it can be known
    bool garbage = false;
  };
  std::vector<entry> listed;  // every report the program must print, in any order
  auto sound = [&](const std::string& top, const std::string& sub, const std::string& index,
                   std::initializer_list<const char*> keys, unsigned missingFile = 0) {
    archive::writer w(at(top + sub), index);
    for (const char* key : keys) {
      bool lost = missingFile && std::string(key).back() == 'M';
      w.add(key, "", lost ? missingFile : 1, {std::string("SOUND ") + top + " " + index + " " + key, "  line 2"});
    }
    if (missingFile) w.omitDataFile(missingFile);
    w.write();
    int i = 0;
    for (const char* key : keys) {
      bool lost = missingFile && std::string(key).back() == 'M';
      listed.push_back({top, index, key, lost ? "" : w.expected()[static_cast<size_t>(i)]});
      ++i;
    }
  };
  // t1: sound, with missing data files, and a cut last record.
  sound("t1", "", "A1.IDX", {"Q2", "Q1"});
  sound("t1", "/sub", "B1.IDX", {"B3M", "B1", "B2M"}, 7);
  sound("t1", "/sub/deep", "C1.IDX", {"C1", "C2"});
  const std::string cut = archive::readFile(at("t1/sub/deep/C1.IDX")) + std::string("\x02""C9", 3);
  tree.file("t1/sub/deep/C1.IDX", cut);
  listed.push_back({"t1", "C1.IDX", "C9", ""});  // the piece: its data file 0 is missing
  // t2: garbage in a data file, an empty index, and one after it.
  sound("t2", "", "D2.IDX", {"D1"});
  sound("t2", "", "E2.IDX", {"E1", "E2"});
  std::mt19937 random(11);
  std::string garbage(5000, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  tree.file("t2/E2.01", garbage);
  listed.back().garbage = listed[listed.size() - 2].garbage = true;
  tree.file("t2/F2.IDX", "");
  sound("t2", "/sub", "G2.IDX", {"G1"});
  // t3: an empty data file, whose report lies beyond its end.
  sound("t3", "", "A3.IDX", {"A"});
  sound("t3", "", "H3.IDX", {"H"});
  archive::writeFile(at("t3/H3.01"), "");
  listed.back().text = "";
  sound("t3", "/sub", "Z3.IDX", {"Z"});
  // t4 and t0 come from a list file; t0 holds no index.
  sound("t4", "/x/y", "I4.IDX", {"I2", "I1"});
  sound("t4", "", "J4.IDX", {"J"});
  tree.dir("t0/empty");
  tree.file("dirs.lst", arg("t4") + "\r\n" + arg("t0") + "\r\n");

  // Directories by name, index files by name across each tree, reports by key.
  std::stable_sort(listed.begin(), listed.end(), [](const entry& x, const entry& y) {
    return std::tie(x.dir, x.index, x.key) < std::tie(y.dir, y.index, y.key);
  });
  outcome r = convert({arg("t3"), "@" + arg("dirs.lst"), arg("t1"), arg("t2")});

  std::vector<std::string> printed;
  ASSERT_TRUE(splitTexts(r.out, printed)) << "separator " << printed.size() << " missing";
  ASSERT_EQ(printed.size(), listed.size());
  for (std::size_t i = 0; i < listed.size(); ++i) {
    SCOPED_TRACE(listed[i].dir + " " + listed[i].index + " " + listed[i].key);
    if (listed[i].garbage)
      EXPECT_EQ(printed[i].find("SOUND"), std::string::npos);
    else
      EXPECT_EQ(printed[i], listed[i].text);
  }
  EXPECT_EQ(r.err, missingDataFile(shown("t1/sub/B1.07")) + missingDataFile(shown("t1/sub/B1.07")) +
                       missingDataFile(shown("t1/sub/deep/C1.00")));
}

}  // namespace
