// Shows one screen after another, each after a key, and marks each with a folder:
//   SCREEN 13: DEF SEG = &HA000
//   FOR y = 0 TO 199: FOR x = 0 TO 319: POKE y * 320 + x, x \ 20: NEXT: NEXT
//   MKDIR "C:\MODE13": DO: LOOP UNTIL LEN(INKEY$)
//   SCREEN 0: WIDTH 40: COLOR 14, 1: CLS: PRINT "Forty"; : LOCATE , , 1, 0, 15
//   MKDIR "C:\TEXT40": DO: LOOP UNTIL LEN(INKEY$)
//   i& = _NEWIMAGE(300, 100, 32): SCREEN i&: CLS , &HFF00FF00
//   MKDIR "C:\IMAGE32": DO: LOOP UNTIL LEN(INKEY$)
//   END
#include "kxrt.h"

namespace {

void poll(uint32_t line) {
  if (kxevent.load()) evnt(line);
}

void wait_key(uint32_t line) {
  for (;;) {
    uint32_t mark = kxs_tmp_list_nexti;
    bool got = kxs_inkey()->len != 0;
    kxs_cleanup(mark, 0);
    poll(line);
    if (got) return;
    kx_sleep(10);
  }
}

void mark(const char* folder, uint32_t line) {
  sub_mkdir(kxs_new_txt(folder));
  poll(line);
}

}  // namespace

int KXMAIN(void*) {
  if (error_occurred) immediate_exit(99);
  kxg_screen(13, 0, 0, 0, 0, 1);
  poll(1);
  sub_defseg(0xA000, 1);
  for (int32_t y = 0; y < 200; ++y) {
    for (int32_t x = 0; x < 320; ++x) sub_poke(y * 320 + x, x / 20);
  }
  poll(2);
  mark("C:\\MODE13", 3);
  wait_key(3);

  kxg_screen(0, 0, 0, 0, 0, 1);
  poll(4);
  kxsub_width(0, 40, 0, 1);
  poll(4);
  kxg_sub_color(14, 1, 0, 3);
  sub_cls(0, 0, 0);
  kxs_print(kxs_new_txt("Forty"), 0);
  kxg_sub_locate(0, 0, 1, 0, 15, 12);
  poll(5);
  mark("C:\\TEXT40", 6);
  wait_key(6);

  int32_t image = func__newimage(300, 100, 32, 1);
  kxg_screen(image, 0, 0, 0, 0, 1);
  sub_cls(0, 0xFF00FF00u, 2);
  poll(7);
  mark("C:\\IMAGE32", 8);
  wait_key(8);
  sub_end();
}
