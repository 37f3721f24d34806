// trelko, as translated:
//   MKDIR "C:\TRELKO"
//   END
#include "kxrt.h"

int KXMAIN(void*) {
  uint32_t tmp_mark = kxs_tmp_list_nexti;
  (void)tmp_mark;
  if (error_occurred) {
    // An ON ERROR hand-over reached a program without an error handler.
    error_occurred = 0;
    immediate_exit(99);
  }
  chain_input();

S_1:
  sub_mkdir(kxs_new_txt("C:\\TRELKO"));
  if (kxevent.load()) {
    evnt(1);
    if (r) goto S_1;
  }

  sub_end();
}
