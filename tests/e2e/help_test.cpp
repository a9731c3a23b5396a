// What a person at a terminal sees: the program started on a pseudo-terminal
// shows its usage text, reports and error texts as UTF-8 characters, while
// the same output redirected stays code page 866, byte for byte.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "capture.h"
#include "runner.h"
#include "usage.h"
#include "target.h"

namespace {

struct terminalOutcome {
  std::string shown;  // everything written to the terminal, standard error included
  int exitCode = -1;
};

// Runs the program with a pseudo-terminal as its standard input, output and
// error, in raw mode so that line feeds arrive as written.
terminalOutcome runOnTerminal(const std::vector<std::string>& arguments) {
  termios raw{};
  cfmakeraw(&raw);
  int master = -1;
  const pid_t child = forkpty(&master, nullptr, &raw, nullptr);
  if (child < 0) return {};
  if (child == 0) execProgram(arguments);
  terminalOutcome result;
  char buffer[4096];
  pollfd entry{master, POLLIN, 0};
  // Read until the terminal closes with the program (EIO), or 30 s pass.
  while (poll(&entry, 1, 30000) > 0) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      result.shown.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  int status = 0;
  if (waitpid(child, &status, WNOHANG) == 0) kill(child, SIGKILL);
  waitpid(child, &status, 0);
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  close(master);
  return result;
}

class Terminal : public ::testing::Test {
 protected:
  void SetUp() override {
    if (program.windows) GTEST_SKIP() << "a Windows console is not a pseudo-terminal";
    char tmpl[] = "/tmp/tarvin-terminal-XXXXXX";
    root = mkdtemp(tmpl);
  }
  void TearDown() override {
    if (!root.empty()) std::system(("rm -rf '" + root + "'").c_str());
  }
  std::string root;
};

TEST_F(Terminal, UsageTextIsCharactersThereAndCodePage866Redirected) {
  for (const char* help : {"-h", "--help", "/?"}) {
    SCOPED_TRACE(help);
    terminalOutcome shown = runOnTerminal({help});
    EXPECT_EQ(shown.shown, kUsage);
    EXPECT_EQ(shown.exitCode, 0);
    outcome redirected = run({help});
    EXPECT_EQ(redirected.out, oem(kUsage));
    EXPECT_EQ(redirected.err, "");
  }
}

TEST_F(Terminal, ReportsAndErrorTextsAreCharactersThere) {
  // Code page 866 and what a terminal shows for it: Cyrillic letters, and
  // shading characters (bytes B0 to B2).
  const std::string oemLines[] = {oem("Рапорт N 1"), oem("Станция:   Северная ") + "\xB0\xB1\xB2"};
  const std::string shownLines = "Рапорт N 1\nСтанция:   Северная ░▒▓\n";
  archive::writer w(root + "/Отчёты", "R.IDX");
  w.add("K1", "", 1, {oemLines[0], oemLines[1]});
  w.add("K2", "", 2, {oem("потерян")});
  w.omitDataFile(2);
  w.write();
  // The report's lines, then a line feed for each zero byte up to its block's end.
  const std::string padding = w.expected()[0].substr(oemLines[0].size() + oemLines[1].size() + 2);
  ASSERT_EQ(padding.find_first_not_of('\n'), std::string::npos);

  terminalOutcome shown = runOnTerminal({root + "/Отчёты"});
  // The missing data file is reported when the index is opened, before its reports.
  EXPECT_EQ(shown.shown, "Error number 0: Нет указанного в индексе файла рапортов " + root +
                             "/Отчёты/R.02\nin module mFileIndex func <mFileIndex::open> in string 106\n" +
                             shownLines + padding + "+++0\n+++1\n");
  EXPECT_EQ(shown.exitCode, 0);

  shown = runOnTerminal({"@" + root + "/missing.lst"});
  EXPECT_EQ(shown.shown, "Error number 2: " + program.systemText(2) + "func=CreateFile filename=" + root +
                             "/missing.lst\nin module Vc\\Include\\mFileObject func "
                             "<mFileObject::GetFilesFromFileList> in string 226\n");
}

}  // namespace
