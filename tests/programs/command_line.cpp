//   MKDIR "C:\" + COMMAND$
//   END
#include "kxrt.h"

int KXMAIN(void*) {
  uint32_t tmp_mark = kxs_tmp_list_nexti;
  if (error_occurred) immediate_exit(99);
S_1:
  sub_mkdir(kxs_add(kxs_new_txt("C:\\"), func_command()));
  kxs_cleanup(tmp_mark, 0);
  if (kxevent.load()) {
    evnt(1);
    if (r) goto S_1;
  }
  sub_end();
}
