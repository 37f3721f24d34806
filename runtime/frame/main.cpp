// The process entry of a translated program.
#include <SDL.h>

#include "frame/frame.h"

int main(int argc, char** argv) {
  SDL_SetMainReady();
  return SDL_main(argc, argv);
}
