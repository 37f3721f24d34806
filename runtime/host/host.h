// Host services: processes, the command line and the environment.
#pragma once

#include <cstdint>

#include "strings/strings.h"

// The command line, kept at start-up for COMMAND$.
extern kxs* func_command_str;
// Slots of the process environment, the terminating empty one included.
extern int32_t environ_count;

// COMMAND$: a temporary copy of the command line.
kxs* func_command();
