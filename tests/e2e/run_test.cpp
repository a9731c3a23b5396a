// The whole program on archive trees: output, errors and exit code.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fixture.h"
#include "runner.h"
#include "usage.h"

namespace {

std::vector<std::string> oemLines(std::initializer_list<const char*> utf8) {
  std::vector<std::string> out;
  for (const char* l : utf8) out.push_back(oem(l));
  return out;
}

class Run : public archiveTree {};

// No argument at all: on POSIX one line of what is missing, a usage error;
// on Windows nothing, as the program always did.
TEST_F(Run, NoArgumentsAtAll) {
  outcome r = run({});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            program.windows ? "" : oem("tarvin: не указано ни одного каталога. Список параметров: tarvin --help\n"));
  EXPECT_EQ(r.exitCode, program.windows ? 0 : 2);
}

TEST_F(Run, UsageSwitchAmongOthersPrintsOnlyTheUsage) {
  simpleArchive("a", "X.IDX", {"K1"});
  outcome r = run({arg("a"), "/?", "@" + arg("no-such-list")});
  EXPECT_EQ(r.out, oem(kUsage));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);

  r = run({"/?:abc"});
  EXPECT_EQ(r.out, "abc" + oem(kUsage));
}

TEST_F(Run, BareQuestionMarkIsADirectory) {
  runOptions inRoot;
  inRoot.directory = root;
  outcome r = run({"?"}, inRoot);
  EXPECT_EQ(r.out, "");
  // It names no directory there: the system's error, then that nothing was found.
  EXPECT_EQ(r.err.rfind("Error number ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("func=FindFirstFile filename=" + shown("?") + "\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(oem("tarvin: не найдено ни одного индексного файла (*.idx)\n")), std::string::npos);
}

TEST_F(Run, ReportsAreNumberedAcrossIndexFilesAndDirectories) {
  archive::writer first(at("d1"), "A.IDX");
  first.add("K2", "", 1, oemLines({"второй", "  строка 2"}));
  first.add("K1", "", 1, oemLines({"первый"}));
  first.write();
  std::vector<std::string> b = simpleArchive("d1", "B.IDX", {"K3"});
  std::vector<std::string> c = simpleArchive("d2", "C.IDX", {"K4", "K5"});

  outcome r = run({arg("d2"), arg("d1")});
  // Directories in name order (d1, d2), index files by name, reports by key.
  EXPECT_EQ(r.out, first.expected()[1] + separatorLine(0) + first.expected()[0] + separatorLine(1) + b[0] +
                       separatorLine(2) + c[0] + separatorLine(3) + c[1] + separatorLine(4));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(Run, IndexFilesInSubdirectoriesComeByName) {
  std::vector<std::string> b = simpleArchive("top", "b.idx", {"B"});
  std::vector<std::string> a = simpleArchive("top/sub/deeper", "a.idx", {"A"});
  simpleArchive("empty/sub", "notes.txt", {"X"});
  outcome r = run({arg("top"), arg("empty")});
  EXPECT_EQ(r.out, a[0] + separatorLine(0) + b[0] + separatorLine(1));
}

TEST_F(Run, MissingDataFileIsReportedForEachRecord) {
  archive::writer w(at("d"), "ARCH.IDX");
  w.add("K1", "", 3, {"lost"});
  w.add("K2", "", 1, {"kept"});
  w.add("K3", "", 3, {"lost too"});
  w.omitDataFile(3);
  w.write();
  outcome r = run({arg("d")});
  std::string missing = missingDataFile(shown("d/ARCH.03"));
  EXPECT_EQ(r.err, missing + missing);
  EXPECT_EQ(r.out, separatorLine(0) + w.expected()[1] + separatorLine(1) + separatorLine(2));
}

TEST_F(Run, LongLastReportWritesTheSizeLineAtTheEnd) {
  archive::writer w(at("d"), "L.IDX");
  w.add("K1", "", 1, std::vector<std::string>(120, std::string(99, 'x')));
  w.write();
  outcome r = run({arg("d")});
  std::string text = w.expected()[0] + "+++0";
  EXPECT_EQ(r.out, text + "\n" + sizeLine(text.size()));
}

TEST_F(Run, UnreadableListFileEndsTheRunBeforeAnyDirectory) {
  simpleArchive("d", "A.IDX", {"K1"});
  outcome r = run({arg("d"), "@" + arg("missing.lst")});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, listFileFailed(2, arg("missing.lst")));
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(Run, ListFilesWithCrLfBlankLinesAndSpaces) {
  std::vector<std::string> a = simpleArchive("with space/a", "A.IDX", {"K1"});
  std::vector<std::string> b = simpleArchive("b", "B.IDX", {"K2"});
  archive::writeFile(at("dirs.lst"), "\r\n" + arg("b") + "\r\n\r\n\r\n" + arg("with space/a") + "\r\n\r\n");
  outcome r = run({"@" + arg("dirs.lst")});
  EXPECT_EQ(r.out, a[0] + separatorLine(0) + b[0] + separatorLine(1));
  EXPECT_EQ(r.err, "");
}

TEST_F(Run, RelativePathsStayRelativeInMessages) {
  archive::writer w(at("rel/d"), "R.IDX");
  w.add("K", "", 4, {"x"});
  w.omitDataFile(4);
  w.write();
  std::string relative = program.windows ? "rel\\d" : "rel/d";
  runOptions inRoot;
  inRoot.directory = root;
  outcome r = run({relative}, inRoot);
  EXPECT_EQ(r.err, missingDataFile(relative + program.separator() + "R.04"));
  EXPECT_EQ(r.out, separatorLine(0));
}

}  // namespace

namespace {

TEST_F(Run, ReportLargerThanTheMemoryIsWrittenWhole) {
  if (program.sanitized || program.windows) GTEST_SKIP() << "needs an address-space limit";
  archive::writer w(at("d"), "M.IDX");
  w.add("K1", "", 1, {"before"});
  w.add("K3", "", 1, {"after"});
  w.write();
  // K2: 2 MB of repeats that decode to 177 MB of text, more than the
  // program may take: it is decoded piece by piece into the output.
  std::string line(1, static_cast<char>(255));
  for (int i = 0; i < 85; ++i) line += std::string("\xC0\x41\xFF", 3);
  std::string huge;
  for (int i = 0; i < 8192; ++i) huge += line;
  archive::writeFile(at("d/M.02"), huge);
  archive::writeFile(at("d/M.IDX"), archive::readFile(at("d/M.IDX")) + archive::record("K2", "", 0, 2));

  runOptions limited;
  limited.memoryLimitMb = 120;
  outcome r = run({arg("d")}, limited);
  std::string text;
  for (int i = 0; i < 8192; ++i) text += std::string(85 * 255, 'A') + "\n";
  const std::string expected =
      w.expected()[0] + separatorLine(0) + text + separatorLine(1) + w.expected()[1] + separatorLine(2);
  EXPECT_EQ(r.out.size(), expected.size());
  EXPECT_TRUE(r.out == expected);  // not shown: 177 MB
  // The output string of the last report was short: no size line.
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(Run, LostOutputStopsTheRunWithExitCodeOne) {
  simpleArchive("d", "A.IDX", {"K1", "K2"});
  // Standard output on a full disk (the runner redirects it, also for Wine).
  runOptions full;
  full.stdoutPath = "/dev/full";
  outcome r = run({arg("d")}, full);
  EXPECT_EQ(r.exitCode, 1);
  unsigned diskFull = program.diskFullError();
  EXPECT_EQ(r.err, outputLost(diskFull));

  // Started without standard output: no handle to write to.
  runOptions closed;
  closed.closeStdout = true;
  r = run({arg("d")}, closed);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, outputLost(6));
}

}  // namespace

// The forms of arguments and paths in which the platforms differ.
namespace {

TEST_F(Run, ArgumentsFollowThePlatformSwitchRule) {
  std::vector<std::string> a = simpleArchive("d", "A.IDX", {"K1"});
  // The host's absolute path: a directory on POSIX, an unknown switch on
  // Windows, stored with a warning.
  outcome r = run({at("d")});
  EXPECT_EQ(r.out, program.slashArgumentsAreSwitches() ? "" : a[0] + separatorLine(0));
  EXPECT_EQ(r.err, program.slashArgumentsAreSwitches()
                       ? oem("tarvin: неизвестный ключ \"" + at("d") + "\" сохранён, но ни на что не влияет\n")
                       : "");

  // "-h": the help on POSIX, on Windows a directory that is not there.
  runOptions inRoot;
  inRoot.directory = root;
  r = run({"-h"}, inRoot);
  const auto spell = [](const std::string& word, const std::string& value = "") {
    return value.empty() ? program.option(word) : program.option(word, value);
  };
  EXPECT_EQ(r.out, program.dashHelpShowsHelp() ? oem(helpText(spell, false)) : "");
  EXPECT_EQ(r.err, program.dashHelpShowsHelp() ? ""
                                               : unlistedDirectory(3, shown("-h")) +
                                                     oem("tarvin: не найдено ни одного индексного файла (*.idx)\n"));
  if (program.windows) {
    EXPECT_EQ(run({"/help"}).out, oem(helpText(spell, true)));
  }
}

TEST_F(Run, CyrillicDirectoryWithTrailingSeparatorsIsThatDirectory) {
  // The name travels from the command line to the system and, in code page
  // 866, into the message.
  archive::writer w(at("Отчёты 2004"), "T.IDX");
  w.add("K1", "", 1, {"kept"});
  w.add("K2", "", 2, {"lost"});
  w.omitDataFile(2);
  w.write();
  outcome r = run({arg("Отчёты 2004") + program.separator() + program.separator()});
  EXPECT_EQ(r.out, w.expected()[0] + separatorLine(0) + separatorLine(1));
  EXPECT_EQ(r.err, missingDataFile(shown("Отчёты 2004/T.02")));
}

TEST_F(Run, KeysAndDirectoryNamesInTheWindowsOrder) {
  // Control characters, box drawing, the no-break space, №, Є Ї Ў Ђ, ß and a
  // dash, in the order the Windows function gives them (measured under Wine):
  // one directory per name, and one index of these keys. Both lists are
  // written in a scrambled order, and the output is the same on both platforms.
  const std::vector<std::string> names = {"a–b",       "keys",     "N 8",   "№ 7", "Strasse 1",
                                          "Straße 2", "Дом",      "Ђорђе", "Ева", "Єва", "Жук"};
  // Keys in code page 866: FF no-break space, FE ■, C4 ─, FC №, F4 Ї, F6 Ў.
  const std::vector<std::string> keys = {" ",  "\xFF", "!",  "\xFE",       "\xC4",     "a",        "a\x01",     "A",
                                         "a ", "ab",   "a-c", "N",       "\xFC",     "O",        oem("ёж"), oem("ез"),
                                         oem("И2"), "\xF4" "1", oem("Й0"), oem("У"), "\xF6", oem("Ф")};
  archive::writer keyed(at("keys"), "K.IDX");
  std::vector<int> positions(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::size_t k = i * 7 % keys.size();
    positions[k] = keyed.add(keys[k], "", 1, {"key " + std::to_string(k)});
  }
  keyed.write();
  std::vector<std::string> args, texts(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::size_t d = i * 4 % names.size();
    args.push_back(arg(names[d]));
    if (names[d] != "keys") texts[d] = simpleArchive(names[d], "D.IDX", {"K"})[0];
  }
  std::string expected;
  int n = 0;
  for (std::size_t d = 0; d < names.size(); ++d) {
    if (names[d] != "keys") {
      expected += texts[d] + separatorLine(n++);
      continue;
    }
    for (int position : positions) expected += keyed.expected()[static_cast<std::size_t>(position)] + separatorLine(n++);
  }
  outcome r = run(args);
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err, "");
}

TEST_F(Run, WindowsPathFormsReachTheSystemAsGiven) {
  if (!program.windows) GTEST_SKIP() << "drives and root-relative paths exist only on Windows";
  archive::writer w(at("rel/d"), "R.IDX");
  w.add("K", "", 4, {"x"});
  w.omitDataFile(4);
  w.write();
  runOptions inRoot;
  inRoot.directory = root;
  std::string absolute = arg("rel\\d");  // "Z:\tmp\...\rel\d"
  // Drive-relative (against the current directory of drive Z:), root-relative
  // (against the current drive), and a lower-case drive letter: each is kept
  // as given in messages, and the system finds the directory.
  for (const std::string& form : {std::string("Z:rel\\d"), absolute.substr(2), "z" + absolute.substr(1)}) {
    outcome r = run({form}, inRoot);
    EXPECT_EQ(r.out, separatorLine(0)) << form;
    EXPECT_EQ(r.err, missingDataFile(form + "\\R.04")) << form;
  }
}

}  // namespace

