// The betting tree of every deal of a small deck, resolved once to node
// pointers, child indices and terminal payoffs, so that a best-response
// sweep walks flat arrays instead of copying engine states, building key
// strings and searching maps at every visit.
//
// The trees snapshot which actions are valid at each node: resolve them again
// after loading a strategy or pruning actions.
#ifndef MORVANE_DEALTREES_H
#define MORVANE_DEALTREES_H

#include <cstdint>
#include <vector>

#include "solver/CFRNode.h"
#include "game.h"

class CFR;

class DealTrees {
 public:
  static constexpr uint32_t NONE = UINT32_MAX;

  struct Node {
    CFRNode* info;     // null at a terminal
    uint32_t child[NUM_ABSTRACT_ACTIONS];  // NONE for an excluded action
    uint32_t payoff;   // terminal: offset of numPlayers values in payoffs
    uint8_t seat;      // seat to act
    uint8_t numValid;  // number of valid actions
    uint8_t valid[NUM_ABSTRACT_ACTIONS];   // the valid action indices, ascending
    uint16_t depth;    // actions taken since the root
  };

  // Resolves every deal of the solver's deck against its node maps (a key
  // that is not there: std::out_of_range). The solver must outlive the trees.
  explicit DealTrees(CFR& cfr);

  int numPlayers() const { return players; }
  size_t numDeals() const { return roots.size(); }
  uint32_t root(size_t deal) const { return roots[deal]; }
  const Node& node(uint32_t index) const { return nodes[index]; }
  const double* payoffOf(const Node& n) const { return &payoffs[n.payoff]; }

 private:
  uint32_t resolve(CFR& cfr, const State* state, uint16_t depth);

  int players;
  std::vector<Node> nodes;
  std::vector<double> payoffs;
  std::vector<uint32_t> roots;
};

#endif
