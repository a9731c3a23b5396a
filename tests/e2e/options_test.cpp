// The converter's own options: each changes nothing unless given, and each
// does what it says on the same archives as the plain run.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "runner.h"

namespace {

// One JSON value of the objects the program writes: a string, a number or
// null.
struct jsonValue {
  enum { string, number, null } kind = null;
  std::string text;  // the string's UTF-8, or the number's digits
};
typedef std::map<std::string, jsonValue> jsonObject;

// Reads one object of strings, numbers and null; false when the line is not
// such JSON (anything after the object but the line's end included).
class jsonReader {
 public:
  explicit jsonReader(const std::string& line) : s_(line) {}

  bool object(jsonObject& out) {
    if (!take('{')) return false;
    do {
      std::string key;
      jsonValue value;
      if (!string(key) || !take(':') || !any(value)) return false;
      out[key] = value;
    } while (take(','));
    return take('}') && at_ == s_.size();
  }

 private:
  bool take(char c) {
    if (at_ < s_.size() && s_[at_] == c) return ++at_, true;
    return false;
  }
  bool any(jsonValue& v) {
    if (s_.compare(at_, 4, "null") == 0) return at_ += 4, v.kind = jsonValue::null, true;
    if (at_ < s_.size() && s_[at_] == '"') return v.kind = jsonValue::string, string(v.text);
    std::size_t start = at_;
    while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
    v.kind = jsonValue::number;
    v.text = s_.substr(start, at_ - start);
    return at_ > start && (v.text == "0" || v.text[0] != '0');
  }
  bool string(std::string& out) {
    if (!take('"')) return false;
    while (at_ < s_.size() && s_[at_] != '"') {
      unsigned char c = static_cast<unsigned char>(s_[at_++]);
      if (c < 0x20) return false;  // control characters must be escaped
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (at_ >= s_.size()) return false;
      char e = s_[at_++];
      const std::string simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
      if (simple.find(e) != std::string::npos) {
        out += meaning[simple.find(e)];
      } else if (e == 'u' && at_ + 4 <= s_.size()) {
        unsigned code = static_cast<unsigned>(std::stoul(s_.substr(at_, 4), nullptr, 16));
        at_ += 4;
        if (code >= 0x80) return false;  // the program escapes only control characters
        out += static_cast<char>(code);
      } else {
        return false;
      }
    }
    return take('"');
  }

  const std::string& s_;
  std::size_t at_ = 0;
};

std::vector<jsonObject> jsonLines(const std::string& out) {
  std::vector<jsonObject> objects;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    jsonObject o;
    EXPECT_TRUE(jsonReader(line).object(o)) << line;
    objects.push_back(o);
  }
  EXPECT_TRUE(out.empty() || out.back() == '\n');
  return objects;
}

// A report's text without the empty lines that end it.
std::string trimmed(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text.empty() ? text : text + "\n";
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class Options : public archiveTree {
 protected:
  // Two index files: Cyrillic text, the characters JSON escapes, a report
  // of no text and a missing data file.
  void writeArchives() {
    archive::writer a(at("d"), "A.IDX");
    a.add("K1", "", 1, {oem("Станция: Северная"), "quote \" backslash \\ tab\t bell\x07"});
    a.add("K2", "", 1, {});
    a.add("K3", "", 2, {"lost"});
    a.omitDataFile(2);
    a.write();
    archive::writer b(at("d/sub"), "B.IDX");
    b.add(oem("Ё1"), "", 0, {oem("ёлка")});
    b.write();
    texts = {a.expected()[0], a.expected()[1], "", b.expected()[0]};
    // Each report runs to the next one of its data file, or to its end.
    const long long a1 = fileSize(a.dataFilePath(1)), k2 = 64ll * a.blockOf(1);
    places = {{shown("d/A.IDX"), "K1", "A.01", 0, k2},
              {shown("d/A.IDX"), "K2", "A.01", a.blockOf(1), a1 - k2},
              {shown("d/A.IDX"), "K3", "", 0, -1},
              {shown("d/sub/B.IDX"), "Ё1", "B.00", 0, fileSize(b.dataFilePath(0))}};
  }

  // Index files of a run that blocks on its standard error before its output
  // is complete: A.IDX, B.IDX, then C.IDX, whose 2000 reports each give an error text.
  void blockingArchive(const std::string& dir) {
    simpleArchive(dir, "A.IDX", {"K1"});
    simpleArchive(dir, "B.IDX", {"K2"});
    archive::writer c(at(dir), "C.IDX");
    for (int i = 0; i < 2000; ++i) c.add("K" + std::to_string(i), "", 1, {"x"});
    c.omitDataFile(1);
    c.write();
  }

  // What is below a directory that is no directory, one path a line.
  static std::string filesBelow(const std::string& directory) {
    std::string listing;
    if (FILE* found = popen(("find '" + directory + "' ! -type d | sort").c_str(), "r")) {
      for (int c; (c = std::fgetc(found)) != EOF;) listing += static_cast<char>(c);
      pclose(found);
    }
    return listing;
  }

  static long long fileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
  }

  // Where the reports of writeArchives() lie, in output order (UTF-8).
  struct place {
    std::string index, key, data;  // data "" when the data file is missing
    long long block, bytes;
  };
  std::vector<place> places;

  std::vector<std::string> texts;  // the reports' texts in output order (OEM)
};

