// Blocks the close button with _EXIT and reports each request as a folder:
//   x = _EXIT
//   MKDIR "C:\READY"
//   DO
//     x = _EXIT
//     IF x THEN MKDIR "C:\EXIT" + x: n = n + 1     (EXIT1, EXIT2 or EXIT3)
//   LOOP UNTIL n = 3
//   END
#include "kxrt.h"

namespace {
void poll(uint32_t line) {
  if (kxevent.load()) evnt(line);
}
}  // namespace

int KXMAIN(void*) {
  if (error_occurred) immediate_exit(99);
  static const char* const names[] = {"", "C:\\EXIT1", "C:\\EXIT2", "C:\\EXIT3"};
  int32_t x = func__exit();
  poll(1);
  sub_mkdir(kxs_new_txt("C:\\READY"));
  poll(2);
  int32_t n = 0;
  do {
    x = func__exit();
    poll(4);
    if (x >= 1 && x <= 3) {
      sub_mkdir(kxs_new_txt(names[x]));
      poll(5);
      ++n;
    }
    kx_sleep(10);
  } while (n < 3);
  sub_end();
}
