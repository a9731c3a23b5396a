// The process's standard streams: mstr's console output goes through them,
// and the write call of fd 1 fails under faults.
#include "mOutput.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>

#include "capture.h"
#include "posix/faults.h"

namespace {

using platform::posix::systemFault;

// What a piece of code writes to the process's standard output and error
// (fds 1 and 2): the one place the tests take the real streams.
captured ofStreams(const std::function<void()>& code) {
  struct redirect {
    int fd, saved;
    FILE* file = std::tmpfile();
    explicit redirect(int f) : fd(f), saved(dup(f)) { dup2(fileno(file), fd); }
    ~redirect() {
      dup2(saved, fd);
      close(saved);
      std::fclose(file);
    }
    std::string taken() {
      std::string data(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)), '\0');
      if (pread(fd, &data[0], data.size(), 0) != static_cast<ssize_t>(data.size())) data.clear();
      return data;
    }
  };
  std::fflush(stdout);
  redirect out(1), err(2);
  code();
  mOutput::get().flush();  // what the writer still gathers belongs to this code
  return {out.taken(), err.taken()};
}

TEST(MOutput, MstrConsoleOutputIsOemWithStringAndTail) {
  captured c = ofStreams([] {
    mstr(u"Отчёт").print(u"\n");
    mstr().print(u"\n");
    mstr(u"ab").print();
    mstr(u"ошибка").printError();
  });
  EXPECT_EQ(c.out, oem("Отчёт\n") + "\n" + "ab");
  EXPECT_EQ(c.err, oem("ошибка"));
  EXPECT_TRUE(mstr::lastWriteSucceeded());
}

// A write interrupted or cut short is written on. A disk that fills loses the
// output with error 112, and nothing reaches it after, even once there is room
// again (in a child process: lost output stays lost).
TEST(MOutput, AFullDiskLosesTheOutputWith112AndAnInterruptedWriteGoesOn) {
  mOutput& out = mOutput::get();
  const std::string big(mOutput::kBufferSize, 'x');
  const auto written = [&](int error, unsigned times) {
    return ofStreams([&] {
             {
               systemFault fault(systemFault::call::write, error, 1000, times, 1);
               out.bytes("head", 4);
               out.bytes(big.data(), big.size());
             }
             out.bytes("tail", 4);
           }).out;
  };
  EXPECT_TRUE(written(EINTR, 3) == "head" + big + "tail");
  EXPECT_EXIT(
      {
        const std::string kept = written(ENOSPC, ~0u);
        _exit(!out.lost() ? 1 : out.lostError() != 112 ? 2 : kept != "head" + big.substr(0, 996) ? 3 : 0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