TEST_F(Options, Utf8IsThePlainOutputInUtf8) {
  writeArchives();
  outcome plain = run({arg("d")});
  ASSERT_EQ(plain.out, texts[0] + separatorLine(0) + texts[1] + separatorLine(1) + separatorLine(2) + texts[3] +
                           separatorLine(3));
  ASSERT_NE(plain.err, "");  // the missing data file
  outcome r = run({arg("d"), program.option("utf8")});
  EXPECT_EQ(r.out, utf8(plain.out));
  EXPECT_EQ(r.err, utf8(plain.err));
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(Options, JsonLinesHoldEveryReportWithItsPlaceAndText) {
  writeArchives();
  const std::string plainErr = run({arg("d")}).err;
  for (const std::string& word : {std::string("jsonl"), std::string("list")}) {
    SCOPED_TRACE(word);
    outcome r = run({arg("d"), arg("no\x1B]0;x\x07\nsuch"), program.option(word)});
    std::vector<jsonObject> objects = jsonLines(r.out);
    ASSERT_EQ(objects.size(), places.size());
    for (std::size_t i = 0; i < objects.size(); ++i) {
      jsonObject& o = objects[i];
      const place& p = places[i];
      EXPECT_EQ(o["n"].text, std::to_string(i));
      EXPECT_EQ(o["index"].text, p.index);
      EXPECT_EQ(o["key"].text, p.key);
      EXPECT_EQ(o["block"].text, std::to_string(p.block));
      EXPECT_EQ(o["data"].kind, p.data.empty() ? jsonValue::null : jsonValue::string);
      EXPECT_EQ(o["data"].text, p.data);
      EXPECT_EQ(o["bytes"].kind, p.data.empty() ? jsonValue::null : jsonValue::number);
      EXPECT_EQ(o["bytes"].text, p.data.empty() ? "" : std::to_string(p.bytes));
      EXPECT_EQ(o.count("text"), word == "jsonl" ? 1u : 0u);
      if (word == "jsonl") {
        EXPECT_EQ(o["text"].text, utf8(texts[i]));
      }
    }
    // Line ends and tabs in their short forms, other control characters as \u00XX.
    if (word == "jsonl") {
      EXPECT_NE(r.out.find(R"(quote \" backslash \\ tab\t bell\u0007\n)"), std::string::npos);
    }
    // Standard error holds JSON objects alone: the data file's error (its whole text) and the name's.
    std::vector<jsonObject> errors = jsonLines(r.err);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0]["text"].text + "\n", utf8(plainErr));
    EXPECT_EQ(r.exitCode, 1);
  }
}

