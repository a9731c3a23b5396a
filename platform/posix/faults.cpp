// Faults of the system for tests: the entries of the table of system calls
// that a systemFault puts in place of the real ones while it lives.
#include "posix/faults.h"

#include <cerrno>
#include <mutex>

#include "posix/internal.h"

namespace platform::posix {
namespace {

// What the fault of one kind of call has still to do.
struct faultPlan {
  std::mutex lock;
  int fd = -1;
  int error = 0;
  std::uint64_t after = 0;
  unsigned times = 0;
  unsigned met = 0;
};
faultPlan faultPlans[3];

// The entries the faults took the places of.
decltype(sys.read)::function readBefore;
decltype(sys.pread)::function preadBefore;
decltype(sys.write)::function writeBefore;

// A call of `asked` bytes on `fd` as its fault's plan says; move(n) makes the
// call before the fault for n bytes.
template <class Move>
ssize_t planned(systemFault::call which, int fd, std::size_t asked, Move move) {
  faultPlan& plan = faultPlans[static_cast<int>(which)];
  std::lock_guard<std::mutex> hold(plan.lock);
  if (plan.times == 0 || asked == 0 || (plan.fd >= 0 && fd != plan.fd)) return move(asked);
  if (plan.after > 0) {
    const std::size_t most = plan.after < asked ? static_cast<std::size_t>(plan.after) : asked;
    const ssize_t moved = move(most);
    if (moved > 0) plan.after -= static_cast<std::uint64_t>(moved);
    if (most < asked) ++plan.met;
    return moved;
  }
  --plan.times;
  ++plan.met;
  if (plan.error == 0) return 0;
  errno = plan.error;
  return -1;
}

ssize_t faultyRead(int fd, void* into, std::size_t count) {
  return planned(systemFault::call::read, fd, count, [&](std::size_t n) { return readBefore(fd, into, n); });
}

ssize_t faultyPread(int fd, void* into, std::size_t count, off_t offset) {
  return planned(systemFault::call::pread, fd, count,
                 [&](std::size_t n) { return preadBefore(fd, into, n, offset); });
}

ssize_t faultyWrite(int fd, const void* bytes, std::size_t count) {
  return planned(systemFault::call::write, fd, count, [&](std::size_t n) { return writeBefore(fd, bytes, n); });
}

}  // namespace

systemFault::systemFault(call which, int error, std::uint64_t after, unsigned times, int fd) : which_(which) {
  faultPlan& plan = faultPlans[static_cast<int>(which)];
  {
    std::lock_guard<std::mutex> hold(plan.lock);
    plan.fd = fd;
    plan.error = error;
    plan.after = after;
    plan.times = times;
    plan.met = 0;
  }
  switch (which) {
    case call::read:
      readBefore = sys.read.exchange(faultyRead);
      break;
    case call::pread:
      preadBefore = sys.pread.exchange(faultyPread);
      break;
    case call::write:
      writeBefore = sys.write.exchange(faultyWrite);
      break;
  }
}

systemFault::~systemFault() {
  switch (which_) {
    case call::read:
      sys.read.exchange(readBefore);
      break;
    case call::pread:
      sys.pread.exchange(preadBefore);
      break;
    case call::write:
      sys.write.exchange(writeBefore);
      break;
  }
}

unsigned systemFault::met() const {
  faultPlan& plan = faultPlans[static_cast<int>(which_)];
  std::lock_guard<std::mutex> hold(plan.lock);
  return plan.met;
}

}  // namespace platform::posix
