// The fixed strategies a local best response plays against.
//
// An opponent answers one question: at a state where its seat is to act,
// which actions may it send, and with which probabilities would it send
// each, for each of a list of hole-card pairs. The list of actions is the
// same for every pair; a raise of size 0 in it is sized by raise() when
// played (the engine's size in limit games, the opponent's own in
// no-limit). The LBR updates the opponent's range by these probabilities
// and draws the opponent's own actions from the row of its real cards, so
// the answers must depend on nothing else: no hidden state, and no draws
// but the hand's raise draws the LBR hands over, which an opponent with a
// randomised reading of bet sizes uses, one per raise, for the whole hand.
//
// Most opponents fold, call or make one raise: SingleRaiseOpponent gives
// their list from three probabilities per pair.
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
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "game.h"
#include "showdowns.h"

namespace lbr {

class Opponent {
 public:
  virtual ~Opponent() = default;

  struct ActionList {
    std::vector<Action> actions;
    std::vector<double> probabilities;  // a row of actions.size() per pair
    // Pair k's probability of the listed actions of that type.
    double share(size_t k, ActionType type) const {
      const size_t n = actions.size();
      double p = 0.0;
      for (size_t a = 0; a < n; ++a)
        if (actions[a].type == type) p += probabilities[k * n + a];
      return p;
    }
  };
  // The uniform draw for reading the hand's k-th raise.
  using RaiseDraw = std::function<double(int k)>;
  // The actions of `seat` at `state` and their probabilities holding each
  // of hands[0 .. count-1]; the board is read from `state`, the seat's own
  // hole cards in `state` are ignored.
  virtual void actionList(const State& state, uint8_t seat, const uint8_t (*hands)[2], size_t count,
                          const RaiseDraw& draw, ActionList* list) const = 0;
  // The raise it sends at `state` for a listed raise of size 0 (legal there).
  virtual Action raise(const State& state, Rng& rng) const;

 protected:
  explicit Opponent(const Game* game) : game_(game) {}
  const Game* game_;  // not owned
};

// An opponent that folds, calls or raises by one size.
class SingleRaiseOpponent : public Opponent {
 public:
  // probabilities[k] = (fold, call, raise) of `seat` at `state` holding
  // hands[k]; only actions legal at the state get weight, as the dealer
  // would take them.
  virtual void actionProbabilities(const State& state, uint8_t seat, const uint8_t (*hands)[2],
                                   size_t count, double (*probabilities)[3]) const = 0;
  // Fold, call and raise (size 0) with those probabilities.
  void actionList(const State& state, uint8_t seat, const uint8_t (*hands)[2], size_t count,
                  const RaiseDraw& draw, ActionList* list) const final;

 protected:
  using Opponent::Opponent;
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