TEST_F(Options, ListReadsNoReport) {
  // A report that runs over 64 GiB of a sparse data file: decoding it would
  // take minutes; a listing tells its size at once.
  archive::writer w(at("d"), "S.IDX");
  w.add("K1", "", 1, {"x"});
  w.write();
  ASSERT_EQ(truncate(w.dataFilePath(1).c_str(), 64ll << 30), 0);
  runOptions limited;
  limited.timeoutSeconds = 20;
  outcome r = run({arg("d"), program.option("list")}, limited);
  ASSERT_FALSE(r.crashed);
  std::vector<jsonObject> objects = jsonLines(r.out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["bytes"].text, std::to_string(64ll << 30));
  EXPECT_EQ(r.err, "");
}

TEST_F(Options, StrictExitCodeTellsThatErrorsWereWritten) {
  writeArchives();
  EXPECT_EQ(run({arg("d")}).exitCode, 1);
  outcome r = run({arg("d"), program.option("strict")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, run({arg("d")}).out);
  // Without errors a strict run ends with 0, and lost output stays 1.
  EXPECT_EQ(run({arg("d/sub"), program.option("strict")}).exitCode, 0);
  runOptions full;
  full.stdoutPath = "/dev/full";
  EXPECT_EQ(run({arg("d/sub"), program.option("strict")}, full).exitCode, 1);
}

// An option the program does not know, or a value an option does not take,
// is a usage error: one line, no conversion, exit code 2. "--" ends the
// options. On Windows an unknown "/" switch is stored as always, with a
// warning.
TEST_F(Options, UnknownOptionsAreUsageErrors) {
  writeArchives();
  const std::string converted = run({arg("d/sub")}).out;
  const std::string hint = ". Список параметров: tarvin " + program.option("help") + "\n";
  struct row {
    std::vector<std::string> arguments;
    int exitCode;
    std::string err;  // UTF-8
    bool posixOnly, windowsOnly;
  };
  const row rows[] = {
      {{"--jsno", arg("d/sub")}, 2, "tarvin: неизвестный параметр \"--jsno\"" + hint, false, false},
      {{program.option("simd", "foo"), arg("d/sub")}, 2,
       "tarvin: \"foo\" - не значение параметра " + program.option("simd") + hint, false, false},
      {{arg("d/sub"), program.option("utf8", "yes")}, 2,
       "tarvin: параметр \"" + program.option("utf8", "yes") + "\" не принимает значения" + hint, false, false},
      {{"-x", arg("d/sub")}, 2, "tarvin: неизвестный параметр \"-x\"" + hint, true, false},
      {{"-", arg("d/sub")}, 2,
       "tarvin: неизвестный параметр \"-\" (список каталогов со стандартного ввода: @-)" + hint, true, false},
      {{"--", "--version"}, 1, "", false, false},  // a directory named "--version", which names nothing
      {{"/utf", arg("d/sub")}, 0, "tarvin: неизвестный ключ \"/utf\" сохранён, но ни на что не влияет\n", false, true},
      // Options that do not go together, and a short option without its value.
      {{program.option("output", "x"), program.option("split", "y"), arg("d/sub")}, 2,
       "tarvin: параметры " + program.option("output") + " и " + program.option("split") + " несовместимы" + hint,
       false, false},
      {{program.option("verify"), program.option("split", "y"), arg("d/sub")}, 2,
       "tarvin: параметры " + program.option("verify") + " и " + program.option("split") + " несовместимы" + hint,
       false, false},
      {{program.option("force"), arg("d/sub")}, 2,
       "tarvin: параметр " + program.option("force") + " действует только вместе с " + program.option("split") + hint,
       false, false},
      {{arg("d/sub"), "-o"}, 2, "tarvin: параметру \"-o\" нужно значение: -o ФАЙЛ" + hint, true, false},
      {{arg("d/sub"), "/o"}, 2, "tarvin: параметру \"/o\" нужно значение: /o:ФАЙЛ" + hint, false, true},
      // A beginning of more than one option's word; one of a single word is that option.
      {{"--ver", arg("d/sub")}, 2, "tarvin: неоднозначный параметр \"--ver\": --verify, --version" + hint, false, false},
      {{"--verb", arg("d/sub")}, 2, "tarvin: неизвестный параметр \"--verb\"" + hint, false, false},
      {{"-qV", arg("d/sub")}, 2, "tarvin: неизвестный параметр \"-qV\"" + hint, true, false},
      {{"--str", arg("d/sub"), "-q"}, 0, "", true, false},
  };
  for (const row& r : rows) {
    if ((r.posixOnly && program.windows) || (r.windowsOnly && !program.windows)) continue;
    SCOPED_TRACE(r.arguments[0]);
    outcome o = run(r.arguments);
    EXPECT_EQ(o.exitCode, r.exitCode);
    if (r.arguments[0] == "--")
      EXPECT_NE(o.err.find("func=FindFirstFile filename="), std::string::npos) << o.err;
    else
      EXPECT_EQ(o.err, oem(r.err));
    EXPECT_EQ(o.out, r.exitCode == 0 && r.arguments.size() > 1 && r.arguments[1] == arg("d/sub") ? converted : "");
  }
  // --utf8 with --oem: the usage error in the UTF-8 that --utf8 asks for.
  EXPECT_EQ(run({program.option("utf8"), program.option("oem"), arg("d/sub")}).err,
            "tarvin: параметры " + program.option("utf8") + " и " + program.option("oem") + " несовместимы" + hint);
  // In the form the command line asks for, also where it asks after the error.
  const std::string unknown = "неизвестный параметр \\\"--jsno\\\"" + hint.substr(0, hint.size() - 1);
  outcome json = run({"--jsno", program.option("jsonl")});
  EXPECT_EQ(json.err, "{\"kind\":\"usage error\",\"text\":\"tarvin: " + unknown + "\"}\n");
  EXPECT_EQ(json.exitCode, 2);
  if (!program.windows) return;
  json = run({"/utf", program.option("list"), arg("d/sub")});
  EXPECT_EQ(json.err, "{\"kind\":\"unknown switch\",\"text\":\"tarvin: неизвестный ключ \\\"/utf\\\" сохранён, но ни "
                      "на что не влияет\"}\n");
}

// -o FILE (POSIX), --output=FILE, /output:FILE (Windows): the file holds
// what standard output would have, replacing what it held; one that cannot
// be made converts nothing.
TEST_F(Options, OutputFileHoldsWhatStandardOutputWould) {
  writeArchives();
  const std::string file = arg("out.txt");
  // Every spelling, the value in the argument or as the next one.
  std::vector<std::vector<std::string>> spellings = {
      {program.option("output", file)}, {"--output=" + file}, {"--out", file}, {"-o", file}, {"-o" + file}};
  if (program.windows) spellings.erase(spellings.end() - 2, spellings.end()), spellings.push_back({"/o:" + file});
  for (const std::string& format : {std::string(), std::string("utf8"), std::string("jsonl")}) {
    const std::vector<std::string> chosen = format.empty() ? std::vector<std::string>{} : std::vector{program.option(format)};
    const outcome stream = run(joined({arg("d")}, chosen));
    ASSERT_NE(stream.out, "");
    for (const std::vector<std::string>& spelled : spellings) {
      SCOPED_TRACE(format + " " + spelled[0]);
      archive::writeFile(at("out.txt"), std::string(20000, 'x'));
      const outcome r = run(joined(joined({arg("d")}, spelled), chosen));
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err, stream.err);
      EXPECT_EQ(r.exitCode, 1);  // the missing data file
      EXPECT_EQ(archive::readFile(at("out.txt")), stream.out);
    }
  }
  // "-" is standard output; a file of that name is "./-".
  runOptions here;
  here.directory = root;
  outcome r = run({arg("d"), program.option("output", "-")}, here);
  EXPECT_EQ(r.out, run({arg("d")}).out);
  EXPECT_EQ(r.exitCode, 1);  // the missing data file
  EXPECT_EQ(access(at("-").c_str(), F_OK), -1);
  r = run({arg("d"), program.option("output", "." + std::string(1, program.separator()) + "-")}, here);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(archive::readFile(at("-")), run({arg("d")}).out);
  r = run({arg("d"), program.option("output", arg("missing/out.txt"))});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, errorText(3, program.systemText(3) + "func=CreateFile filename=" + shown("missing/out.txt"),
                             origin::outputFile));
  EXPECT_EQ(r.exitCode, 1);
  if (program.windows) return;
  // A write that fails is lost output, as with a redirection.
  r = run({arg("d"), "-o", "/dev/full"});
  const unsigned full = program.diskFullError();
  EXPECT_EQ(r.err, run({arg("d")}).err +
                       errorText(full, program.systemText(full) + "func=WriteFile Данные не записаны в файл. filename=/dev/full",
                                 origin::outputLost));
  EXPECT_EQ(r.exitCode, 1);
}

