// Pieces of the program frame shared between its own translation units.
#pragma once

// Thrown by end() to unwind the program thread; caught only at its entry.
struct program_thread_end {};

int program_thread_main(void*);
int TIMERTHREAD(void*);
void events();