// What every run makes of what it is given: each argument or list entry that
// names no directory, each way a list file ends its lines or is read, each
// kind of damage, in the plain and the JSON modes, with its exit code.
namespace {

// A text as a JSON string (UTF-8 in, as the program writes it).
std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return out + "\"";
}

TEST_F(Run, EveryArgumentListFileAndDamageIsAccountedFor) {
  const std::vector<std::string> ok = simpleArchive("ok", "A.IDX", {"K1"});
  const std::string okOut = ok[0] + separatorLine(0);
  archive::writer cyrillic(at("Отчёты"), "R.IDX");
  cyrillic.add("K1", "", 1, {oem("Станция: Северная")});
  cyrillic.write();
  const std::vector<std::string> ru = cyrillic.expected();
  const std::string ruOut = ru[0] + separatorLine(0);
  const std::string okBytes = std::to_string(archive::readFile(at("ok/A.01")).size());
  archive::makeDirectories(at("empty"));
  archive::makeDirectories(at("locked"));
  chmod(at("locked").c_str(), 0);
  archive::writeFile(at("file"), "not a directory");
  archive::writeFile(at("ends.lst"), arg("missing") + "\n" + arg("ok") + "\r" + arg("file") + "\r\n" + arg("empty"));
  // Typed with spaces at its ends: x/2005, never x/2/2005 or x/20/2005.
  const std::vector<std::string> spaced = simpleArchive("x/2005", "Y.IDX", {"Y1"});
  archive::writeFile(at("spaces.lst"), " " + arg("x/2005") + "   \r\n");
  archive::writeFile(at("blank.lst"), "\r\n\n");
  const std::string readFailed = errorText(1, program.systemText(1) + "func=ReadFile filename=-", origin::listFileRead);
  const auto emptyList = [](const std::string& l) { return oem("tarvin: в списке \"" + l + "\" нет ни одного каталога\n"); };
  // The sample archive with NORTH.01 cut to 100 bytes: the line of report
  // 20040112000001 at byte 90 runs past the end; report 20040112000002
  // (block 2, byte 128) begins beyond it. SOUTH.05 is missing in the sample.
  ASSERT_EQ(std::system(("cp -r '" TARVIN_SAMPLE_ARCHIVE "' '" + at("cut") + "'").c_str()), 0);
  ASSERT_EQ(truncate(at("cut/2004/NORTH.01").c_str(), 100), 0);
  // After a sound report, one whose line ends in a repeat without its
  // operands (at byte 65).
  archive::makeDirectories(at("repeat"));
  archive::writeFile(at("repeat/R.IDX"), archive::record("R0", "", 0, 1) + archive::record("R1", "", 1, 1));
  const std::string sound = archive::encodeReport({"SOUND"});
  archive::writeFile(at("repeat/R.01"), sound + std::string(64 - sound.size(), '\0') + "\x02\xC0\x41");
  const std::string soundText = "SOUND\n" + std::string(64 - sound.size(), '\n');
  // An index that ends in 24 bytes of a record, which name block 0 of P.01.
  archive::writer piece(at("piece"), "P.IDX");
  piece.add("P1", "", 1, {"PIECE"});
  piece.appendToIndex(archive::record("P2", "", 0, 1).substr(0, 24));
  piece.write();
  const std::size_t pieceBytes = archive::readFile(at("piece/P.01")).size();
  simpleArchive("repeat", "S.IDX", {"S"});
  archive::writeFile(at("repeat/S.01"), "");  // empty: its report lies beyond its end
  // Five years of an archive of ten reports each, and a 0-byte index.
  std::vector<std::string> years;
  std::string yearsListed;
  for (int y = 2001; y <= 2005; ++y) {
    const std::string index = "disk/" + std::to_string(y) + "/A.IDX";
    archive::writer w(at("disk/" + std::to_string(y)), "A.IDX");
    for (int k = 0; k < 10; ++k) w.add("K" + std::to_string(k), "", 1, {"REPORT " + std::to_string(y * 10 + k)});
    w.write();
    for (int k = 0; k < 10; ++k)
      yearsListed += "{\"n\":" + std::to_string(years.size() + k) + ",\"index\":" + jsonString(shown(index)) +
                     ",\"key\":\"K" + std::to_string(k) + "\",\"data\":\"A.01\",\"block\":" + std::to_string(k) +
                     ",\"bytes\":64}\n";
    years.insert(years.end(), w.expected().begin(), w.expected().end());
  }
  archive::writeFile(at("disk/2001/AAA.IDX"), "");
  // What a user may not read: an index, a data file, a subdirectory.
  simpleArchive("bad/2001", "U.IDX", {"U"});
  simpleArchive("bad/2002", "V.IDX", {"V"});
  simpleArchive("bad/2003", "L.IDX", {"L"});
  const std::vector<std::string> w = simpleArchive("bad/2004", "W.IDX", {"W"});
  for (const char* locked : {"bad/2001/U.IDX", "bad/2002/V.01", "bad/2003"}) chmod(at(locked).c_str(), 0);

  // Error texts in the JSON modes: their JSON form alone (UTF-8), the whole text inside.
  auto withJson = [](unsigned code, const std::string& message, const errorOrigin& at, const char* level) {
    const std::string text = utf8(errorText(code, message, at));
    return "{\"code\":" + std::to_string(code) + ",\"message\":" + jsonString(message) + ",\"file\":" +
           jsonString(at.module) + ",\"function\":" + jsonString(at.function) + ",\"line\":" +
           std::to_string(at.line) + ",\"level\":\"" + level + "\",\"text\":" +
           jsonString(text.substr(0, text.size() - 1)) + "}\n";
  };
  auto unlisted = [&](unsigned code, const std::string& dir, bool json = false, bool utf8Output = false) {
    const std::string message = program.systemText(code, utf8Output) + "func=FindFirstFile filename=" + shown(dir);
    if (json) return withJson(code, message, origin::directoryUnlisted, "directory");
    return errorText(code, message, origin::directoryUnlisted);
  };
  auto denied = [&](const std::string& file, const char* level) {
    return withJson(5, program.systemText(5) + "func=CreateFile filename=" + shown(file), origin::fileOpen, level);
  };
  // The data file of the index that cannot be read is named by no record read.
  const std::string orphan = "Файл рапортов (байтов: 64) не назван ни одной записью индекса: " + shown("bad/2001/U.01");
  const std::string badErr = unlisted(5, "bad/2003") + openFailed(5, shown("bad/2001/U.IDX")) +
                             openFailed(5, shown("bad/2002/V.01")) + errorText(0, orphan, origin::orphanedData);
  const std::string southMessage = "Нет указанного в индексе файла рапортов " + shown("cut/2004/south/SOUTH.05");
  const std::string south = errorText(0, southMessage, origin::dataFileMissing);
  const std::string nothingFound = oem("tarvin: не найдено ни одного индексного файла (*.idx)\n");
  // A finding of a verifying run, in words and as JSON; `none` where it names no byte.
  const std::size_t none = std::string::npos;
  auto finding = [&](const std::string& index, const std::string& what, std::size_t byte) {
    return oem(shown(index) + ": " + what + (byte == none ? "" : ", байт " + std::to_string(byte)) + "\n");
  };
  auto foundJson = [&](const std::string& index, const std::string& key, const std::string& data,
                       const std::string& damage, std::size_t byte) {
    const auto orNull = [](const std::string& v) { return v.empty() ? "null" : "\"" + v + "\""; };
    return "{\"index\":" + jsonString(shown(index)) + ",\"key\":" + orNull(key) + ",\"data\":" + orNull(data) +
           ",\"damage\":\"" + damage + "\",\"at\":" + (byte == none ? "null" : std::to_string(byte)) + "}\n";
  };
  const std::string cut = "cut/2004/NORTH.IDX";
  const std::string lineCut = "строка длиннее байтов, что остались до конца рапорта";
  const std::string beyondEnd = "рапорт начинается за концом файла данных";

  // posixUtf8: on POSIX alone, in the locale C.UTF-8.
  enum where { everywhere, posixOnly, posixUtf8 };
  struct row {
    row(const char* w, std::vector<std::string> a, int e, std::string o, std::string r, where p = everywhere,
        std::string i = "", bool u = false, bool c = false)
        : what(w), arguments(std::move(a)), exitCode(e), out(std::move(o)), err(std::move(r)), on(p),
          input(std::move(i)), unlistable(u), noInput(c) {}
    const char* what;
    std::vector<std::string> arguments;
    int exitCode;
    std::string out, err;  // bytes
    where on;
    std::string input;  // standard input
    bool unlistable;    // run as nobody where the test runs as root, so that permissions hold
    bool noInput;       // started without standard input
  };
  const std::string verify = program.option("verify"), strict = program.option("strict");
  const std::string jsonl = program.option("jsonl");
  const std::string nulLine = oem("tarvin: в списке \"@-\" в строке 2 байт NUL, строка пропущена (списки find -print0 "
                                  "читает --null)\n");
  const row rows[] = {
      {"in a UTF-8 locale reports and error texts are UTF-8, the system's line ends in LF",
       {arg("Отчёты"), arg("missing")}, 1, utf8(ruOut), utf8(unlisted(3, "missing", false, true)), posixUtf8},
      {"there --oem writes the Windows bytes", {"--oem", arg("Отчёты"), arg("missing")}, 1, ruOut,
       unlisted(3, "missing"), posixUtf8},
      {"there a list of Cyrillic names from find is UTF-8", {"@-"}, 0, utf8(ruOut), "", posixUtf8,
       arg("Отчёты") + "\n"},
      {"entries ended by NUL with -0", {"-0", "@-"}, 0, utf8(numbered({ok[0], ru[0]})), "", posixUtf8,
       arg("Отчёты") + std::string(1, '\0') + arg("ok") + std::string(1, '\0')},
      {"a list line that holds NUL is an error naming it", {"@-"}, 1, okOut, nulLine, everywhere,
       arg("ok") + "\r\n" + arg("ok") + std::string(1, '\0') + "\n"},
      {"--oem on every platform", {program.option("oem"), arg("ok"), arg("missing")}, 1, okOut, unlisted(3, "missing")},
      {"a file and a name of nothing, then a directory", {arg("ok"), arg("missing"), arg("file")}, 1, okOut,
       unlisted(program.fileAsDirectoryError(), "file") + unlisted(3, "missing")},
      {"a directory that cannot be listed", {arg("locked"), arg("ok")}, 1, okOut, unlisted(5, "locked"), posixOnly, "",
       true},
      {"a run whose only argument names nothing", {arg("missing")}, 1, "", unlisted(3, "missing") + nothingFound},
      {"no index file at all, in JSON", {jsonl, arg("empty")}, 1, "",
       "{\"kind\":\"nothing found\",\"text\":\"" + utf8(nothingFound.substr(0, nothingFound.size() - 1)) + "\"}\n"},
      {"list file lines ended by LF, CR and CR LF", {"@" + arg("ends.lst")}, 1, okOut,
       unlisted(program.fileAsDirectoryError(), "file") + unlisted(3, "missing")},
      {"a list on standard input, and --utf8 spelled so on every platform", {"--utf8", "@-"}, 1, okOut,
       utf8(unlisted(3, "missing", false, true)), everywhere, arg("missing") + "\r\n" + arg("ok") + "\n"},
      {"a list file that is a pipe", {"@/dev/stdin"}, 0, okOut, "", posixOnly, arg("ok") + "\r\n"},
      {"spaces around a typed name, in an argument and a list line", {"  " + arg("x/2005") + "  ", "@" + arg("spaces.lst")},
       0, numbered({spaced[0], spaced[0]}), ""},
      {"a list file of blank lines, strict", {strict, "@" + arg("blank.lst")}, 1, "", emptyList("@" + arg("blank.lst"))},
      {"an empty list on standard input", {"@-", arg("ok")}, 1, okOut, emptyList("@-")},
      {"a list on standard input, which is closed", {"@-"}, 1, "", program.closedInputHasAHandle() ? readFailed
                                                                                                  : listFileFailed(6, "-"),
       everywhere, "", false, true},
      {"JSON form of an error that ends the run", {jsonl, "@" + arg("no.lst")}, 1, "",
       withJson(2, program.systemText(2) + "func=CreateFile filename=" + arg("no.lst"), origin::listFileOpen, "run")},
      {"a sound archive verified", {verify, arg("ok")}, 0,
       oem(verifySummary({1, 0, 1, std::stoull(okBytes), 1, 0, 0, 0, 0, 0, 0, 0, 0, 0})), ""},
      {"the cut sample verified", {verify, arg("cut")}, 1,
       finding(cut, "ключ \"20040112000001\", NORTH.01: " + lineCut, 90) +
           finding(cut, "ключ \"20040112000002\", NORTH.01: " + beyondEnd, 100) +
           finding("cut/2004/south/SOUTH.IDX", "SOUTH.05: нет файла данных", none) +
           oem(verifySummary({3, 0, 7, 548, 4, 1, 0, 0, 0, 0, 0, 0, 2, 1})),
       south},
      {"the cut sample verified in JSON", {verify, jsonl, arg("cut")}, 1,
       foundJson(cut, "20040112000001", "NORTH.01", "line cut", 90) +
           foundJson(cut, "20040112000002", "NORTH.01", "beyond end", 100) +
           foundJson("cut/2004/south/SOUTH.IDX", "", "SOUTH.05", "data missing", none) +
           verifySummary({3, 0, 7, 548, 4, 1, 0, 0, 0, 0, 0, 0, 2, 1}, true),
       withJson(0, southMessage, origin::dataFileMissing, "report")},
      {"a repeat cut, a trailing piece and an empty data file verified", {verify, arg("repeat"), arg("piece")}, 1,
       finding("piece/P.IDX", "последняя запись индекса короче 40 байтов", 40) +
           finding("repeat/R.IDX", "ключ \"R1\", R.01: повтору символа не хватает байтов до конца рапорта", 65) +
           finding("repeat/S.IDX", "ключ \"S\", S.01: " + beyondEnd, 0) +
           oem(verifySummary({3, 0, 5, 2 * pieceBytes + 67, 3, 0, 0, 0, 0, 0, 0, 0, 3, 0})),
       ""},
      {"a name of nothing verified in JSON", {verify, jsonl, arg("missing"), arg("ok")}, 1,
       foundJson("missing", "", "", "directory unreadable", none) +
           verifySummary({1, 0, 1, std::stoull(okBytes), 1, 0, 0, 0, 1, 0, 0, 0, 0, 1}, true),
       unlisted(3, "missing", true)},
      {"damage alone, strict", {strict, arg("repeat"), arg("piece")}, 1,
       piece.expected()[0] + separatorLine(0) + piece.expected()[0] + separatorLine(1) + soundText + separatorLine(2) +
           "\n" + separatorLine(3) + separatorLine(4),
       ""},
      {"five years and an empty index", {arg("disk")}, 0, numbered(years), ""},
      {"five years and an empty index listed", {program.option("list"), arg("disk")}, 0, yearsListed, ""},
      {"five years and an empty index verified", {verify, arg("disk")}, 0,
       oem(verifySummary({6, 0, 50, 50 * 64, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0})), ""},
      // Each file or directory it cannot read costs only itself; under Wine,
      // which runs as root here, every file can be read.
      {"an index, a data file and a subdirectory unreadable", {arg("bad")}, 1, numbered({"", w[0]}), badErr, posixOnly,
       "", true},
      {"the same verified", {verify, arg("bad")}, 1,
       finding("bad/2003", "каталог не прочитан", none) + finding("bad/2001/U.IDX", "индексный файл не прочитан", none) +
           finding("bad/2002/V.IDX", "V.01: файл данных не прочитан", none) +
           oem(shown("bad/2001/U.01") + ": не назван ни одной записью индекса до конца файла, байт 64\n") +
           oem(verifySummary({2, 1, 2, 64, 1, 0, 1, 1, 1, 0, 64, 0, 0, 3})),
       badErr, posixOnly, "", true},
      {"the same verified in JSON", {verify, jsonl, arg("bad")}, 1,
       foundJson("bad/2003", "", "", "directory unreadable", none) +
           foundJson("bad/2001/U.IDX", "", "", "index failed", none) +
           foundJson("bad/2002/V.IDX", "", "V.01", "data unreadable", none) +
           "{\"index\":null,\"key\":null,\"data\":" + jsonString(shown("bad/2001/U.01")) +
           ",\"damage\":\"orphaned data\",\"at\":64}\n" + verifySummary({2, 1, 2, 64, 1, 0, 1, 1, 1, 0, 64, 0, 0, 3}, true),
       unlisted(5, "bad/2003", true) + denied("bad/2001/U.IDX", "index") + denied("bad/2002/V.01", "report") +
           withJson(0, orphan, origin::orphanedData, "warning"),
       posixOnly,
       "", true},
  };
  for (const row& r : rows) {
    if (r.on != everywhere && program.windows) continue;
    SCOPED_TRACE(r.what);
    runOptions how;
    if (r.on == posixUtf8) how.locale = "C.UTF-8";
    how.input = r.input;
    how.closeStdin = r.noInput;
    how.dropPrivileges = r.unlistable && geteuid() == 0;  // root lists everything
    outcome o = run(r.arguments, how);
    EXPECT_EQ(o.out, r.out);
    EXPECT_EQ(o.err, r.err);
    EXPECT_EQ(o.exitCode, r.exitCode);
  }
}

}  // namespace
