// Reads of mapped file views that fault: a view whose file was cut short by
// another program, or whose storage went away, raises SIGBUS on the first
// read of a page the file no longer has. Inside guardMappedReads that read
// returns to the guard instead of ending the process.
//
// The handler is installed once, on the first guard. Each thread keeps its
// own jump buffer; sigsetjmp without the signal mask costs no system call,
// and SA_NODEFER leaves SIGBUS unblocked after the jump out of the handler,
// so that the next fault is caught the same way.
#include <signal.h>
#include <setjmp.h>

#include "win32.h"

namespace {

struct guardFrame {
  sigjmp_buf jump;
  guardFrame* outer;  // the guard this one runs inside, if any
};

thread_local guardFrame* activeGuard = nullptr;
struct sigaction previousAction;

void onBusError(int signal, siginfo_t* info, void*) {
  // Only a fault of the thread's own read (si_code > 0: sent by the
  // kernel, not by kill) inside a guard goes back to it.
  if (guardFrame* guard = activeGuard; guard && info->si_code > 0) siglongjmp(guard->jump, 1);
  // Anywhere else SIGBUS keeps the action it had before: with that action
  // back, the read faults again on return and the process ends as it would
  // have without the guard; a signal sent by kill is raised again.
  sigaction(signal, &previousAction, nullptr);
  if (info->si_code <= 0) raise(signal);
}

bool installHandler() {
  struct sigaction action = {};
  action.sa_sigaction = onBusError;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGBUS, &action, &previousAction) == 0;
}

}  // namespace

bool platform::guardMappedReads(void (*body)(void*), void* context) {
  static const bool installed = installHandler();  // once, also with several threads
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
