#include "common/game_file.h"

#include <cstdio>

GamePtr readGameFile(const std::string& path, std::string* problem) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (!file) {
    if (problem) *problem = "could not open game " + path;
    return nullptr;
  }
  GamePtr game(readGame(file));
  std::fclose(file);
  if (!game && problem) *problem = "could not read game " + path;
  return game;
}