// The file of -o is never one of the run's inputs, also through a link (a
// list file is refused before anything is read); a FIFO without a reader is
// refused, not waited for; an interrupted run leaves the file as it was.
TEST_F(Options, OutputFileNeverReplacesAnInputNorIsLeftCut) {
  writeArchives();
  const std::string plainErr = run({arg("d")}).err;
  archive::writeFile(at("l.lst"), arg("d") + "\r\n");
  if (!program.windows) tree.link(at("d/A.01"), "link");
  for (const std::string target : {"d/A.01", "d/A.IDX", "d/sub/B.00", "link", "l.lst"}) {
    if (target == "link" && program.windows) continue;
    SCOPED_TRACE(target);
    const bool listed = target == "l.lst";
    const std::string before = archive::readFile(at(target));
    const outcome r = run({program.option("strict"), listed ? "@" + arg(target) : arg("d"),
                           program.option("output", arg(target))});
    EXPECT_EQ(r.err, (listed ? "" : plainErr) +
                         errorText(0, "Файл вывода - один из входных файлов, и он оставлен как был. filename=" +
                                          shown(target),
                                   origin::outputIsInput));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(archive::readFile(at(target)), before);
  }
  if (program.windows) return;
  ASSERT_EQ(mkfifo(at("fifo").c_str(), 0644), 0);
  runOptions limited;
  limited.timeoutSeconds = 20;
  outcome r = run({arg("d"), "-o", arg("fifo")}, limited);
  EXPECT_EQ(r.err,
            errorText(2, program.systemText(2) + "func=CreateFile filename=" + shown("fifo"), origin::outputFile));
  EXPECT_EQ(r.exitCode, 1);
  blockingArchive("m");
  archive::writeFile(at("out.txt"), "old");
  runOptions interrupted;
  interrupted.pipedStream = 2;
  interrupted.signalWhenBlocked = SIGINT;
  EXPECT_EQ(run({arg("m"), "-o", arg("out.txt")}, interrupted).exitCode, 130);
  EXPECT_EQ(archive::readFile(at("out.txt")), "old");
  EXPECT_EQ(filesBelow(root).find(".tarvin-"), std::string::npos) << filesBelow(root);
}

