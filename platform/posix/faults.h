// Faults of the system for tests. While a systemFault lives, the calls of
// one kind that it names fail or come short as a full disk, a failing device,
// a file cut short or a signal would make them; when it goes, the calls are
// the real ones again. The program never makes one: only tests do, and
// nothing from outside the process reaches it.
#ifndef TARVIN_PLATFORM_POSIX_FAULTS_H
#define TARVIN_PLATFORM_POSIX_FAULTS_H

#include <cstdint>

namespace platform::posix {

class systemFault {
 public:
  enum class call { read, pread, write };

  // The calls `which` on `fd` (-1: any) move `after` bytes in all as usual
  // (the one that would go past them moves what is left of them); then
  // `times` calls fail with errno `error`, or with `error` 0 move nothing (as
  // at the end of a file); then they go as usual again. One fault of each
  // kind at a time.
  systemFault(call which, int error, std::uint64_t after = 0, unsigned times = 1, int fd = -1);
  ~systemFault();
  systemFault(const systemFault&) = delete;
  systemFault& operator=(const systemFault&) = delete;

  // The calls it has failed or cut short so far.
  unsigned met() const;

 private:
  call which_;
};

}  // namespace platform::posix

#endif  // TARVIN_PLATFORM_POSIX_FAULTS_H
