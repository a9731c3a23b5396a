// WriteFile on the standard output: OEM bytes unchanged into a pipe, shown
// as UTF-8 characters on a terminal. Each case runs in a child process with
// its own fd 1, so the test's own output is never touched.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "win32.h"

namespace {

// Forks a child that puts `target` on fd 1 and writes `bytes` to the standard
// output handle with one WriteFile; collects `expected` bytes from `source`.
// The child exits 0 when WriteFile succeeded and reported every OEM byte.
std::string writeInChild(int target, int source, const std::string& bytes, std::size_t expected,
                         int* childStatus) {
  const pid_t child = fork();
  if (child == 0) {
    if (dup2(target, 1) < 0) _exit(3);
    DWORD written = 0;
    const BOOL ok = WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(),
                              static_cast<DWORD>(bytes.size()), &written, nullptr);
    _exit(ok && written == bytes.size() ? 0 : 1);
  }
  std::string received;
  char buffer[4096];
  pollfd entry{source, POLLIN, 0};
  while (received.size() < expected && poll(&entry, 1, 5000) > 0) {
    const ssize_t n = read(source, buffer, sizeof buffer);
    if (n <= 0) break;
    received.append(buffer, static_cast<std::size_t>(n));
  }
  waitpid(child, childStatus, 0);
  return received;
}

// "Привет ╔№" and a line end in code page 866.
const std::string oemText = "\x8F\xE0\xA8\xA2\xA5\xE2 \xC9\xFC\n";

TEST(Console, RedirectedOutputGetsTheOemBytes) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  int status = -1;
  const std::string got = writeInChild(pipeEnds[1], pipeEnds[0], oemText, oemText.size(), &status);
  close(pipeEnds[0]);
  close(pipeEnds[1]);
  EXPECT_EQ(got, oemText);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Console, FullNonBlockingPipeStillGetsEverything) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  ASSERT_EQ(fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK), 0);
  std::string big;
  for (int i = 0; i < 300000; ++i) big += static_cast<char>(0x80 + i % 128);
  int status = -1;
  const std::string got = writeInChild(pipeEnds[1], pipeEnds[0], big, big.size(), &status);
  close(pipeEnds[0]);
  close(pipeEnds[1]);
  EXPECT_EQ(got == big, true);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Console, TerminalShowsTheCharacters) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  termios raw{};
  ASSERT_EQ(tcgetattr(slave, &raw), 0);
  cfmakeraw(&raw);  // no "\n" to "\r\n" translation
  ASSERT_EQ(tcsetattr(slave, TCSANOW, &raw), 0);
  const std::string utf8 = "Привет ╔№\n";
  int status = -1;
  EXPECT_EQ(writeInChild(slave, master, oemText, utf8.size(), &status), utf8);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  // Longer than the conversion buffer: each "█" is 3 bytes of UTF-8.
  const std::string blocks(5000, '\xDB');
  std::string shown;
  for (int i = 0; i < 5000; ++i) shown += "█";
  EXPECT_EQ(writeInChild(slave, master, blocks, shown.size(), &status) == shown, true);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(master);
  close(slave);
}

TEST(Console, StandardHandlesStayOpen) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  ASSERT_NE(output, nullptr);
  EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), output);
  EXPECT_NE(GetStdHandle(STD_ERROR_HANDLE), output);
  EXPECT_TRUE(CloseHandle(output));
  EXPECT_NE(fcntl(1, F_GETFD), -1);
  SetLastError(0);
  EXPECT_EQ(GetStdHandle(12345), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 6u);
}

}  // namespace
