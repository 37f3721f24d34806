//   ON ERROR GOTO handler   (the handler itself is not part of this program)
//   MKDIR "Q:\X"
//   END
// The failing MKDIR hands the error over by entering the program again, whose
// prologue finds no handler and ends the process with code 99.
#include "kxrt.h"

int KXMAIN(void*) {
  if (error_occurred) {
    error_occurred = 0;
    immediate_exit(99);
  }
  error_goto_line = 1;
S_2:
  sub_mkdir(kxs_new_txt("Q:\\X"));
  if (kxevent.load()) {
    evnt(2);
    if (r) goto S_2;
  }
  sub_end();
}
