// The betting tree of a game, built once and without cards: every decision
// reachable with the solver's abstract actions (fold, call, raise of size 0),
// the seat and round of each, and the outcome of every terminal as a payoff
// table indexed by the order of the seats' hands.
//
// Layout. Decisions are numbered in preorder with the children of a node
// visited in the byte order of their action letters (c, f, r). The action
// history of a decision is the concatenation of those letters, so decision
// numbers ascend in byte order of the histories, which is the order of the
// information-set keys within one (round, seat) map. A decision's `index`
// is its rank among the decisions of its own map.
//
// Terminals are not nodes: a child is a decision number, TERMINAL | class or
// NONE (action excluded). Terminals with the same round, contributions and
// folds share a payoff class. A class tabulates every seat's payoff for each
// order of the seats' hand values (the engine's own payoff function applied
// to hand values that realise the order), so that a deal only has to rank the
// hands once per round to know every terminal's payoff, bit for bit as the
// engine computes it.
#ifndef MORVANE_BETTING_TREE_H
#define MORVANE_BETTING_TREE_H

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "solver/CFRNode.h"
#include "game.h"

class BettingTree {
 public:
  static constexpr uint32_t NONE = UINT32_MAX;
  static constexpr uint32_t TERMINAL = 0x80000000u;
  // Seats the payoff tables serve (orders of N hands: N^N codes).
  static constexpr int MAX_SEATS = 3;
  // The letters of the abstract actions, indexed like the node slots.
  static constexpr char ACTION_LETTER[NUM_ABSTRACT_ACTIONS] = {'f', 'c', 'r'};

  struct Decision {
    uint32_t child[NUM_ABSTRACT_ACTIONS];
    uint32_t index;   // rank among the decisions of its map
    uint16_t slot;    // (round, acting seats, seat): where a deal's bucket is found
    uint8_t seat;
    uint8_t round;
  };

  static_assert(sizeof(Decision) == 20);

  struct PayoffClass {
    uint8_t round;   // the round whose board ranks the hands
    uint32_t table;  // offset of numCodes * numPlayers payoffs
  };

  // The solver's abstract action for an index (CFR::getAbstractedAction).
  using ActionOf = std::function<void(int index, const State* state, Action* action)>;

  // Builds the tree below the initial state of `game` with the exclusions of
  // CFR::createAbstractedGameTree. Throws a const char* when the game has more
  // than MAX_SEATS seats or an action text longer than one letter (the key
  // order would then not follow the tree).
  BettingTree(const Game* game, const ActionOf& actionOf);

  const Game* game() const { return game_; }
  int numPlayers() const { return game_->numPlayers; }
  int numMaps() const { return game_->numPlayers * game_->numRounds; }
  static int mapOf(const Game* game, int round, int seat) { return round + seat * game->numRounds; }

  size_t numDecisions() const { return decisions_.size(); }
  const Decision& decision(uint32_t d) const { return decisions_[d]; }
  // The decision before `d` (NONE at the root); kept apart from the
  // decisions, which the passes stream through.
  uint32_t parent(uint32_t d) const { return parents_[d]; }
  const Decision* decisions() const { return decisions_.data(); }
  // Decisions of a map in key order.
  const std::vector<uint32_t>& decisionsOf(int map) const { return byMap_[map]; }

  // Slots: one per (round, number of seats still able to act, seat).
  int numSlots() const { return game_->numRounds * (game_->numPlayers + 1) * game_->numPlayers; }
  int slotOf(int round, int acting, int seat) const {
    return (round * (game_->numPlayers + 1) + acting) * game_->numPlayers + seat;
  }
  void slotFields(int slot, int* round, int* acting, int* seat) const;
  // The slots that some decision uses, ascending.
  const std::vector<uint16_t>& usedSlots() const { return usedSlots_; }

  size_t numPayoffClasses() const { return classes_.size(); }
  const PayoffClass& payoffClass(uint32_t c) const { return classes_[c]; }
  // numPlayers payoffs of class `c` for the order code of its round.
  const double* payoffs(uint32_t c, int code) const {
    return &payoffTable_[classes_[c].table + static_cast<size_t>(code) * game_->numPlayers];
  }
  // Rounds in which some terminal is decided, ascending.
  const std::vector<uint8_t>& payoffRounds() const { return payoffRounds_; }
  // Order code of the seats' hand values: sum over seats of (number of seats
  // with a strictly greater value) * numPlayers^seat.
  int orderCode(const int* handValue) const;

  // The action history of a decision (its key's last field), written to
  // `out`; returns its length.
  int history(uint32_t d, char* out, int capacity) const;
  // The decision reached by a history, or NONE.
  uint32_t follow(const char* history, size_t length) const;

 private:
  uint32_t build(const State* state, uint32_t parent);
  uint32_t terminalClass(const State* state);

  const Game* game_;
  ActionOf actionOf_;
  int numCodes_;
  std::vector<Decision> decisions_;
  std::vector<uint32_t> parents_;
  std::vector<std::vector<uint32_t>> byMap_;
  std::vector<uint16_t> usedSlots_;
  std::vector<PayoffClass> classes_;
  std::vector<double> payoffTable_;
  std::vector<uint8_t> payoffRounds_;
  std::map<std::vector<int32_t>, uint32_t> classIndex_;  // while building
};

#endif
