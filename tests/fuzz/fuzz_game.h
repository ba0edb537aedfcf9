// The game definitions the fuzz targets play, read once at start-up; a file
// that cannot be read stops the target, since no input could then be tried.
#ifndef TESTS_FUZZ_FUZZ_GAME_H
#define TESTS_FUZZ_FUZZ_GAME_H

#include <cstdio>
#include <cstdlib>

#include "game.h"

inline Game* loadGame(const char* path) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", path);
    std::abort();
  }
  Game* game = readGame(file);
  std::fclose(file);
  if (game == nullptr) std::abort();
  return game;
}

#endif
