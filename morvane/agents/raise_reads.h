// How wide an opponent raises, read from the hands it shows down.
//
// Each raise of the opponent in a hand that reaches a showdown is scored by
// the rank of its holding on that round's board: the share of all holdings
// off the board that are stronger, ties counting half (0 the strongest, near
// 1 the weakest). A player that raises with the top share q of its holdings
// and nothing else scores q/2 on average, so the read share is twice the mean
// score, at most 1. The mean is an exponential average over about the last
// SPAN raises, starting from the share MIN_RAISER_SHARE, so that an opponent
// that changes is read anew within a few hundred raises.
//
// Hands that end in a fold show nothing, and those are mostly a raiser's
// weaker ones: the read leans narrow, to the side of the strategy it
// corrects. The `large` limit player uses it to call where its strategy
// folds to a raise of an opponent read as raising with at least the share
// WIDE of its holdings (LimitHoldemAgent::actionProbabilities says when).
// Deterministic: a pure function of the scores read, in order.
#ifndef MORVANE_RAISE_READS_H
#define MORVANE_RAISE_READS_H

#include <cstdint>
#include <vector>

#include "agents/price_answer.h"

// Rank of `strength` among `holdings` (strongest first, as rangeHoldings
// makes them): the share stronger, equal ones counting half; 0.5 with none.
double holdingRank(const std::vector<Holding>& holdings, double strength);

class RaiseReads {
 public:
  // Raises the average spans.
  static constexpr double SPAN = 200.0;
  // Raises read before the read is used: until then the player plays its
  // strategy as it is.
  static constexpr uint64_t MINIMUM = 200;
  // The narrowest read share the player answers: far wider than a player
  // near an equilibrium shows (the standard player reads as about 0.65).
  // Against such a player the strategy's folds are sound, and a read pooled
  // over rounds and taken only from hands shown down is too rough to
  // overrule them.
  static constexpr double WIDE = 0.85;

  // Adds the rank of one raise's holding.
  void read(double rank);
  // The share of its holdings the opponent is read to raise with.
  double share() const;
  uint64_t count() const { return count_; }

 private:
  double mean_ = MIN_RAISER_SHARE / 2.0;
  uint64_t count_ = 0;
};

#endif
