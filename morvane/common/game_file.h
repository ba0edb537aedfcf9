// Game definition files: open, read and own a Game in one step.
#ifndef MORVANE_GAME_FILE_H
#define MORVANE_GAME_FILE_H

#include <cstdlib>
#include <memory>
#include <string>

#include "game.h"

// readGame allocates with malloc.
struct GameDeleter {
  void operator()(Game* game) const { std::free(game); }
};
using GamePtr = std::unique_ptr<Game, GameDeleter>;

// The game defined in the file at `path`, or null. On failure `problem`, when
// given, says why: "could not open game PATH" or "could not read game PATH".
GamePtr readGameFile(const std::string& path, std::string* problem = nullptr);

#endif
