// Reads of mapped file views that fault: a view whose storage went away (a
// network share) raises EXCEPTION_IN_PAGE_ERROR; Wine reports a view whose
// file was cut short as an access violation on a committed page of the view.
// Inside guardMappedReads such a read returns to the guard instead of ending
// the process.
//
// A vectored handler, added once on the first guard, sees the exception
// first. When the faulting thread is inside a guard it does not jump from
// within the system's dispatcher: it points the thread's context at a
// recovery routine, on the thread's own stack below the faulting frame, and
// lets the thread continue there. That routine jumps back to the guard with
// __builtin_longjmp, which restores the guard's frame without unwinding
// (setjmp/longjmp of the C library would unwind the SEH frames on x86_64).
#include <cstdint>

#include "win32.h"

namespace {

struct guardFrame {
  void* jump[5];      // __builtin_setjmp's buffer
  guardFrame* outer;  // the guard this one runs inside, if any
};

thread_local guardFrame* activeGuard = nullptr;

[[noreturn]] void returnToGuard() { __builtin_longjmp(activeGuard->jump, 1); }

// A committed page of a mapped view: readable unless its file failed.
bool isMappedView(ULONG_PTR address) {
  MEMORY_BASIC_INFORMATION info;
  return VirtualQuery(reinterpret_cast<LPCVOID>(address), &info, sizeof info) == sizeof info &&
         info.Type == MEM_MAPPED && info.State == MEM_COMMIT;
}

bool isFailedRead(const EXCEPTION_RECORD& record) {
  if (record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR) return true;
  return record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2 &&
         record.ExceptionInformation[0] == 0 && isMappedView(record.ExceptionInformation[1]);
}

LONG CALLBACK onException(EXCEPTION_POINTERS* exception) {
  if (!isFailedRead(*exception->ExceptionRecord) || !activeGuard) return EXCEPTION_CONTINUE_SEARCH;
  CONTEXT& context = *exception->ContextRecord;
  // Entered as if called: 16-byte aligned before the return address slot,
  // well below whatever the faulting code keeps at its stack pointer.
#if defined(__x86_64__) || defined(_M_X64)
  context.Rsp = ((context.Rsp - 512) & ~static_cast<DWORD64>(15)) - 8;
  context.Rip = reinterpret_cast<DWORD64>(&returnToGuard);
#elif defined(__i386__) || defined(_M_IX86)
  context.Esp = ((context.Esp - 512) & ~static_cast<DWORD>(15)) - 4;
  context.Eip = reinterpret_cast<DWORD>(&returnToGuard);
#else
#error "guardMappedReads: no recovery for this processor"
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool platform::guardMappedReads(void (*body)(void*), void* context) {
  static const bool installed = AddVectoredExceptionHandler(1, onException) != nullptr;
  (void)installed;
  guardFrame guard;
  guard.outer = activeGuard;
  if (__builtin_setjmp(guard.jump)) {
    activeGuard = guard.outer;
    return false;
  }
  activeGuard = &guard;
  body(context);
  activeGuard = guard.outer;
  return true;
}
