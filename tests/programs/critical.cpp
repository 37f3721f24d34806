// A GOSUB stack that can grow no further: the critical error "Out of stack space".
#include "kxrt.h"

int KXMAIN(void*) {
  if (error_occurred) immediate_exit(99);
  error(256);
  sub_end();
}
