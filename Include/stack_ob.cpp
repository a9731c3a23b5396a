#include "stack_ob.h"

mEx stack_ob_allocation_error(const char* function) {
  // The heap does not say why it failed; the error is out of memory.
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  mEx ex("stack_ob", 496, function, 1);
  ex.addSystemError().appendText(u"func=malloc Ошибка выделения памяти.");
  return ex;
}

void stack_ob_allocation_failed(const char* function) { throw stack_ob_allocation_error(function); }
