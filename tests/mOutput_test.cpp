// The standard output under faults of the write call of fd 1.
#include "mOutput.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "capture.h"
#include "posix/faults.h"

namespace {

using platform::posix::systemFault;

// A write interrupted or cut short is written on. A disk that fills loses the
// output with error 112, and nothing reaches it after, even once there is room
// again (in a child process: lost output stays lost).
TEST(MOutput, AFullDiskLosesTheOutputWith112AndAnInterruptedWriteGoesOn) {
  mOutput& out = mOutput::get();
  const std::string big(mOutput::kBufferSize, 'x');
  const auto written = [&](int error, unsigned times) {
    return capture([&] {
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
