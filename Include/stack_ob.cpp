#include "stack_ob.h"

mEx stack_ob_allocation_error(const errorOrigin& at) {
  // The heap does not say why it failed; the error is out of memory.
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  mEx ex(at);
  ex.addSystemError().appendText(u"func=malloc Ошибка выделения памяти.");
  return ex;
}

void stack_ob_allocation_failed(const errorOrigin& at) { throw stack_ob_allocation_error(at); }
