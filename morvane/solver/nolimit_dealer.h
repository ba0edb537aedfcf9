// The chance of two-player hold'em for the no-limit CFR: one deal per call
// from a shuffled deck, each seat's bucket in every round from the caller's
// card abstraction and which hand is ahead in every round from the showdown
// ranking, so the solver never sees a card.
//
// Deterministic for a given seed: deal i is a function of the seed and i.
#ifndef MORVANE_NOLIMIT_DEALER_H
#define MORVANE_NOLIMIT_DEALER_H

#include <cstdint>
#include <functional>
#include <random>

#include "solver/nolimit_cfr.h"

class HoldemDealer {
 public:
  // Bucket of a seat's hand in `round`: `cards` are its two hole cards,
  // then the board dealt up to that round.
  using BucketOf = std::function<uint32_t(int round, const uint8_t* cards)>;

  HoldemDealer(const Game* game, BucketOf bucketOf, uint64_t seed);
  void operator()(NolimitCFR::Deal* deal);
  // The cards of the last deal: seat 0's two, seat 1's two, then the board.
  const uint8_t* lastCards() const { return deck_; }

 private:
  const Game* game_;
  BucketOf bucketOf_;
  std::mt19937_64 rng_;
  int dealt_;  // cards per deal
  uint8_t deck_[52];
};

#endif