// --split=DIR: a file for each index file at its path below the directory
// argument, holding what one stream would (the counter runs on from file to
// file), in every form; standard output stays empty.
TEST_F(Options, SplitWritesTheStreamOfEachIndexToAFileOfItsOwn) {
  writeArchives();
  const std::string sep1 = separatorLine(1), sep2 = separatorLine(2);
  struct row {
    std::vector<std::string> options;
    std::string a, b;  // A.txt and sub/B.txt, when known here
  };
  const row rows[] = {
      {{}, texts[0] + separatorLine(0) + texts[1] + sep1 + sep2, texts[3] + separatorLine(3)},
      {{program.option("trim")}, trimmed(texts[0]) + separatorLine(0) + trimmed(texts[1]) + sep1 + sep2,
       trimmed(texts[3]) + separatorLine(3)},
      // Only the reports whose keys match; the numbers count those written.
      {{program.option("key", "K1"), program.option("key", "ё*")}, texts[0] + separatorLine(0),
       texts[3] + sep1},
      {{program.option("utf8")}, "", ""},
      {{program.option("jsonl")}, "", ""},
      {{program.option("list")}, "", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.options.empty() ? "plain" : r.options[0]);
    const outcome stream = run(joined({arg("d")}, r.options));
    if (!r.a.empty()) {
      EXPECT_EQ(stream.out, r.a + r.b);
    }
    std::system(("rm -rf '" + at("out") + "'").c_str());
    const outcome split = run(joined({arg("d"), program.option("split", arg("out/x"))}, r.options));
    EXPECT_EQ(split.out, "");
    EXPECT_EQ(split.err, stream.err);
    EXPECT_EQ(split.exitCode, 1);  // the missing data file
    const std::string a = archive::readFile(at("out/x/d/A.txt")), b = archive::readFile(at("out/x/d/sub/B.txt"));
    EXPECT_EQ(a + b, stream.out);
    if (!r.a.empty()) {
      EXPECT_EQ(b, r.b);
    }
    if (r.options.size() == 1 && r.options[0] == program.option("jsonl")) {
      EXPECT_EQ(jsonLines(a).size(), 3u);
    }
  }
}

