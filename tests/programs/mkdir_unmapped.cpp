//   MKDIR "Q:\X"      (a drive with no folder)
//   END
#include "kxrt.h"

int KXMAIN(void*) {
  if (error_occurred) immediate_exit(99);
S_1:
  sub_mkdir(kxs_new_txt("Q:\\X"));
  if (kxevent.load()) {
    evnt(1);
    if (r) goto S_1;
  }
  sub_end();
}
