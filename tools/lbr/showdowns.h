// The LBR's showdown chances against each opponent hand, for one board.
//
// For the hero's two cards and the board so far, prepare() runs the board's
// completions and records, for every opponent pair i, the sum over those
// completions of the hero's share of the pot (1 win, 1/2 tie, 0 loss) in
// `share[i]` and the number of completions the pair can be dealt with in
// `count[i]` (0 for a pair that holds a hero or board card). The equity
// against any weighting w of the opponent's pairs is then one pass over the
// pairs, sum(w * share) / sum(w * count), so a decision that weighs several
// ranges (the whole range, the part that calls a bet) pays for the showdowns
// once per board.
//
// Completions: every one on the turn (46 river cards) and the river (the
// board itself), exact; `samples` drawn completions on the pre-flop and the
// flop, where all of them would cost 1.7 million (flop) or 2 billion
// (pre-flop) evaluations per board. A sampled equity is an estimate; the LBR
// stays a lower bound of exploitability whatever its estimate, as it never
// sees the opponent's cards (the draws avoid only the hero's and the board's).
//
// Hands are ranked by the engine's showdown evaluator, so they are ordered
// exactly as the engine pays them.
#ifndef LBR_SHOWDOWNS_H
#define LBR_SHOWDOWNS_H

#include <array>
#include <cstdint>
#include <random>

#include "hole_pairs.h"

namespace lbr {

using Rng = std::mt19937_64;

class Showdowns {
 public:
  // hero: two cards; board: `boardCards` cards (0, 3, 4 or 5). Draws from
  // `rng` only when the board has fewer than four cards.
  void prepare(const uint8_t* hero, const uint8_t* board, int boardCards, int samples, Rng& rng);

  // The hero's expected share of the pot against the pairs weighted by `w`
  // (pairs the hero's or the board's cards block count for nothing); 0 when
  // no weight is left.
  double equity(const double* w) const;

  double share(int pair) const { return share_[pair]; }
  double count(int pair) const { return count_[pair]; }

 private:
  // Adds one complete five-card board.
  void addBoard(uint64_t board, uint64_t hero);

  std::array<double, NUM_PAIRS> share_{};
  std::array<double, NUM_PAIRS> count_{};
};

}  // namespace lbr

#endif
