// Unit-test executables link the runtime without a translated program. Their
// KXMAIN runs whatever body a test puts in test_program_body.
#include "test_program.h"

std::function<void()> test_program_body;

int KXMAIN(void*) {
  if (test_program_body) test_program_body();
  return 0;
}
