#pragma once

#include <functional>

#include "frame/frame.h"

// What KXMAIN runs in a unit-test executable.
extern std::function<void()> test_program_body;
