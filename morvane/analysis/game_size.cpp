#include "analysis/game_size.h"

#include <algorithm>

namespace {

enum class Walk { ok, tooBig, stuck };

// Counts the decision nodes below `state` into `count`; stops at `limit` or
// at a state where no seat can act although the hand goes on.
Walk countNodes(const Game* game, const State& state, uint64_t limit, uint64_t& count) {
  if (state.finished) return Walk::ok;
  if (numActingPlayers(game, &state) == 0) return Walk::stuck;
  if (++count > limit) return Walk::tooBig;
  const uint8_t seat = currentPlayer(game, &state);
  for (ActionType type : {a_fold, a_call, a_raise}) {
    Action action{type, 0};
    if (type == a_fold && state.spent[seat] == state.maxSpent) continue;
    // The engine refuses such a raise with a warning; deep lines of an
    // uncapped game would print thousands.
    if (type == a_raise && state.numActions[state.round] + game->numPlayers > MAX_NUM_ACTIONS)
      continue;
    if (!isValidAction(game, &state, 0, &action)) continue;
    State child = state;
    doAction(game, &action, &child);
    const Walk walk = countNodes(game, child, limit, count);
    if (walk != Walk::ok) return walk;
  }
  return Walk::ok;
}

}  // namespace

uint64_t numDeals(const Game* game) {
  const uint64_t deck = uint64_t(game->numRanks) * game->numSuits;
  const uint64_t cards = uint64_t(game->numHoleCards) * game->numPlayers +
                         sumBoardCards(game, static_cast<uint8_t>(game->numRounds - 1));
  if (cards > deck) return 0;
  uint64_t deals = 1;
  for (uint64_t i = 0; i < cards; ++i) {
    const uint64_t factor = deck - i;
    if (deals > UINT64_MAX / factor) return UINT64_MAX;
    deals *= factor;
  }
  return deals;
}

std::string enumerationProblem(const Game* game) {
  const uint64_t deals = numDeals(game);
  if (deals == 0) return "its deck is too small to deal a hand";
  if (deals > MAX_DEAL_NODES)
    return "it has more than " + std::to_string(MAX_DEAL_NODES) + " deals";
  State state;
  initState(game, 0, &state);
  uint64_t nodes = 0;
  const uint64_t limit = std::min(MAX_BETTING_NODES, MAX_DEAL_NODES / deals);
  switch (countNodes(game, state, limit, nodes)) {
    case Walk::stuck:
      return "it reaches a state in which no seat can act";
    case Walk::tooBig:
      return "its " + std::to_string(deals) + " deals and betting tree make more than " +
             std::to_string(deals * limit) + " nodes";
    case Walk::ok:
      break;
  }
  return "";
}
