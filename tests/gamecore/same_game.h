// Equality of two game definitions in every field that the game text carries
// (limit raise sizes only matter in limit games), for round-trip checks of
// printGame and readGame in the tests and the fuzz target.
#ifndef TESTS_GAMECORE_SAME_GAME_H
#define TESTS_GAMECORE_SAME_GAME_H

#include "game.h"

inline bool sameGame(const Game& a, const Game& b) {
  if (a.bettingType != b.bettingType || a.numPlayers != b.numPlayers || a.numRounds != b.numRounds ||
      a.numSuits != b.numSuits || a.numRanks != b.numRanks || a.numHoleCards != b.numHoleCards)
    return false;
  for (int p = 0; p < a.numPlayers; ++p)
    if (a.stack[p] != b.stack[p] || a.blind[p] != b.blind[p]) return false;
  for (int r = 0; r < a.numRounds; ++r)
    if (a.firstPlayer[r] != b.firstPlayer[r] || a.maxRaises[r] != b.maxRaises[r] ||
        a.numBoardCards[r] != b.numBoardCards[r] ||
        (a.bettingType == limitBetting && a.raiseSize[r] != b.raiseSize[r]))
      return false;
  return true;
}

#endif
