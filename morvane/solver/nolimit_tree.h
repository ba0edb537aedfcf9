// The abstract betting tree of a two-player no-limit game, built once and
// without cards: every decision reachable with fold, call and the raise
// sizes of the large betting abstraction (abstractRaiseSizes), and every
// terminal with its payoffs for each order of the two hands.
//
// Layout. Decisions are numbered in preorder, children visited in the order
// of their actions. A decision's actions are a slice of one flat action list:
// fold (only when the seat owes chips), call, then the legal raise sizes
// ascending, so a decision offers two to six actions. Each action names its
// child: a decision number, or TERMINAL | terminal number. `roundAction` is
// the decision's first action counted among the actions of the decisions of
// its own round, which lets a solver lay out per-round arrays of
// (decision, bucket, action) without gaps.
//
// No fold where nothing is owed. The engine accepts that fold, but it is
// never better than a check (the seat gives up a pot it could see for free),
// so offering it only adds dominated subtrees; and an opponent's real
// history never needs it, since readHistory has no reading for it either.
//
// Terminals keep the round whose board ranks the hands (the last round when
// the players are all in before it), the chips each seat put in, the seat
// that folded (or -1) and both seats' payoffs for each order of the hands,
// computed by the engine's own payoff function, so a deal only needs to know
// which hand is ahead in each round.
#ifndef MORVANE_NOLIMIT_TREE_H
#define MORVANE_NOLIMIT_TREE_H

#include <cstdint>
#include <vector>

#include "game.h"

class NolimitTree {
 public:
  static constexpr uint32_t NONE = UINT32_MAX;
  static constexpr uint32_t TERMINAL = 0x80000000u;
  // Fold, call and at most four raise sizes.
  static constexpr int MAX_ACTIONS = 6;
  // Orders of the two hands in a round.
  enum Order : uint8_t { SEAT0_AHEAD = 0, TIE = 1, SEAT1_AHEAD = 2 };
  static Order orderOf(int handValue0, int handValue1) {
    return handValue0 > handValue1 ? SEAT0_AHEAD : handValue0 == handValue1 ? TIE : SEAT1_AHEAD;
  }

  struct Decision {
    uint32_t firstAction;  // into the flat action list
    uint32_t roundAction;  // first action among the actions of its round's decisions
    uint8_t numActions;
    uint8_t seat;
    uint8_t round;
  };

  struct Terminal {
    double payoff[3][2];  // by Order, by seat
    int32_t spent[2];
    int8_t folded;  // seat that folded, or -1 at a showdown
    uint8_t round;  // whose board ranks the hands
  };

  // Throws std::invalid_argument for a game that is not two-player no-limit.
  explicit NolimitTree(const Game* game);

  const Game* game() const { return game_; }
  size_t numDecisions() const { return decisions_.size(); }
  size_t numTerminals() const { return terminals_.size(); }
  size_t numActions() const { return actions_.size(); }
  const Decision& decision(uint32_t d) const { return decisions_[d]; }
  const Decision* decisions() const { return decisions_.data(); }
  const Terminal& terminal(uint32_t t) const { return terminals_[t]; }
  // The action `a` of decision `d` (a raise with its raise-to total) and
  // what follows it.
  const Action& action(uint32_t d, int a) const { return actions_[decisions_[d].firstAction + a]; }
  uint32_t child(uint32_t d, int a) const { return children_[decisions_[d].firstAction + a]; }
  const uint32_t* children() const { return children_.data(); }
  uint32_t parent(uint32_t d) const { return parents_[d]; }

  // Per round: decisions, and actions summed over them.
  size_t decisionsInRound(int round) const { return decisionsInRound_[round]; }
  size_t actionsInRound(int round) const { return actionsInRound_[round]; }
  // Information sets when each round's hands fall into buckets[round] buckets.
  uint64_t informationSets(const uint32_t* buckets) const;

  // The decision of an abstract state (one whose every action is in the
  // tree, as readHistory makes them), or NONE.
  uint32_t decisionOf(const State& state) const;
  // The index of `action` among the actions of `d`, or -1.
  int actionIndex(uint32_t d, const Action& action) const;

 private:
  uint32_t build(const State& state, uint32_t parent);
  uint32_t terminal(const State& state);

  const Game* game_;
  std::vector<Decision> decisions_;
  std::vector<uint32_t> parents_;
  std::vector<Action> actions_;
  std::vector<uint32_t> children_;
  std::vector<Terminal> terminals_;
  size_t decisionsInRound_[MAX_ROUNDS] = {};
  size_t actionsInRound_[MAX_ROUNDS] = {};
};

#endif
