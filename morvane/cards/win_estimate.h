// Monte Carlo estimate of the probability that a hold'em hand beats every one
// of (players - 1) random opponents at showdown, ties counting as losses.
//
// Shared by the qel estimators (10,000 samples, Mersenne Twister shuffle) and
// the equity table builder (1,000 samples, the process-wide engine's shuffle):
// both pass their own partial shuffle, `shuffle(deck, count, size)`, which
// randomises deck[0 .. count-1] of a deck of `size` cards.
//
// cards[0], cards[1] are the hero's hole cards, cards[2 .. known-1] the board
// cards dealt so far. Each sample shuffles the first D cards of the remaining
// deck: the first (5 - board cards) complete the board, opponent j gets the
// next two. Since the table walk does not depend on card order, the board is
// walked first and its state shared by the hero and every opponent.
#ifndef MORVANE_WIN_ESTIMATE_H
#define MORVANE_WIN_ESTIMATE_H

#include <cassert>
#include <cstdint>

#include "cards/tpt.h"

template <typename Shuffle>
double estimateWinProbability(const int* table, const uint8_t* cards, int known,
                              unsigned players, int samples, Shuffle&& shuffle) {
  if (players <= 1) return 1.0;
  assert(known >= 2 && known <= 7);
  const int boardKnown = known - 2;
  const int missing = 5 - boardKnown;

  bool used[52] = {};
  for (int i = 0; i < known; ++i) used[cards[i]] = true;
  uint8_t deck[52];
  int size = 0;
  for (int c = 0; c < 52; ++c)
    if (!used[c]) deck[size++] = static_cast<uint8_t>(c);

  const int opponents = static_cast<int>(players) - 1;
  const int dealt = missing + 2 * opponents;
  assert(dealt <= size);

  const int knownBoard = tptWalk(table, TPT_ROOT, cards + 2, boardKnown);
  int wins = 0;
  for (int s = 0; s < samples; ++s) {
    shuffle(deck, dealt, size);
    const int board = tptWalk(table, knownBoard, deck, missing);
    const int hero = table[table[board + cards[0] + 1] + cards[1] + 1];
    bool won = true;
    for (int j = 0; j < opponents; ++j) {
      const uint8_t* hole = deck + missing + 2 * j;
      if (table[table[board + hole[0] + 1] + hole[1] + 1] >= hero) {
        won = false;
        break;
      }
    }
    wins += won;
  }
  return static_cast<double>(wins) / samples;
}

#endif  // MORVANE_WIN_ESTIMATE_H
