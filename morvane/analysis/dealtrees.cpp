#include "analysis/dealtrees.h"

#include "solver/cfr.h"

DealTrees::DealTrees(CFR& cfr) : players(cfr.game->numPlayers) {
  State state;
  initState(cfr.game, 0, &state);
  cfr.forEachDeal([&](const uint8_t* cards) {
    cfr.setDealtCards(cards, &state);
    roots.push_back(resolve(cfr, &state, 0));
  });
}

uint32_t DealTrees::resolve(CFR& cfr, const State* state, uint16_t depth) {
  const uint32_t index = static_cast<uint32_t>(nodes.size());
  nodes.push_back(Node{});
  Node n{};
  n.depth = depth;
  for (uint32_t& c : n.child) c = NONE;
  if (state->finished) {
    n.info = nullptr;
    n.payoff = static_cast<uint32_t>(payoffs.size());
    for (int p = 0; p < players; ++p) payoffs.push_back(valueOfState(cfr.game, state, p));
    nodes[index] = n;
    return index;
  }
  n.seat = currentPlayer(cfr.game, state);
  n.info = cfr.findNode(state);
  for (int a = 0; a < NUM_ABSTRACT_ACTIONS; ++a) {
    if (!n.info->isActionValid(a)) continue;
    State child;
    cfr.applyAbstractedAction(a, state, &child);
    n.valid[n.numValid++] = static_cast<uint8_t>(a);
    n.child[a] = resolve(cfr, &child, static_cast<uint16_t>(depth + 1));
  }
  nodes[index] = n;
  return index;
}
