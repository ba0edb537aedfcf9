#include "dealtrees.h"

#include <cassert>

#include "cfr.h"

namespace {

// Deals are looked up through a direct table indexed by the dealt cards read
// as digits; decks whose table would exceed this stay on the reference path.
constexpr uint64_t MAX_DEAL_TABLE = uint64_t(1) << 22;

}  // namespace

DealTrees::DealTrees(CFR& cfr)
    : players(cfr.game->numPlayers), cardsPerDeal(cfr.cardsPerDeal()),
      cardBase(static_cast<uint32_t>(MAX_SUITS * cfr.game->numRanks)) {
  uint64_t tableSize = 1;
  for (int c = 0; c < cardsPerDeal && tableSize <= MAX_DEAL_TABLE; ++c) tableSize *= cardBase;
  const bool useTable = tableSize <= MAX_DEAL_TABLE;
  if (useTable) dealTable.assign(tableSize, -1);

  State state;
  initState(cfr.game, 0, &state);
  cfr.forEachDeal([&](const uint8_t* cards) {
    cfr.setDealtCards(cards, &state);
    if (useTable) dealTable[dealCode(cards)] = static_cast<int32_t>(roots.size());
    roots.push_back(resolve(cfr, &state, 0));
  });
}

uint32_t DealTrees::dealCode(const uint8_t* cards) const {
  uint32_t code = 0;
  for (int c = cardsPerDeal - 1; c >= 0; --c) code = code * cardBase + cards[c];
  return code;
}

int DealTrees::dealIndex(const uint8_t* cards) const {
  if (dealTable.empty()) return -1;
  for (int c = 0; c < cardsPerDeal; ++c)
    if (cards[c] >= cardBase) return -1;
  return dealTable[dealCode(cards)];
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

// CFRNode::getStrategy over the node's list of valid actions: the same
// operations in the same order, without testing every slot for NaN.
static inline void matchRegrets(const DealTrees::Node& n, double weight, double* strategy) {
  CFRNode& info = *n.info;
  double total = 0.0;
  for (int v = 0; v < n.numValid; ++v) {
    const int a = n.valid[v];
    strategy[a] = info.regretSum[a] > 0.0 ? info.regretSum[a] : 0.0;
    total += strategy[a];
  }
  if (total > 0.0) {
    for (int v = 0; v < n.numValid; ++v) {
      const int a = n.valid[v];
      strategy[a] /= total;
      info.strategySum[a] += strategy[a] * weight;
    }
  } else {
    const double p = 1.0 / n.numValid;
    for (int v = 0; v < n.numValid; ++v) {
      const int a = n.valid[v];
      strategy[a] = p;
      info.strategySum[a] += p * weight;
    }
  }
}

// The pass for N seats known at compile time (the common small games), so
// that the per-seat loops unroll; payoffs of terminal children are read in
// place instead of through a call.
template <int N>
void DealTrees::calcFixed(uint32_t index, const double* reach, double* utility) const {
  const Node& n = nodes[index];
  const int seat = n.seat;
  double strategy[NUM_ABSTRACT_ACTIONS];
  matchRegrets(n, reach[seat], strategy);
  for (int p = 0; p < N; ++p) utility[p] = 0.0;

  double actionUtility[NUM_ABSTRACT_ACTIONS];
  double childReach[N];
  double childUtility[N];
  for (int p = 0; p < N; ++p) childReach[p] = reach[p];
  for (int v = 0; v < n.numValid; ++v) {
    const int a = n.valid[v];
    const Node& child = nodes[n.child[a]];
    const double* result;
    if (child.info) {
      childReach[seat] = strategy[a] * reach[seat];
      calcFixed<N>(n.child[a], childReach, childUtility);
      result = childUtility;
    } else {
      result = &payoffs[child.payoff];
    }
    actionUtility[a] = result[seat];
    for (int p = 0; p < N; ++p) utility[p] += result[p] * strategy[a];
  }
  const double weight = counterfactualReach(reach, seat, N);
  double* regret = n.info->regretSum;
  for (int v = 0; v < n.numValid; ++v) {
    const int a = n.valid[v];
    regret[a] += weight * (actionUtility[a] - utility[seat]);
  }
}

void DealTrees::calcAny(uint32_t index, const double* reach, double* utility) const {
  const Node& n = nodes[index];
  const int np = players;
  if (!n.info) {
    const double* pay = &payoffs[n.payoff];
    for (int p = 0; p < np; ++p) utility[p] = pay[p];
    return;
  }
  const int seat = n.seat;
  double strategy[NUM_ABSTRACT_ACTIONS];
  n.info->getStrategy(reach[seat], strategy);
  for (int p = 0; p < np; ++p) utility[p] = 0.0;

  double actionUtility[NUM_ABSTRACT_ACTIONS];
  double childReach[MAX_PLAYERS];
  double childUtility[MAX_PLAYERS];
  for (int p = 0; p < np; ++p) childReach[p] = reach[p];
  for (int v = 0; v < n.numValid; ++v) {
    const int a = n.valid[v];
    childReach[seat] = strategy[a] * reach[seat];
    calcAny(n.child[a], childReach, childUtility);
    actionUtility[a] = childUtility[seat];
    for (int p = 0; p < np; ++p) utility[p] += childUtility[p] * strategy[a];
  }
  const double weight = counterfactualReach(reach, seat, np);
  double* regret = n.info->regretSum;
  for (int v = 0; v < n.numValid; ++v) {
    const int a = n.valid[v];
    regret[a] += weight * (actionUtility[a] - utility[seat]);
  }
}

void DealTrees::calc(uint32_t index, const double* reach, double* utility) const {
  const Node& n = nodes[index];
  if (n.info && players == 3) return calcFixed<3>(index, reach, utility);
  if (n.info && players == 2) return calcFixed<2>(index, reach, utility);
  calcAny(index, reach, utility);
}