// A file that was there is replaced only with --force: without it, its
// index gets error 80 and is skipped, the run goes on and ends with exit
// code 1. Two directory arguments of one last name write two files, the
// later one under "NAME~2": nothing this run wrote is replaced.
TEST_F(Options, SplitReplacesFilesOnlyWhenForcedAndNeverItsOwn) {
  writeArchives();
  archive::writer e(at("x/d"), "A.IDX");
  e.add("K9", "", 0, {"other"});
  e.write();
  const std::string plainErr = run({arg("d")}).err;  // the missing data file of d/A.IDX
  const std::string taken =
      errorText(80, program.systemText(80) + "func=CreateFile filename=" + shown("out/d/A.txt"), origin::splitFile);
  archive::makeDirectories(at("out/d"));
  archive::writeFile(at("out/d/A.txt"), "old");
  outcome r = run({arg("d"), program.option("split", arg("out"))});
  EXPECT_EQ(r.err, plainErr + taken);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(archive::readFile(at("out/d/A.txt")), "old");
  EXPECT_EQ(archive::readFile(at("out/d/sub/B.txt")), texts[3] + separatorLine(0));
  // Forced: the old file is replaced, and x/d/A.IDX gets a file of its own.
  r = run({arg("d"), arg("x/d"), program.option("split", arg("out")), program.option("force")});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, plainErr);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(archive::readFile(at("out/d/A.txt")), texts[0] + separatorLine(0) + texts[1] + separatorLine(1) +
                                                      separatorLine(2));
  EXPECT_EQ(archive::readFile(at("out/d/sub/B.txt")), texts[3] + separatorLine(3));
  EXPECT_EQ(archive::readFile(at("out/d~2/A.txt")), e.expected()[0] + separatorLine(4));
}

// Below the split directory no link is followed; with --force a link, a
// directory or a special file where a split file goes is an error naming it
// (the index is skipped, exit code 1), a regular file (a hard link too) is
// replaced, never written through.
TEST_F(Options, SplitWritesNothingThroughLinksNorIntoSpecialFiles) {
  if (program.windows) GTEST_SKIP() << "links and FIFOs of the test's own system";
  writeArchives();
  const std::string plainErr = run({arg("d")}).err;
  archive::writeFile(at("victim"), "victim");
  archive::makeDirectories(at("elsewhere"));
  const std::string inTheWay = errorText(80, program.systemText(80) + "func=CreateFile Имя занято ссылкой, каталогом "
                                             "или особым файлом, и он не заменяется. filename=" + shown("out/d/A.txt"),
                                         origin::splitFileInTheWay);
  const std::pair<std::function<void()>, std::string> rows[] = {  // what is planted, the error it gives
      {[&] { tree.link("../../elsewhere", "out/d/sub"); },
       errorText(267, program.systemText(267) + "func=CreateDirectory Путь занят не каталогом или ссылкой: по ссылкам "
                 "файлы не пишутся. filename=" + shown("out/d/sub"), origin::splitLink)},
      {[&] { tree.link("../../victim", "out/d/A.txt"); }, inTheWay},
      {[&] { tree.link("../../nowhere", "out/d/A.txt"); }, inTheWay},
      {[&] { mkfifo(at("out/d/A.txt").c_str(), 0644); }, inTheWay},
      {[&] { link(at("victim").c_str(), at("out/d/A.txt").c_str()); }, ""},
  };
  runOptions limited;
  limited.timeoutSeconds = 20;
  for (const auto& [plant, err] : rows) {
    SCOPED_TRACE(err);
    std::system(("rm -rf '" + at("out") + "'").c_str());
    archive::makeDirectories(at("out/d"));
    plant();
    const outcome o = run({arg("d"), program.option("split", arg("out")), program.option("force")}, limited);
    EXPECT_EQ(o.err, plainErr + err);
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(archive::readFile(at("victim")) + filesBelow(at("elsewhere")), "victim");
    EXPECT_EQ(access(at("nowhere").c_str(), F_OK), -1);
    if (err != inTheWay) {
      EXPECT_EQ(archive::readFile(at("out/d/A.txt")), texts[0] + separatorLine(0) + texts[1] + numbered({"", ""}, 1));
    }
  }
}

