// The fixed strategies a local best response plays against.
//
// An opponent answers one question: at a state where its seat is to act,
// with which probabilities would it fold, call and raise, for each of a list
// of hole-card pairs (rows fold, call, raise; only actions legal at the state
// get weight, as the dealer would take them). Its raise, when it raises, is
// raise(): the size it sends in no-limit. The LBR updates the opponent's
// range by these probabilities and draws the opponent's own actions from the
// row of its real cards, so the queries must not depend on anything else
// (no hidden state, no draws).
//
// Baselines, as simplebot plays them:
//   fold    folds whenever folding is legal, else checks;
//   call    always checks or calls;
//   raise   raises whenever it may (no-limit: the smallest raise), else calls;
//   random  uniform over the legal actions (no-limit: a raise of a uniform
//           size from the smallest to the all-in).
#ifndef LBR_OPPONENT_H
#define LBR_OPPONENT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "game.h"
#include "showdowns.h"

namespace lbr {

class Opponent {
 public:
  virtual ~Opponent() = default;
  // probabilities[k] = (fold, call, raise) of `seat` at `state` holding
  // hands[k]; the board is read from `state`, the seat's own hole cards in
  // `state` are ignored.
  virtual void actionProbabilities(const State& state, uint8_t seat, const uint8_t (*hands)[2],
                                   size_t count, double (*probabilities)[3]) const = 0;
  // The raise it sends at `state` when it raises (legal there).
  virtual Action raise(const State& state, Rng& rng) const;

 protected:
  explicit Opponent(const Game* game) : game_(game) {}
  const Game* game_;  // not owned
};

// The baseline of that name ("fold", "call", "raise", "random"); null for
// another name.
std::unique_ptr<Opponent> makeBaseline(const std::string& name, const Game* game);

// Legal-action facts of the seat to act, shared by the LBR and the baselines.
bool foldIsLegal(const Game* game, const State& state);
// The smallest and largest raise-to totals (no-limit), false when no raise is
// legal.
bool raiseRange(const Game* game, const State& state, int32_t* minTo, int32_t* maxTo);

}  // namespace lbr

#endif
