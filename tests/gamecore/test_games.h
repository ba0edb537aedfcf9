// Game definitions used across the engine tests, and a reader for text.
#ifndef TESTS_GAMECORE_TEST_GAMES_H
#define TESTS_GAMECORE_TEST_GAMES_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "game.h"

struct FreeGame {
  void operator()(Game* game) const { free(game); }
};
using GamePtr = std::unique_ptr<Game, FreeGame>;

// Reads a game definition from text; null when readGame rejects it.
inline GamePtr parseGame(const std::string& text) {
  FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  GamePtr game(readGame(in));
  fclose(in);
  return game;
}

inline std::string printedGame(const Game* game) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  printGame(out, game);
  fclose(out);
  std::string result(text, size);
  free(text);
  return result;
}

inline const char* const kKuhn3p =
    "GAMEDEF\nlimit\nnumPlayers = 3\nnumRounds = 1\nblind = 1 1 1\nraiseSize = 1\n"
    "firstPlayer = 1\nmaxRaises = 1\nnumSuits = 1\nnumRanks = 4\nnumHoleCards = 1\n"
    "numBoardCards = 0\nEND GAMEDEF\n";

inline const char* const kHoldemNoLimit2p =
    "GAMEDEF\nnolimit\nnumPlayers = 2\nnumRounds = 4\nstack = 20000 20000\nblind = 100 50\n"
    "firstPlayer = 2 1 1 1\nnumSuits = 4\nnumRanks = 13\nnumHoleCards = 2\n"
    "numBoardCards = 0 3 1 1\nEND GAMEDEF\n";

inline const char* const kHoldemLimit2p =
    "GAMEDEF\nlimit\nnumPlayers = 2\nnumRounds = 4\nblind = 10 5\nraiseSize = 10 10 20 20\n"
    "firstPlayer = 2 1 1 1\nmaxRaises = 3 4 4 4\nnumSuits = 4\nnumRanks = 13\n"
    "numHoleCards = 2\nnumBoardCards = 0 3 1 1\nEND GAMEDEF\n";

inline const char* const kHoldemLimit3p =
    "GAMEDEF\nlimit\nnumPlayers = 3\nnumRounds = 4\nblind = 5 10 0\nraiseSize = 10 10 20 20\n"
    "firstPlayer = 3 1 1 1\nmaxRaises = 3 4 4 4\nnumSuits = 4\nnumRanks = 13\n"
    "numHoleCards = 2\nnumBoardCards = 0 3 1 1\nEND GAMEDEF\n";

inline Action act(ActionType type, int32_t size = 0) { return Action{type, size}; }

#endif  // TESTS_GAMECORE_TEST_GAMES_H