// A split directory that is no directory, or in which no file can be made,
// is the run's error before anything is read. A run interrupted, or whose
// writes fail, leaves no file of its own behind, cut short or empty.
TEST_F(Options, SplitDirectoryIsUsableAndItsFilesComplete) {
  writeArchives();
  archive::writeFile(at("file"), "");
  archive::makeDirectories(at("ro"));
  chmod(at("ro").c_str(), 0555);
  runOptions asNobody;
  asNobody.dropPrivileges = true;
  outcome r = run({arg("d"), program.option("split", arg("file"))});
  EXPECT_EQ(r.err, errorText(267, program.systemText(267) + "func=CreateDirectory Путь занят не каталогом или "
                                  "ссылкой: по ссылкам файлы не пишутся. filename=" + shown("file"),
                             origin::splitDirectory));
  EXPECT_EQ(r.exitCode, 1);
  if (program.windows) return;
  r = run({arg("d"), program.option("split", arg("ro"))}, asNobody);
  EXPECT_EQ(r.err, errorText(5, program.systemText(5) + "func=CreateFile В каталоге нельзя создать файл. filename=" +
                                    shown("ro"),
                             origin::splitDirectory));
  EXPECT_EQ(r.exitCode, 1);
  blockingArchive("m");
  runOptions interrupted;
  interrupted.pipedStream = 2;
  interrupted.signalWhenBlocked = SIGTERM;
  EXPECT_EQ(run({arg("m"), program.option("split", arg("out"))}, interrupted).exitCode, 143);
  runOptions small;
  small.fileSizeLimit = 16;  // A.txt is cut short
  EXPECT_EQ(run({arg("d"), program.option("split", arg("full"))}, small).exitCode, 1);
  EXPECT_EQ(filesBelow(at("out")) + filesBelow(at("full")), "");
}

// The size line of a long last report goes where its text is: into its
// file, also when a later index file wrote none; nowhere when no text is.
TEST_F(Options, SplitSizeLineFollowsTheLastReport) {
  archive::writer a(at("d"), "A.IDX");
  a.add("K1", "", 0, std::vector<std::string>(200, std::string(60, 'z')));
  a.write();
  archive::writer b(at("d"), "B.IDX");
  b.add("X1", "", 0, {"skipped"});
  b.write();
  const outcome stream = run({arg("d"), program.option("key", "K*")});
  ASSERT_NE(stream.out.find("<>"), std::string::npos);
  // (values as the next argument, which the long options take on every platform)
  const outcome r = run({arg("d"), "--key", "K*", "--split", arg("out")});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(archive::readFile(at("out/d/A.txt")), stream.out);
  EXPECT_EQ(archive::readFile(at("out/d/B.txt")), "");
  // A verifying run writes no text, and so no size line.
  const outcome verified = run({program.option("verify"), arg("d"), program.option("key", "K*")});
  EXPECT_EQ(verified.out.find("<>"), std::string::npos) << verified.out;
}

TEST_F(Options, VersionConvertsNothing) {
  writeArchives();
  outcome r;
  for (const std::string& version : {program.option("version"), std::string(program.windows ? "--vers" : "-V")}) {
    r = run({arg("d"), version});
    EXPECT_EQ(r.out,
              "tarvin " TARVIN_VERSION "\n"
              "Copyright (C) 2026 the Tarvin developers\n"
              "License MIT: <https://opensource.org/licenses/MIT>.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitCode, 0);
  }
  // Every option is taken out of the arguments: none is a directory.
  r = run({program.option("quiet"), program.option("utf8"), program.option("strict")});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
}

}  // namespace
