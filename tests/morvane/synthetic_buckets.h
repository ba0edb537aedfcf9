// A hold'em solver whose bucket tables need no lookup files: buckets 0 to 9
// from a fixed mix of the cards a seat sees in the round, different by seat
// and player count. Shared by the tests and the solver benchmarks.
#ifndef TESTS_MORVANE_SYNTHETIC_BUCKETS_H
#define TESTS_MORVANE_SYNTHETIC_BUCKETS_H

#include "solver/cfr.h"

class SyntheticBuckets : public CFR {
 public:
  using CFR::CFR;
  int holdemTableBucket(int players, int round, int seat, const uint8_t* cards) const override {
    const int seen = game->numHoleCards + sumBoardCards(game, static_cast<uint8_t>(round));
    uint32_t h = 2166136261u ^ static_cast<uint32_t>(players * 31 + seat);
    for (int c = 0; c < seen; ++c) h = (h ^ cards[c]) * 16777619u;
    return static_cast<int>(h % 10);
  }
};

#endif
