// Reads of mapped file views that fault. A view whose file was cut short by
// another program, or whose storage went away, raises SIGBUS on the first
// read of a page the file no longer has; a read of a view that is shorter
// than it should be raises SIGSEGV. Inside guardMappedReads such a read
// returns to the guard instead of ending the process.
//
// SIGBUS comes only from mapped files, so inside a guard every one is taken
// for a failed read. SIGSEGV is taken for one only when the faulting address
// lies in a live view of the layer (the record of views below): any other
// SIGSEGV is a bug, and still ends the process loudly.
//
// The handlers are installed once, on the first guard. Each thread keeps its
// own jump buffer; sigsetjmp without the signal mask costs no system call,
// and SA_NODEFER leaves the signal unblocked after the jump out of the
// handler, so that the next fault is caught the same way.
#include <signal.h>
#include <setjmp.h>

#include <atomic>
#include <cstdint>
#include <new>

#include "posix/internal.h"

namespace platform::posix {
namespace {

// One live view, [begin, end). A slot is free while begin is 0; while it is
// being filled or emptied begin is kBusy, which no address lies in.
struct viewSlot {
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
};
constexpr std::uintptr_t kBusy = 1;

// The slots, in chunks that are added when all are taken and never freed:
// a lookup from a signal handler may be walking them.
struct viewChunk {
  viewSlot slots[256];
  std::atomic<viewChunk*> next{nullptr};
};
viewChunk firstChunk;

}  // namespace

bool recordView(const void* view, std::size_t length) {
  const auto begin = reinterpret_cast<std::uintptr_t>(view);
  for (viewChunk* chunk = &firstChunk;;) {
    for (viewSlot& slot : chunk->slots) {
      std::uintptr_t free = 0;
      if (slot.begin.load(std::memory_order_relaxed) != 0 ||
          !slot.begin.compare_exchange_strong(free, kBusy, std::memory_order_acquire))
        continue;
      slot.end.store(begin + length, std::memory_order_relaxed);
      slot.begin.store(begin, std::memory_order_release);
      return true;
    }
    viewChunk* next = chunk->next.load(std::memory_order_acquire);
    if (!next) {
      auto* added = new (std::nothrow) viewChunk;
      if (!added) return false;
      // Another thread may have added one meanwhile: then that one is used.
      if (chunk->next.compare_exchange_strong(next, added, std::memory_order_acq_rel))
        next = added;
      else
        delete added;
    }
    chunk = next;
  }
}

std::size_t forgetView(const void* view) {
  const auto begin = reinterpret_cast<std::uintptr_t>(view);
  if (begin <= kBusy) return 0;
  for (viewChunk* chunk = &firstChunk; chunk; chunk = chunk->next.load(std::memory_order_acquire)) {
    for (viewSlot& slot : chunk->slots) {
      std::uintptr_t live = begin;
      if (!slot.begin.compare_exchange_strong(live, kBusy, std::memory_order_acquire)) continue;
      const std::size_t length = slot.end.load(std::memory_order_relaxed) - begin;
      slot.end.store(0, std::memory_order_relaxed);
      slot.begin.store(0, std::memory_order_release);
      return length;
    }
  }
  return 0;
}

bool isInLiveView(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  for (viewChunk* chunk = &firstChunk; chunk; chunk = chunk->next.load(std::memory_order_acquire)) {
    for (viewSlot& slot : chunk->slots) {
      const std::uintptr_t begin = slot.begin.load(std::memory_order_acquire);
      if (begin <= kBusy || at < begin) continue;
      const std::uintptr_t end = slot.end.load(std::memory_order_acquire);
      // The slot still holds the view whose end was read.
      if (at < end && slot.begin.load(std::memory_order_acquire) == begin) return true;
    }
  }
  return false;
}

}  // namespace platform::posix

namespace {

struct guardFrame {
  sigjmp_buf jump;
  guardFrame* outer;  // the guard this one runs inside, if any
};

thread_local guardFrame* activeGuard = nullptr;
struct sigaction previousBusAction, previousSegvAction;

void onFault(int signal, siginfo_t* info, void*) {
  // Only a fault of the thread's own read (si_code > 0: sent by the
  // kernel, not by kill) inside a guard goes back to it.
  const bool ownRead = info->si_code > 0 &&
                       (signal == SIGBUS || platform::posix::isInLiveView(info->si_addr));
  if (guardFrame* guard = activeGuard; guard && ownRead) siglongjmp(guard->jump, 1);
  // Anywhere else the signal keeps the action it had before: with that
  // action back, the read faults again on return and the process ends as it
  // would have without the guard; a signal sent by kill is raised again.
  sigaction(signal, signal == SIGBUS ? &previousBusAction : &previousSegvAction, nullptr);
  if (info->si_code <= 0) raise(signal);
}

bool installHandlers() {
  struct sigaction action = {};
  action.sa_sigaction = onFault;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGBUS, &action, &previousBusAction) == 0 &&
         sigaction(SIGSEGV, &action, &previousSegvAction) == 0;
}

}  // namespace

bool platform::guardMappedReads(void (*body)(void*), void* context) {
  static const bool installed = installHandlers();  // once, also with several threads
  (void)installed;
  guardFrame guard;
  guard.outer = activeGuard;
  if (sigsetjmp(guard.jump, 0) != 0) {
    activeGuard = guard.outer;
    return false;
  }
  activeGuard = &guard;
  body(context);
  activeGuard = guard.outer;
  return true;
}
