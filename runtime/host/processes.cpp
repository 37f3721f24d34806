// COMMAND$.
#include "host/host.h"

kxs* func_command_str = nullptr;
int32_t environ_count = 0;

kxs* func_command() {
  kxs* copy = kxs_new(func_command_str ? func_command_str->len : 0, 1);
  if (func_command_str) kxs_set(copy, func_command_str);
  return copy;
}
