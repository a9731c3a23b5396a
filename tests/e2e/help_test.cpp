// What a person at a terminal sees: the program started on a pseudo-terminal
// shows its usage text, reports and error texts as UTF-8 characters, while
// the same output redirected stays code page 866, byte for byte.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "fixture.h"
#include "runner.h"
#include "usage.h"

namespace {

struct terminalOutcome {
  std::string shown;  // everything written to the terminal, standard error included
  int exitCode = -1;
};

// Runs the program with a pseudo-terminal as its standard input, output and
// error, in raw mode so that line feeds arrive as written; or with standard
// output to a file, when one is named.
terminalOutcome runOnTerminal(const std::vector<std::string>& arguments, const std::string& stdoutPath = "",
                              unsigned short columns = 80) {
  termios raw{};
  cfmakeraw(&raw);
  int master = -1;
  winsize size{24, columns, 0, 0};
  const pid_t child = forkpty(&master, nullptr, &raw, &size);
  if (child < 0) return {};
  if (child == 0) {
    if (!stdoutPath.empty()) {
      const int out = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || dup2(out, 1) < 0) _exit(126);
    }
    execProgram(arguments);
  }
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

class Terminal : public archiveTree {
 protected:
  void SetUp() override {
    if (program.windows) GTEST_SKIP() << "a Windows console is not a pseudo-terminal";
  }
};

TEST_F(Terminal, UsageTextIsCharactersThereAndCodePage866Redirected) {
  const auto spell = [](const std::string& word, const std::string& value = "") {
    return value.empty() ? program.option(word) : program.option(word, value);
  };
  const std::string help = helpText(spell, false);
  for (const char* argument : {"-h", "--help", "/?"}) {
    SCOPED_TRACE(argument);
    const std::string expected = argument == std::string("/?") ? kUsage : help;
    terminalOutcome shown = runOnTerminal({argument});
    EXPECT_EQ(shown.shown, expected);
    EXPECT_EQ(shown.exitCode, 0);
    outcome redirected = run({argument});
    EXPECT_EQ(redirected.out, oem(expected));
    EXPECT_EQ(redirected.err, "");
    // With --utf8 the same characters come out as UTF-8 wherever they go.
    shown = runOnTerminal({argument, "--utf8"});
    EXPECT_EQ(shown.shown, expected);
    redirected = run({argument, "--utf8"});
    EXPECT_EQ(redirected.out, expected);
    // In a UTF-8 locale the locale's UTF-8, and with --oem the Windows bytes.
    runOptions inUtf8;
    inUtf8.locale = "C.UTF-8";
    EXPECT_EQ(run({argument}, inUtf8).out, expected);
    EXPECT_EQ(run({argument, "--oem"}, inUtf8).out, oem(expected));
  }
}

TEST_F(Terminal, ReportsAndErrorTextsAreCharactersThere) {
  // Code page 866 and what a terminal shows for it: Cyrillic letters, and
  // shading characters (bytes B0 to B2); control characters in caret notation.
  const std::string oemLines[] = {oem("Рапорт N 1"), oem("Станция:   Северная ") + "\xB0\xB1\xB2",
                                  "\x1B]0;t\x07 \x7F\rx\t\x1B[2J"};
  const std::string shownLines = "Рапорт N 1\nСтанция:   Северная ░▒▓\n^[]0;t^G ^?^Mx\t^[[2J\n";
  archive::writer w(root + "/Отчёты\x1B[H", "R.IDX");
  w.add("K1", "", 1, {oemLines[0], oemLines[1], oemLines[2]});
  w.add("K2", "", 2, {oem("потерян")});
  w.omitDataFile(2);
  w.write();
  // The report's lines, then a line feed for each zero byte up to its block's end.
  const std::string padding =
      w.expected()[0].substr(oemLines[0].size() + oemLines[1].size() + oemLines[2].size() + 3);
  ASSERT_EQ(padding.find_first_not_of('\n'), std::string::npos);

  terminalOutcome shown = runOnTerminal({root + "/Отчёты\x1B[H"});
  // The missing data file is reported when the index is opened, before its reports.
  EXPECT_EQ(shown.shown, utf8(missingDataFile(root + "/Отчёты^[[H/R.02")) + numbered({shownLines + padding, ""}));
  EXPECT_EQ(shown.exitCode, 1);

  // The system's text keeps its CR LF in code page 866; in UTF-8 a C1 control is shown too.
  shown = runOnTerminal({"@" + root + "/missing.lst"});
  EXPECT_EQ(shown.shown, utf8(listFileFailed(2, root + "/missing.lst")));
  shown = runOnTerminal({"--utf8", root + "/c1\xC2\x85"});
  EXPECT_EQ(shown.shown, utf8(unlistedDirectory(3, root + "/c1M-^E", true)) +
                             "tarvin: не найдено ни одного индексного файла (*.idx)\n");
}

TEST_F(Terminal, ProgressShowsOnTheTerminalWhileOutputGoesToAFile) {
  archive::writer w(root + "/d\x1B[2J", "P.IDX");
  w.add("K1", "", 1, {oem("Рапорт")});
  w.add("K2", "", 2, {"x"});
  w.add("K3", "", 1, std::vector<std::string>(2000, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"));  // 74 KB: 0,1 MB
  w.omitDataFile(2);
  w.write();
  const std::string file = root + "/out.txt", dir = root + "/d\x1B[2J";
  const std::string plain = run({dir}).out;
  terminalOutcome shown = runOnTerminal({dir}, file);
  EXPECT_EQ(archive::readFile(file), plain);
  EXPECT_EQ(shown.shown.find('\x1B'), std::string::npos) << shown.shown;
  // A status line, drawn over with "\r", gives way to the error text and
  // at the end to one summary line.
  EXPECT_EQ(shown.shown.rfind("\rРапортов: ", 0), 0u) << shown.shown;
  EXPECT_NE(shown.shown.find("Error number 0: Нет указанного в индексе файла рапортов"), std::string::npos);
  const std::size_t summary = shown.shown.find("Готово. Рапортов: 3, 0,1 МБ, ошибок: 1, 0:0");
  ASSERT_NE(summary, std::string::npos) << shown.shown;
  EXPECT_EQ(shown.shown.find('\n', summary), shown.shown.size() - 1);
  shown = runOnTerminal({dir, "--verify"}, file);  // writes a line or two: shows what it read
  EXPECT_NE(shown.shown.find("Готово. Рапортов: 3, 0,1 МБ, ошибок: 1, 0:0"), std::string::npos) << shown.shown;

  // On a narrow terminal every drawing of the status fits one row, or its
  // "\r" could not draw over it.
  shown = runOnTerminal({dir}, file, 10);
  std::size_t drawings = 0;
  for (std::size_t at = shown.shown.find("\rРапорт"); at != std::string::npos;
       at = shown.shown.find("\rРапорт", at + 1), ++drawings) {
    const std::string drawn = shown.shown.substr(at + 1, shown.shown.find_first_of("\r\n", at + 1) - at - 1);
    EXPECT_LE(std::count_if(drawn.begin(), drawn.end(), [](char c) { return (c & 0xC0) != 0x80; }), 9) << drawn;
  }
  EXPECT_GT(drawings, 0u);

  // Quiet, or with standard error redirected: not a trace of it.
  shown = runOnTerminal({dir, "--quiet"}, file);
  EXPECT_EQ(shown.shown.find("Рапортов"), std::string::npos);
  EXPECT_EQ(shown.shown.rfind("Error number 0: ", 0), 0u);
  EXPECT_EQ(run({dir}).err.find(oem("Рапортов")), std::string::npos);
}

}  // namespace
